#!/bin/sh
# Files that a run writes when the writing fails or the run is stopped: the
# failure is reported ("cannot write FILE: REASON", exit status 1), the old
# file stays as it was, and no temporary file is left behind. Nothing is ever
# renamed over /dev/full: the full disk is /dev/full itself (a device, written
# directly) or a link to it, or a small tmpfs in a private mount namespace.
#
# Usage: checked_writes.sh TEVO          the device, link, permission and kill cases
#        checked_writes.sh TEVO fulldisk a 64 KB tmpfs (exit 77, skipped, when
#                                        no private mount namespace can be made)
set -u
tevo=$1
mode=${2:-}
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# run NAME: runs tevo NAME in the current folder; sets $status and err.txt.
run() {
    status=0
    "$tevo" "$1" 2> err.txt || status=$?
}

expect_status() {
    [ "$status" -eq "$1" ] || { fail "$2: exit status $status, expected $1"; cat err.txt; }
}

expect_err() {
    printf '%s\n' "$1" > want.txt
    cmp -s want.txt err.txt || { fail "$2: standard error differs"; echo "--- expected"; cat want.txt; echo "--- got"; cat err.txt; }
}

expect_file() {
    printf '%s\n' "$2" > want.txt
    cmp -s want.txt "$1" || { fail "$3: $1 was changed"; cat "$1"; }
}

no_temporaries() {
    left=$(ls -A | grep -E '\.[A-Za-z0-9]{6}$' || true)
    [ -z "$left" ] || fail "$1: temporary files left: $left"
}

if [ "$mode" = fulldisk ]; then
    if ! unshare --user --map-root-user --mount true 2>/dev/null; then
        echo "no private mount namespace here; skipped"
        exit 77
    fi
    # The plot table of 20000 rows needs more than 64 KB; the old plot file,
    # the report and the command file fit. The table fails, the old plot file
    # is kept; a short `write` after it fails too and keeps its old file.
    mkdir disk
    unshare --user --map-root-user --mount sh -c '
        mount -t tmpfs -o size=64k tmpfs disk || exit 99
        cd disk
        printf "old plot\n" > full.plot
        printf "old text\n" > saved.cmd
        cat > full.in <<EOF
butterworth(3);
freq = lin(0, 10, 20000);
plot: magn(H) phase(H) delay(H);
output: "after the plot";
EOF
        status=0
        "$1" full 2> ../err.txt || status=$?
        # Fill what is left, then try a small write.
        printf "butterworth(2);\nwrite \"saved.cmd\";\n" > small.in
        head -c 1000000 /dev/zero > filler 2>/dev/null
        status2=0
        "$1" small 2> ../err2.txt || status2=$?
        rm -f filler
        cp full.plot saved.cmd ../
        ls -A > ../listing.txt
        echo "$status $status2" > ../status.txt
    ' sh "$tevo"
    if [ "$?" -eq 99 ]; then
        echo "tmpfs cannot be mounted here; skipped"
        exit 77
    fi
    read -r status status2 < status.txt
    expect_status 1 "plot on a full disk"
    expect_err "cannot write full.plot: No space left on device" "plot on a full disk"
    expect_file full.plot "old plot" "plot on a full disk"
    [ "$status2" -eq 1 ] || fail "write on a full disk: exit status $status2"
    grep -qx 'cannot write saved.cmd: No space left on device' err2.txt || { fail "write on a full disk: no message"; cat err2.txt; }
    expect_file saved.cmd "old text" "write on a full disk"
    left=$(grep -E '\.[A-Za-z0-9]{6}$' listing.txt || true)
    [ -z "$left" ] || fail "full disk: temporary files left: $left"
    [ "$failures" -eq 0 ] || exit 1
    echo "full disk: old files kept, failures reported"
    exit 0
fi

# 1. A device that takes nothing: `write` to /dev/full itself, and the plot
#    file and the report as links to it. Each failure is reported with the
#    name the run used; the run goes on after a failed `write`.
cat > dev.in <<'EOF'
butterworth(3);
write "/dev/full";
output: "after the write";
EOF
run dev
expect_status 1 "write to /dev/full"
expect_err "cannot write /dev/full: No space left on device" "write to /dev/full"
grep -q "after the write" dev.out || fail "write to /dev/full: the run did not go on"

ln -s /dev/full link.plot
cat > link.in <<'EOF'
butterworth(3);
freq = lin(0, 2, 50);
plot: magn(H);
EOF
run link
expect_status 1 "plot file linked to /dev/full"
expect_err "cannot write link.plot: No space left on device" "plot file linked to /dev/full"
[ -L link.plot ] || fail "plot file linked to /dev/full: the link was replaced"

