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
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
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
    # The second disk takes no new file either (no inode left): its files
    # are rewritten in place, and the table that does not fit still keeps
    # the old plot file whole, while the short report is written; a `write`
    # shorter than its old file needs no room and is written.
    mkdir disk disk2
    unshare --user --map-root-user --mount sh -c '
        mount -t tmpfs -o size=64k tmpfs disk || exit 99
        mount -t tmpfs -o size=64k,nr_inodes=8 tmpfs disk2 || exit 99
        cd disk2
        printf "old plot\n" > full.plot
        printf "old report\n" > full.out
        head -c 20000 /dev/zero | tr "\0" x > saved.cmd
        cat > full.in <<EOF
butterworth(3);
freq = lin(0, 10, 20000);
plot: magn(H) phase(H) delay(H);
output: "after the plot";
butterworth(2);
write "saved.cmd";
EOF
        i=0
        while [ "$i" -lt 10 ] && touch "fill$i" 2>/dev/null; do i=$((i + 1)); done
        head -c 1000000 /dev/zero >> fill0 2>/dev/null
        status=0
        "$1" full 2> ../err3.txt || status=$?
        mkdir ../nonew
        cp full.plot full.out saved.cmd ../nonew/
        ls -A > ../nonew/listing.txt
        echo "$status" > ../nonew/status.txt
        cd ..
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

    read -r status < nonew/status.txt
    cp err3.txt err.txt
    expect_status 1 "plot on a full disk that takes no new file"
    expect_err "cannot write full.plot: No space left on device" "plot on a full disk that takes no new file"
    expect_file nonew/full.plot "old plot" "plot on a full disk that takes no new file"
    printf 'tevo 1.04\nafter the plot\n' | cmp -s - nonew/full.out || { fail "full disk, no new file: report"; cat nonew/full.out; }
    # The same `write` in a folder that takes new files gives the reference.
    printf 'freq = lin(0, 10, 20000);\nbutterworth(2);\nwrite "ref.cmd";\n' > ref.in
    "$tevo" ref > /dev/null 2>&1
    cmp -s ref.cmd nonew/saved.cmd || { fail "full disk, no new file: the shorter write"; head -c 300 nonew/saved.cmd; }
    left=$(grep -vE '^(full\.(in|out|plot)|saved\.cmd|fill[0-9])$' nonew/listing.txt || true)
    [ -z "$left" ] || fail "full disk, no new file: files left: $left"
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

# A folder that takes no new file but whose files may be written: made by
# the test user, the files in it writable by all, the folder itself not.
# Root may make files anywhere, so the runs there are as nobody when the
# test is root ($as_user of case 3).
mkdir frozen
frozen_done() { chmod 555 frozen; }
frozen_open() { chmod 755 frozen; }

