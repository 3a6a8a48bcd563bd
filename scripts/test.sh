#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# a plain build with warnings as errors, and one with AddressSanitizer and
# UndefinedBehaviorSanitizer; then a compile-only check that no routine
# writes the elements of a record it takes as const.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh"
# JOBS=n builds and tests with n jobs (default: every core).
jobs=${JOBS:-$(nproc)}
case $jobs in
  ''|*[!0-9]*|0) echo "JOBS must be a positive whole number, not '$jobs'" >&2; exit 2 ;;
esac
run_suite() {
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -DTEVO_WERROR=ON "$@" > /dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600)
}
run_suite "$top/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTEVO_SANITIZE=ON
cmake -S "$top" -B "$top/build-const" -DTEVO_WERROR=ON -DTEVO_DEEP_CONST=ON -DCMAKE_BUILD_TYPE=Debug > /dev/null
cmake --build "$top/build-const" -j"$jobs"
# A fixed-seed run of the fuzzer on the sanitizer build: any finding fails.
python3 "$top/tests/fuzz/fuzz.py" --tevo "$top/build-asan/tevo" --seed 1 --seconds 60 \
  --jobs $((jobs < 3 ? jobs : 3)) --findings "$top/build-asan/fuzz-findings"