ln -s /dev/full rep.out
printf 'butterworth(2);\noutput: "a report line";\n' > rep.in
run rep
expect_status 1 "report linked to /dev/full"
expect_err "cannot write rep.out: No space left on device" "report linked to /dev/full"
[ -L rep.out ] || fail "report linked to /dev/full: the link was replaced"

# A long writesp string into a link to /dev/full (found by the fuzzer: the
# failed write inside the long fprintf made stdio read past the text).
ln -s /dev/full long.ci
{ printf 'butterworth(2);\nwritesp "'; head -c 70000 /dev/zero | tr '\0' x; printf '";\n'; } > long.in
run long
expect_status 1 "long writesp into /dev/full"
expect_err "cannot write long.ci: No space left on device" "long writesp into /dev/full"

# 2. A successful write through a link replaces the file the link names and
#    keeps the link; the file keeps its permissions.
printf 'old\n' > real.cmd
chmod 640 real.cmd
ln -s real.cmd alias.cmd
printf 'butterworth(1);\nwrite "alias.cmd";\n' > alias.in
run alias
expect_status 0 "write through a link"
[ -L alias.cmd ] || fail "write through a link: the link was replaced"
grep -q '^order = 1;' real.cmd || { fail "write through a link: real.cmd not written"; cat real.cmd; }
[ "$(stat -c %a real.cmd)" = 640 ] || fail "write through a link: permissions $(stat -c %a real.cmd)"
no_temporaries "write through a link"

# 3. Targets that may not be written: a read-only file and a new file in a
#    read-only folder. The open fails as a plain open fails (the file name
#    and the system's reason, exit status 1) and the old file stays. Root
#    may write anything, so the cases run as nobody when the test is root.
as_user=""
if [ "$(id -u)" -eq 0 ]; then
    as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
fi
mkdir ro
printf 'old\n' > ro/locked.cmd
printf 'old plot\n' > ro/locked.plot
chmod 444 ro/locked.cmd ro/locked.plot
printf 'butterworth(1);\nwrite "locked.cmd";\n' > ro/locked.in
printf 'butterworth(1);\nwrite "newdir/new.cmd";\n' > ro/newfile.in
mkdir ro/newdir
chmod 555 ro/newdir
chmod 777 ro
(
    cd ro
    status=0
    $as_user "$tevo" locked 2> err.txt || status=$?
    echo "$status" > status.txt
    status=0
    $as_user "$tevo" newfile 2> err2.txt || status=$?
    echo "$status" >> status.txt
)
{ read -r s1; read -r s2; } < ro/status.txt
[ "$s1" -eq 1 ] || fail "read-only file: exit status $s1"
printf 'locked.cmd: Permission denied\n' | cmp -s - ro/err.txt || { fail "read-only file: message"; cat ro/err.txt; }
expect_file ro/locked.cmd "old" "read-only file"
[ "$s2" -eq 1 ] || fail "read-only folder: exit status $s2"
printf 'newdir/new.cmd: Permission denied\n' | cmp -s - ro/err2.txt || { fail "read-only folder: message"; cat ro/err2.txt; }
[ ! -e ro/newdir/new.cmd ] || fail "read-only folder: a file was made"
[ -z "$(ls -A ro/newdir)" ] || fail "read-only folder: files left: $(ls -A ro/newdir)"

# 4. A run stopped in the middle of a long table (SIGTERM) leaves the old
#    plot file and the old report as they were and no temporary file.
printf 'old plot\n' > long.plot
printf 'old report\n' > long.out
cat > long.in <<'EOF'
butterworth(8);
freq = lin(0, 10, 1000000);
plot: magn(H) phase(H) delay(H) db(H) F G;
plot: magn(H) phase(H) delay(H) db(H) F G;
plot: magn(H) phase(H) delay(H) db(H) F G;
EOF
"$tevo" long 2> err.txt &
pid=$!
# Wait until the table is being written (its temporary file has grown).
i=0
while [ "$i" -lt 200 ]; do
    size=$(stat -c %s long.plot.?????? 2>/dev/null | head -n 1)
    [ -n "$size" ] && [ "$size" -gt 100000 ] && break
    sleep 0.05
    i=$((i + 1))
done
[ "$i" -lt 200 ] || fail "killed run: the table never started"
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" -eq 143 ] || fail "killed run: exit status $status, expected death by SIGTERM"
expect_file long.plot "old plot" "killed run"
expect_file long.out "old report" "killed run"
no_temporaries "killed run"

[ "$failures" -eq 0 ] || exit 1
echo "checked writes: failures reported, old files kept"
