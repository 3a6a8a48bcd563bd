#!/usr/bin/env python3
"""CPU time of whole tevo runs, repeated: start-up and a session as a user pays them.

    python3 scripts/bench_sessions.py BUILD/tevo [FILE.in ...] [--runs N]

Runs tevo N times (default 200) on an empty input and on each FILE.in (read
from standard input, in a scratch directory so that written files land
there) and prints the mean user+system CPU per run from the children's
resource usage, with the largest resident set."""
import os
import resource
import shutil
import subprocess
import sys
import tempfile


def measure(tevo, text, runs, cwd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    for _ in range(runs):
        subprocess.run([tevo], input=text, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=cwd, check=False)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu / runs, after.ru_maxrss


def main():
    args = sys.argv[1:]
    runs = 200
    if "--runs" in args:
        i = args.index("--runs")
        runs = int(args[i + 1])
        del args[i:i + 2]
    if not args:
        sys.exit(__doc__)
    tevo = os.path.abspath(args[0])
    with tempfile.TemporaryDirectory() as scratch:
        cases = [("empty run", b"")]
        for f in args[1:]:
            with open(f, "rb") as fh:
                cases.append((os.path.basename(f), fh.read()))
        for name, text in cases:
            cpu, rss = measure(tevo, text, runs, scratch)
            print(f"{name:24s} {cpu * 1000:8.2f} ms CPU per run ({runs} runs), max RSS {rss} KB")


if __name__ == "__main__":
    main()