# 4. A run stopped in the middle of a long table leaves the old plot file
#    and the old report as they were, and no temporary or core file: for
#    each stop signal, in a folder that takes new files and in one that
#    takes none (there the files are rewritten in place only at the end).
#    The run starts with every signal at its default, since sh starts a
#    background job with SIGINT and SIGQUIT ignored.
cat > long.in <<'EOF'
butterworth(8);
freq = lin(0, 10, 1000000);
plot: magn(H) phase(H) delay(H) db(H) F G;
plot: magn(H) phase(H) delay(H) db(H) F G;
plot: magn(H) phase(H) delay(H) db(H) F G;
EOF
cp long.in frozen/long.in
# wait_table PID: true once the run has written more than 100 KB to one of
# its files (a temporary file beside the target, or its spool).
wait_table() {
    i=0
    while [ "$i" -lt 200 ]; do
        for f in /proc/"$1"/fd/*; do
            size=$(stat -L -c %s "$f" 2>/dev/null) || continue
            [ "$size" -gt 100000 ] && return 0
        done
        sleep 0.05
        i=$((i + 1))
    done
    return 1
}
for folder in . frozen; do
    for case in TERM:143 QUIT:131 INT:130 HUP:129; do
        sig=${case%:*}
        what="run stopped by SIG$sig in folder $folder"
        frozen_open
        printf 'old plot\n' > "$folder/long.plot"
        printf 'old report\n' > "$folder/long.out"
        chmod 666 "$folder/long.plot" "$folder/long.out"
        frozen_done
        ls -A "$folder" > listing_before.txt
        runner=""
        [ "$folder" = frozen ] && runner=$as_user
        (cd "$folder" && exec $runner env --default-signal "$tevo" long 2> /dev/null) &
        pid=$!
        wait_table "$pid" || fail "$what: the table never started"
        kill -"$sig" "$pid"
        wait "$pid"
        status=$?
        ls -A "$folder" | cmp -s listing_before.txt - || fail "$what: files left: $(ls -A "$folder" | tr '\n' ' ')"
        [ "$status" -eq "${case#*:}" ] || fail "$what: exit status $status, expected ${case#*:}"
        expect_file "$folder/long.plot" "old plot" "$what"
        expect_file "$folder/long.out" "old report" "$what"
    done
done
rm -f long.plot long.out

# 5. A whole run in the folder that takes no new file rewrites its files in
#    place at the end. The report, the plot file and a `write` file are the
#    same as the run makes in a folder that takes new files, with old files
#    longer and shorter than the new ones, with the spool in TMPDIR and
#    (TMPDIR unusable) in memory; they stay the same files, with their
#    permissions. The `write` that follows the first ends the old file
#    where the shorter text ends.
cat > inplace.in <<'EOF'
butterworth(5);
freq = lin(0, 4, 300);
plot: magn(H) phase(H) delay(H) F;
write "saved.cmd";
output: "done";
EOF
mkdir open
cp inplace.in open/
(cd open && "$tevo" inplace > /dev/null 2>&1)
for tmp in "${TMPDIR:-/tmp}" /nonexistent; do
    what="in place, TMPDIR=$tmp"
    frozen_open
    cp inplace.in frozen/
    head -c 300000 /dev/zero | tr '\0' x > frozen/inplace.plot
    printf 'old\n' > frozen/inplace.out
    head -c 300000 /dev/zero | tr '\0' y > frozen/saved.cmd
    chmod 666 frozen/inplace.plot frozen/inplace.out frozen/saved.cmd
    frozen_done
    inodes=$(ls -i frozen/inplace.plot frozen/inplace.out frozen/saved.cmd | tr -s ' ')
    status=0
    (cd frozen && export TMPDIR="$tmp" && exec $as_user "$tevo" inplace 2> ../err.txt) || status=$?
    expect_status 0 "$what"
    for f in inplace.plot inplace.out saved.cmd; do
        cmp -s "open/$f" "frozen/$f" || fail "$what: $f differs from the run in a folder that takes new files"
        [ "$(stat -c %a "frozen/$f")" = 666 ] || fail "$what: $f has permissions $(stat -c %a "frozen/$f")"
    done
    [ "$(ls -i frozen/inplace.plot frozen/inplace.out frozen/saved.cmd | tr -s ' ')" = "$inodes" ] ||
        fail "$what: the files were replaced, not rewritten"
done

# 6. A dangling link is followed: the file it names is made by the same safe
#    write and the link stays a link, also through a chain of links and for
#    a relative link in another folder (read from that folder). A link whose
#    file cannot be made (its folder is missing) is refused with the file
#    name and the system's reason, and stays as it was.
mkdir links links/sub
cd links
printf 'butterworth(3);\nfreq = lin(0, 2, 40);\nplot: magn(H);\nwrite "ref.cmd";\n' > ref.in
"$tevo" ref > /dev/null 2>&1
ln -s made.plot one.plot
ln -s c1 chain.plot
ln -s c2 c1
ln -s t.cmd sub/l.cmd
for case in "one:one.plot:made.plot:ref.plot" "chain:chain.plot:c2:ref.plot" \
    "rel:sub/l.cmd:sub/t.cmd:ref.cmd"; do
    IFS=: read -r base link made ref <<EOF
$case
EOF
    what="dangling link $link"
    # The plot goes to NAME.plot, the text of `write` to the link of the
    # case that tests `write`, else to a file of its own.
    to=$base.cmd
    [ "$base" = rel ] && to=$link
    sed "s|ref.cmd|$to|" ref.in > "$base.in"
    run "$base"
    expect_status 0 "$what"
    [ -L "$link" ] || fail "$what: the link was replaced"
    cmp -s "$ref" "$made" || fail "$what: $made is not what the link should name"
    no_temporaries "$what"
done
ln -s nodir/x.plot bad.plot
printf 'butterworth(2);\nfreq = lin(0, 1, 4);\nplot: magn(H);\n' > bad.in
run bad
expect_status 1 "dangling link into a missing folder"
expect_err "bad.plot: No such file or directory" "dangling link into a missing folder"
[ -L bad.plot ] && [ ! -e bad.plot ] || fail "dangling link into a missing folder: the link was changed"
# A link of another user in a sticky folder that all may write is followed
# exactly when a plain open follows it (the kernel's rule where the system
# applies it, fs.protected_symlinks), whether its file exists or not; the
# shell's own open through a twin link says which. Only root can give the
# links to nobody.
if [ "$(id -u)" -eq 0 ]; then
    mkdir sticky
    chmod 1777 sticky
    printf 'old\n' > sticky/real.plot
    ln -s probe.txt sticky/probe.lnk
    ln -s real.plot sticky/e.plot
    ln -s made.plot sticky/d.plot
    chown -h 65534:65534 sticky/probe.lnk sticky/e.plot sticky/d.plot
    follows=0
    (true > sticky/probe.lnk) 2>/dev/null && follows=1
    for case in e:real.plot d:made.plot; do
        base=${case%%:*}
        file=sticky/${case#*:}
        what="link of another user in a sticky folder ($base.plot, follows=$follows)"
        cp ref.in "sticky/$base.in"
        status=0
        (cd sticky && "$tevo" "$base" 2> ../err.txt) || status=$?
        if [ "$follows" -eq 1 ]; then
            expect_status 0 "$what"
            cmp -s ref.plot "$file" || fail "$what: $file is not the table"
        else
            expect_status 1 "$what"
            expect_err "$base.plot: Permission denied" "$what"
            [ "$base" = d ] && [ -e "$file" ] && fail "$what: $file was made"
            [ "$base" = e ] && expect_file "$file" old "$what"
        fi
        [ -L "sticky/$base.plot" ] || fail "$what: the link was replaced"
    done
fi
cd ..

# 7. Standard output that loses the report, full or closed: the run says so
#    ("cannot write standard output: REASON") and exits 1. With standard
#    output and standard error closed no file of the run takes their
#    numbers, so the messages do not go into NAME.out.
printf 'butterworth(2);\noutput: "a line";\n' > session.in
for case in "/dev/full:No space left on device" "closed:Bad file descriptor"; do
    target=${case%%:*}
    what="standard output $target"
    status=0
    if [ "$target" = closed ]; then
        "$tevo" < session.in >&- 2> err.txt || status=$?
    else
        "$tevo" < session.in > "$target" 2> err.txt || status=$?
    fi
    expect_status 1 "$what"
    expect_err "cannot write standard output: ${case#*:}" "$what"
done
printf 'butterworth(2);\noutput: "kept";\nx = 1/0;\noutput: x;\n' > closed.in
status=0
"$tevo" closed >&- 2>&- || status=$?
expect_status 1 "standard output and error closed"
printf 'tevo 1.04\nkept\n0\n' | cmp -s - closed.out || { fail "standard output and error closed: NAME.out"; cat closed.out; }

# 8. NAME.in that is not a readable file (a folder, a missing file, a file
#    that may not be read) is refused with the file name and the system's
#    reason, exit status 1, and no NAME.out is made.
mkdir inputs inputs/dir.in
printf 'butterworth(1);\n' > inputs/locked.in
chmod 000 inputs/locked.in
chmod 777 inputs
for case in "dir:Is a directory" "missing:No such file or directory" "locked:Permission denied"; do
    base=${case%%:*}
    status=0
    (cd inputs && exec $as_user "$tevo" "$base" 2> ../err.txt) || status=$?
    expect_status 1 "$base.in"
    expect_err "$base.in: ${case#*:}" "$base.in"
    [ ! -e "inputs/$base.out" ] || fail "$base.in: $base.out was made"
done

[ "$failures" -eq 0 ] || exit 1
echo "checked writes: failures reported, old files kept"
