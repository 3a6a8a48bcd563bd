#!/bin/sh
# Runs the shipped design session in a scratch folder and checks what a
# designer relies on: it ends with status 0 and no error, the optimised and
# scaled realisation has a dynamic range at least that of the realisation as
# designed, the plot file holds the whole sweep, and the written filter reads
# back into the same dynamic range.
set -eu
tevo=$1
examples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples"/design.in "$work"/
cd "$work"
"$tevo" design 2> err.txt
[ ! -s err.txt ] || { echo "unexpected errors:"; cat err.txt; exit 1; }
dbs=$(sed -n 's/^Dynamic range: .*(\(.*\) dB)\.$/\1/p' design.out)
set -- $dbs
[ $# -eq 2 ] || { echo "expected two dynamic-range lines, got: $dbs"; exit 1; }
awk -v a="$1" -v b="$2" 'BEGIN { exit !(b >= a) }' || { echo "optimised $2 dB below designed $1 dB"; exit 1; }
head -n 1 design.plot | grep -q '^# *freq.(rps)' || { echo "bad plot header"; head -n 1 design.plot; exit 1; }
# log(0.01, 10, 20): three decades at 20 points each, both ends included.
rows=$(grep -c '^ *[-0-9]' design.plot)
[ "$rows" -eq 61 ] || { echo "expected 61 plot rows, got $rows"; exit 1; }
printf 'read "design.flt";\nctot = 100e-12;\numax = 1;\noutput: dr;\n' > back.in
"$tevo" back 2> err2.txt
[ ! -s err2.txt ] || { echo "errors reading the written filter:"; cat err2.txt; exit 1; }
back=$(sed -n 's/^Dynamic range: .*(\(.*\) dB)\.$/\1/p' back.out)
[ "$back" = "$2" ] || { echo "read-back dynamic range $back dB, written $2 dB"; exit 1; }
echo "design session: $1 dB as designed, $2 dB optimised and scaled"
