#!/bin/bash
# Times the polynomial-system driver (algebra_probe polysys) against
# PHCpack's blackbox solver (phc -b) on cyclic-5 and -6, katsura-6 and -7 and
# eco-6 and -7, in one run on
# the same machine. PHCpack is used for this measurement only and is
# installed by hand; where it is missing the script says so and exits 0.
# The build and the tests never need it.
#
#   bash scripts/bench_polysys.sh [BUILD_DIR]     (default: build)
#
# Each solver runs three times per system; the best CPU time (user + system)
# is printed with the number of roots each reports, and tevo's exit status.
set -euo pipefail

build=${1:-build}
probe=$build/tests/algebra_probe
if [ ! -x "$probe" ]; then
    echo "bench_polysys: $probe not found; build first" >&2
    exit 1
fi

if ! command -v phc > /dev/null; then
    echo "bench_polysys: phc (PHCpack) is not installed; skipped"
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/cyclic5" << 'EOF'
B0 + B1 + B2 + B3 + B4
B0 * B1 + B1 * B2 + B2 * B3 + B3 * B4 + B4 * B0
B0 * B1 * B2 + B1 * B2 * B3 + B2 * B3 * B4 + B3 * B4 * B0 + B4 * B0 * B1
B0 * B1 * B2 * B3 + B1 * B2 * B3 * B4 + B2 * B3 * B4 * B0 + B3 * B4 * B0 * B1 + B4 * B0 * B1 * B2
B0 * B1 * B2 * B3 * B4 - 1
EOF
cat > "$work/katsura6" << 'EOF'
B0 + 2 * B1 + 2 * B2 + 2 * B3 + 2 * B4 + 2 * B5 + 2 * B6 - 1
B0^2 + 2 * B1^2 + 2 * B2^2 + 2 * B3^2 + 2 * B4^2 + 2 * B5^2 + 2 * B6^2 - B0
2 * B0 * B1 + 2 * B1 * B2 + 2 * B2 * B3 + 2 * B3 * B4 + 2 * B4 * B5 + 2 * B5 * B6 - B1
2 * B0 * B2 + B1^2 + 2 * B1 * B3 + 2 * B2 * B4 + 2 * B3 * B5 + 2 * B4 * B6 - B2
2 * B0 * B3 + 2 * B1 * B2 + 2 * B1 * B4 + 2 * B2 * B5 + 2 * B3 * B6 - B3
2 * B0 * B4 + 2 * B1 * B3 + 2 * B1 * B5 + B2^2 + 2 * B2 * B6 - B4
2 * B0 * B5 + 2 * B1 * B4 + 2 * B1 * B6 + 2 * B2 * B3 - B5
EOF
cat > "$work/cyclic6" << 'EOF'
B0 + B1 + B2 + B3 + B4 + B5
B0 * B1 + B1 * B2 + B2 * B3 + B3 * B4 + B4 * B5 + B5 * B0
B0 * B1 * B2 + B1 * B2 * B3 + B2 * B3 * B4 + B3 * B4 * B5 + B4 * B5 * B0 + B5 * B0 * B1
B0 * B1 * B2 * B3 + B1 * B2 * B3 * B4 + B2 * B3 * B4 * B5 + B3 * B4 * B5 * B0 + B4 * B5 * B0 * B1 + B5 * B0 * B1 * B2
B0 * B1 * B2 * B3 * B4 + B1 * B2 * B3 * B4 * B5 + B2 * B3 * B4 * B5 * B0 + B3 * B4 * B5 * B0 * B1 + B4 * B5 * B0 * B1 * B2 + B5 * B0 * B1 * B2 * B3
B0 * B1 * B2 * B3 * B4 * B5 - 1
EOF
cat > "$work/katsura7" << 'EOF'
B0 + 2 * B1 + 2 * B2 + 2 * B3 + 2 * B4 + 2 * B5 + 2 * B6 + 2 * B7 - 1
B0^2 + 2 * B1^2 + 2 * B2^2 + 2 * B3^2 + 2 * B4^2 + 2 * B5^2 + 2 * B6^2 + 2 * B7^2 - B0
2 * B0 * B1 + 2 * B1 * B2 + 2 * B2 * B3 + 2 * B3 * B4 + 2 * B4 * B5 + 2 * B5 * B6 + 2 * B6 * B7 - B1
2 * B0 * B2 + B1^2 + 2 * B1 * B3 + 2 * B2 * B4 + 2 * B3 * B5 + 2 * B4 * B6 + 2 * B5 * B7 - B2
2 * B0 * B3 + 2 * B1 * B2 + 2 * B1 * B4 + 2 * B2 * B5 + 2 * B3 * B6 + 2 * B4 * B7 - B3
2 * B0 * B4 + 2 * B1 * B3 + 2 * B1 * B5 + B2^2 + 2 * B2 * B6 + 2 * B3 * B7 - B4
2 * B0 * B5 + 2 * B1 * B4 + 2 * B1 * B6 + 2 * B2 * B3 + 2 * B2 * B7 - B5
2 * B0 * B6 + 2 * B1 * B5 + 2 * B1 * B7 + 2 * B2 * B4 + B3^2 - B6
EOF
cat > "$work/eco6" << 'EOF'
B0 * B5 + B0 * B1 * B5 + B1 * B2 * B5 + B2 * B3 * B5 + B3 * B4 * B5 - 1
B1 * B5 + B0 * B2 * B5 + B1 * B3 * B5 + B2 * B4 * B5 - 2
B2 * B5 + B0 * B3 * B5 + B1 * B4 * B5 - 3
B3 * B5 + B0 * B4 * B5 - 4
B4 * B5 - 5
B0 + B1 + B2 + B3 + B4 + 1
EOF
cat > "$work/eco7" << 'EOF'
B0 * B6 + B0 * B1 * B6 + B1 * B2 * B6 + B2 * B3 * B6 + B3 * B4 * B6 + B4 * B5 * B6 - 1
B1 * B6 + B0 * B2 * B6 + B1 * B3 * B6 + B2 * B4 * B6 + B3 * B5 * B6 - 2
B2 * B6 + B0 * B3 * B6 + B1 * B4 * B6 + B2 * B5 * B6 - 3
B3 * B6 + B0 * B4 * B6 + B1 * B5 * B6 - 4
B4 * B6 + B0 * B5 * B6 - 5
B5 * B6 - 6
B0 + B1 + B2 + B3 + B4 + B5 + 1
EOF

