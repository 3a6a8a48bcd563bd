#!/usr/bin/env python3
"""Inputs that once took gigabytes end with a clear error in seconds, within
the memory bound of the README (1 GB in all): a 300 KB file of definitions
that each build on the one before over an undefined name, an 80 KB
expression doubled 14 times, and a 16 MB expression of 8 million nodes.
A long unresolved sum is printed whole and fast (its evaluation is linear).

Usage: memory_bounds.py TEVO [sanitized]
Under the sanitizers the resident size includes their shadow memory and is
not checked; the times are four times longer there. The time limits leave
room for a loaded machine: alone each run takes under 3 s."""
import os
import resource
import subprocess
import sys
import tempfile
import time

tevo = sys.argv[1]
sanitized = len(sys.argv) > 2 and sys.argv[2] == "sanitized"
time_limit = 80.0 if sanitized else 20.0
failures = []


def chain_definitions():
    # y0 = z; y1 = y0 + qq; ... up to 300 KB, then the last one is printed.
    lines = ["y0 = z;"]
    size = len(lines[0]) + 1
    i = 1
    while size < 300000:
        line = "y%d = y%d + qq;" % (i, i - 1)
        lines.append(line)
        size += len(line) + 1
        i += 1
    lines.append("output: y%d;" % (i - 1))
    return "\n".join(lines) + "\n"


def doubled_expression():
    # An 80 KB sum of products, doubled 14 times by definitions.
    terms = []
    size = 0
    k = 0
    while size < 80000:
        t = "u%d*v%d" % (k, k)
        terms.append(t)
        size += len(t) + 3
        k += 1
    lines = ["e0 = " + " + ".join(terms) + ";"]
    for j in range(1, 15):
        lines.append("e%d = e%d + e%d;" % (j, j - 1, j - 1))
    lines.append("output: e14;")
    return "\n".join(lines) + "\n"


def balanced_expression():
    # 2^22 leaves in a balanced sum: about 8.4 million nodes.
    s = "u"
    for _ in range(22):
        s = "(" + s + "+" + s + ")"
    return "x = " + s + ";\noutput: \"not reached\";\n"


def run(folder, name, text):
    with open(os.path.join(folder, name + ".in"), "w") as f:
        f.write(text)
    start = time.time()
    p = subprocess.run([tevo, name], cwd=folder, stdin=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, timeout=300)
    elapsed = time.time() - start
    with open(os.path.join(folder, name + ".out")) as f:
        report = f.read()
    return p.returncode, p.stderr.decode(errors="replace"), report, elapsed


cases = [
    ("definitions", chain_definitions(), "expression too large.\n"),
    ("doubling", doubled_expression(), "expression too large.\n"),
    ("balanced", balanced_expression(),
     "Error in line 1: expressions and variable definitions take more than 256 MB.\n"),
]

with tempfile.TemporaryDirectory() as folder:
    for name, text, message in cases:
        status, err, report, elapsed = run(folder, name, text)
        if status != 1:
            failures.append("%s: exit status %d, expected 1" % (name, status))
        if not err.endswith(message) or err.count("\n") != 1:
            failures.append("%s: standard error %r, expected one line ending in %r" % (name, err[:300], message))
        if len(report) > 1000:
            failures.append("%s: a report of %d bytes" % (name, len(report)))
        if elapsed > time_limit:
            failures.append("%s: %.1f s (at most %.0f s)" % (name, elapsed, time_limit))
        print("%s: status %d in %.2f s" % (name, status, elapsed))

    # The sum u0*v0 + ... + u7999*v7999 stays unresolved and prints whole,
    # fully parenthesised from the left.
    n = 8000
    text = "s = " + " + ".join("u%d*v%d" % (k, k) for k in range(n)) + ";\noutput: s;\n"
    expected = "( u0 * v0 )"
    for k in range(1, n):
        expected = "( %s + ( u%d * v%d ) )" % (expected, k, k)
    status, err, report, elapsed = run(folder, "longsum", text)
    lines = report.split("\n", 1)
    if status != 0 or err:
        failures.append("longsum: status %d, %r" % (status, err[:300]))
    elif lines[1].strip() != expected:
        failures.append("longsum: the printed sum differs: %r..." % lines[1][:200])
    if elapsed > time_limit:
        failures.append("longsum: %.1f s (at most %.0f s)" % (elapsed, time_limit))
    print("longsum: status %d in %.2f s" % (status, elapsed))

peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print("largest resident size of a run: %.0f MB" % (peak_kb / 1024))
if not sanitized and peak_kb > 1024 * 1024:
    failures.append("a run reached %.0f MB (at most 1024 MB)" % (peak_kb / 1024))

for f in failures:
    print("FAIL: " + f)
sys.exit(1 if failures else 0)
