#!/usr/bin/env bash
# Installs what building and testing tevo needs on Debian 12 (run as root).
# Packages already present are left alone; apt-get runs only when one is missing.
set -euo pipefail
packages=(
  g++ make cmake flex bison pkg-config
  libgsl-dev liblapack-dev libblas-dev libslicot-dev libgmp-dev libmpfr-dev xaw3dg-dev libxt-dev libxmu-dev libx11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xfonts-base xdotool x11-apps imagemagick
  python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
