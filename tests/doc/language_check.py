#!/usr/bin/env python3
"""Checks doc/language.md against the program.

1. Every keyword of the scanner (read from interp/scanner.l, its rules of the
   form "word" ... return TOKEN;) is written in the document as code.
2. Every example of its tables (the last cell of a table whose last column
   is "example") runs through tevo in batch after the document's own start
   statements with no parse error and no other error; an `xplot:` example may
   only fail for want of an X display.

Usage: language_check.py TEVO LANGUAGE_MD SCANNER_L
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

WORD = re.compile(r"\.?[A-Za-z_][A-Za-z0-9_]*")


def scanner_keywords(path):
    text = open(path, encoding="utf-8").read()
    parts = text.split("\n%%")
    if len(parts) < 3:
        sys.exit(f"{path}: no rules section between %% lines")
    keywords = set()
    for line in parts[1].splitlines():
        m = re.match(r'^((?:"[^"]+"\|?)+)\s+return\s+\w+\s*;', line)
        if m:
            for word in re.findall(r'"([^"]+)"', m.group(1)):
                if WORD.fullmatch(word):
                    keywords.add(word)
    # A scanner written another way would give an empty or partial list
    # here: fail loudly rather than check nothing.
    for must in ("input", "bye", "sqrt", ".debug"):
        if must not in keywords:
            sys.exit(f"{path}: keyword {must} not found; the rules are no longer read right")
    return keywords


def code_words(doc):
    spans = re.findall(r"`([^`\n]+)`", doc)
    spans += [l for l in doc.splitlines() if l.startswith("    ")]
    words = set()
    for s in spans:
        words.update(WORD.findall(s))
    return words


def split_row(line):
    # "\|" is a bar inside a cell
    cells = re.split(r"(?<!\\)\|", line.strip().strip("|"))
    return [c.strip() for c in cells]


def examples(doc):
    """(line number, example) for the last cell of every row of a table whose
    last header cell is "example"."""
    found = []
    lines = doc.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("|") and i + 1 < len(lines) and re.match(r"^\|[-| ]+\|$", lines[i + 1]):
            header = split_row(line)
            j = i + 2
            while j < len(lines) and lines[j].startswith("|"):
                if header[-1].lower() == "example":
                    cell = split_row(lines[j])[-1]
                    codes = re.findall(r"`([^`]+)`", cell)
                    if len(codes) != 1:
                        sys.exit(f"language.md:{j + 1}: the example cell holds {len(codes)} code spans, not one")
                    found.append((j + 1, codes[0]))
                j += 1
            i = j
        else:
            i += 1
    return found


def prelude(doc):
    m = re.search(r"runs as written after these statements.*?\n\n    ([^\n]+)\n", doc, re.S)
    if not m:
        sys.exit("language.md: no start statements for the examples")
    return m.group(1)


def run_example(tevo, start, lineno, example):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    with tempfile.TemporaryDirectory() as d:
        with open(os.path.join(d, "ex.in"), "w") as f:
            f.write(start + "\n" + example + "\n")
        try:
            r = subprocess.run([tevo, "ex"], cwd=d, env=env, capture_output=True, text=True,
                               timeout=120)
        except subprocess.TimeoutExpired:
            return f"line {lineno}: {example}: no end within 120 s"
    err = "\n".join(r.stderr.splitlines()[:10])
    if "parse error" in err:
        return f"line {lineno}: {example}: parse error\n{err}"
    if r.returncode == 0:
        return None
    if (example.startswith("xplot:") and r.returncode == 1
            and all("no X display" in l for l in err.splitlines() if l.startswith("Error"))):
        return None
    return f"line {lineno}: {example}: exit status {r.returncode}\n{err}"


def main():
    tevo, doc_path, scanner_path = (os.path.abspath(a) for a in sys.argv[1:4])
    doc = open(doc_path, encoding="utf-8").read()
    failures = []

    missing = sorted(scanner_keywords(scanner_path) - code_words(doc))
    if missing:
        failures.append("keywords not in language.md: " + " ".join(missing))

    start = prelude(doc)
    cases = examples(doc)
    if not cases:
        failures.append("language.md has no examples")
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        for result in pool.map(lambda c: run_example(tevo, start, *c), cases):
            if result:
                failures.append(result)

    for f in failures:
        print(f)
    print(f"{len(cases)} examples run")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
