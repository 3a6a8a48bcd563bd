#!/bin/sh
# Runs one shipped example session in a scratch folder and checks that its
# report is produced: status 0, nothing on standard error, every label given
# on the command line present in the report, every number in the report and
# the plot file finite, and the plot file holding rows.
# Usage: example_session.sh TEVO EXAMPLES NAME LABEL...
set -eu
tevo=$1
examples=$2
name=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples/$name.in" "$work"/
cd "$work"
status=0
"$tevo" "$name" 2> err.txt || status=$?
[ "$status" -eq 0 ] || { echo "$name: exit status $status"; cat err.txt; exit 1; }
[ ! -s err.txt ] || { echo "$name: unexpected errors:"; cat err.txt; exit 1; }
for label in "$@"; do
    grep -qF "$label" "$name.out" || { echo "$name: no \"$label\" in the report"; cat "$name.out"; exit 1; }
done
if grep -Eiq '(^|[^a-z])(nan|inf)([^a-z]|$)' "$name.out" "$name.plot"; then
    echo "$name: a number that is not finite:"
    grep -Ein '(^|[^a-z])(nan|inf)([^a-z]|$)' "$name.out" "$name.plot"
    exit 1
fi
rows=$(grep -c '^ *[-0-9]' "$name.plot")
[ "$rows" -gt 0 ] || { echo "$name: the plot file has no rows"; exit 1; }
echo "$name: report and $rows plot rows, all finite"
