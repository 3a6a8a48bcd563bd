// Files that tevo writes (the report NAME.out, NAME.plot, the files of
// `write` and `writesp`): nothing is reported as written that was not, and a
// failed or interrupted write never destroys the file that was there before.
//
// A regular file (or a name not yet there) is written to a temporary file
// beside it, NAME.XXXXXX, and renamed over NAME only when every write, the
// flush, fsync and close succeeded. A link is followed: the file it names
// is replaced, or made when it is missing, and the link stays. An existing
// file beside which no temporary file can be made (its folder takes no new
// entry) is written to a spool without a name elsewhere and rewritten in
// place at the commit, the part beyond its old end first, so that a full
// disk leaves it as it was. A target that is not a regular file (a device
// such as /dev/null or /dev/full, a pipe) is written directly and never
// replaced. A failure prints "cannot write FILE: REASON" on standard error,
// removes the temporary file, keeps the old one and sets the exit status to
// 1.
#pragma once

#include <cstdio>

// Opens NAME for writing; null with errno set when it cannot be opened (the
// caller reports that as it reports a failed fopen). With report set the
// file is the run's report: an early exit (a fatal error) still installs
// what was written; every other file still open at exit is dropped, so the
// old file stays.
FILE *out_open(const char *name, bool report = false);
// Puts standard output behind the same checked stream (the C library's
// stdout is this stream from then on) and returns it: a lost write is kept
// and out_commit, also at exit, says "cannot write standard output: REASON"
// and sets the exit status to 1.
FILE *out_standard_output();
// Finishes a file of out_open or out_standard_output: true when every byte
// reached the file and it is in place; otherwise the message above and
// false. The stream is closed in both cases.
bool out_commit(FILE *fp);
// Closes a file of out_open without installing it: the temporary file is
// removed and the old file is left as it was.
void out_abort(FILE *fp);

// For a signal handler: removes every temporary file still open, using only
// async-signal-safe calls. The program is about to end.
void out_remove_temporaries();