# Best CPU time of three runs of the command.
best_cpu() {
    local best=""
    for _ in 1 2 3; do
        /usr/bin/time -f "%U %S" -o "$work/time" "$@" > /dev/null 2>&1 || true
        local t
        t=$(tail -n 1 "$work/time" | awk '{printf "%.3f", $1 + $2}')
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$t
        fi
    done
    echo "$best"
}

printf "%-10s %6s %12s %8s %6s %12s %8s %8s\n" system paths "tevo s" roots status "phc s" roots ratio
for sys in cyclic5 cyclic6 katsura6 katsura7 eco6 eco7; do
    f=$work/$sys
    (wc -l < "$f"; sed 's/$/;/' "$f") > "$f.phc"
    t_tevo=$(best_cpu "$probe" polysys "$f")
    # The roots and the exit status (1 where paths failed or the bound
    # refused the system) of one more run; the paths are the total degree.
    status=0
    "$probe" polysys "$f" > "$f.tevo" 2> /dev/null || status=$?
    n_tevo=$(grep -c '^solution ' "$f.tevo" || true)
    paths=$(sed -n 's/^total degree = //p' "$f.tevo")
    rm -f "$f.out"
    t_phc=$(best_cpu phc -b "$f.phc" "$f.out")
    # phc -b may report the roots in several refined lists.
    n_phc=$(grep 'A list of .* solutions has been refined' "$f.out" | awk '{s += $4} END {print s + 0}')
    ratio=$(awk -v a="$t_tevo" -v b="$t_phc" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
    printf "%-10s %6s %12s %8s %6s %12s %8s %8s\n" "$sys" "$paths" "$t_tevo" "$n_tevo" "$status" "$t_phc" "$n_phc" \
        "$ratio"
done
