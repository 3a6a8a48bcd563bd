#!/usr/bin/env python3
"""Grammar-aware fuzzer of the command language.

Generates command files from the statements and items of the language, valid
ones and mutated ones (extreme numbers, expressions that give NaN, huge and
negative orders, deep nesting, long lines, NUL and high bytes, unterminated
strings and comments, files that read themselves, large definition files,
file targets that cannot be written: links to /dev/full, read-only files and
folders), runs each as `tevo NAME` in a scratch folder with a time limit, and
classifies what goes wrong. A share of the cases runs algebra_probe instead,
on systems with huge exponents, indices, coefficients and sizes.

  sanitizer  AddressSanitizer / UndefinedBehaviorSanitizer / LeakSanitizer report
  signal     the program died by a signal
  timeout    the program did not end within the time limit
  status0    the program reported an error on standard error but ended with status 0
  memory     the program's resident size passed 3 GB

Every finding is kept in the findings folder (the command files, the output,
standard error and a note) so that it can be run again by hand.

  tests/fuzz/fuzz.py --tevo build-asan/tevo --seed 1 --seconds 60
"""

import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from concurrent.futures import ThreadPoolExecutor

# ---------------------------------------------------------------------------
# Generation

EXTREME_NUMBERS = [
    "0", "1", "-1", "2147483647", "2147483648", "-2147483648", "4294967296",
    "1e308", "-1e308", "1e309", "1e-308", "1e-320", "4.9e-324", "1e400",
    "9999999999999999999999", "0.0", "1.7976931348623157e308", "1d5", "1E-5",
    "123456789012345678901234567890", "0.000000001", "3", "1e15", "1e-15",
]

NAN_EXPRESSIONS = [
    "(-1)^0.5", "0*(1e308*10)", "1e308*10", "-(1e308*10)", "(1e308*10)-(1e308*10)",
    "log(0)", "sqrt(-1)", "1/0", "0/0", "0^-1", "asin(2)", "exp(1000)", "tan(pi/2)",
    "(-8)^(1/3)", "exp(exp(10))", "-exp(1000)", "sn(1, 0.5)", "cn(1e300, 0.99)",
]

NAMES = ["x", "y", "z", "v1", "v2", "q", "ctot", "umax", "sf", "si", "so", "fr",
         "epsrel", "epsabs", "itmax", "itmax2", "fmax", "noisefactor", "cascdist", "pi"]

SETTINGS = ["ctot", "umax", "sf", "si", "so", "fr", "epsrel", "epsabs", "epsabs2",
            "itmax", "itmax2", "fmax", "noisefactor", "cascdist", "smootha"]

FUNCS = ["abs", "sin", "asin", "cos", "acos", "tan", "atan", "exp", "log", "log10", "sqrt"]
SET_OPTIONS = ["optc", "eqc", "som", "nosom", "num", "sol", "sfr", "mfr", "evalc",
               "rps", "hertz", "scale_inf", "scale2"]
RESPONSES = ["H", "G", "F", "h", "g", "f"]


class Gen:
    def __init__(self, rng):
        self.r = rng

    def chance(self, p):
        return self.r.random() < p

    def pick(self, seq):
        return self.r.choice(seq)

    def small_number(self):
        r = self.r.random()
        if r < 0.4:
            return str(self.r.randint(0, 9))
        if r < 0.7:
            return "%.3g" % self.r.uniform(-10, 10)
        if r < 0.85:
            return "%de%d" % (self.r.randint(1, 9), self.r.randint(-12, 12))
        return self.pick(EXTREME_NUMBERS)

    def number(self):
        return self.pick(EXTREME_NUMBERS) if self.chance(0.15) else self.small_number()

    def real_const(self):
        n = self.number()
        if self.chance(0.2) and not n.startswith("-"):
            n = "-" + n
        return n

    def order(self):
        # Mostly small: the searches of `transform:` cost much more than
        # linearly in the order (do2 at order 7 takes half a minute under
        # the sanitizers), and a timeout should mean a hang, not a slow search.
        r = self.r.random()
        if r < 0.85:
            return str(self.r.randint(1, 4))
        if r < 0.9:
            return str(self.r.randint(5, 7))
        return self.pick(["0", "-1", "-5", "2147483647", "-2147483648", "2147483648",
                          "100000", "3000", "65536", "46341", "1073741824"])

    def expr(self, depth=0):
        if depth > 4 or self.chance(0.35):
            r = self.r.random()
            if r < 0.55:
                return self.number()
            if r < 0.85:
                return self.pick(NAMES)
            return "(" + self.pick(NAN_EXPRESSIONS) + ")"
        r = self.r.random()
        if r < 0.5:
            return "%s %s %s" % (self.expr(depth + 1), self.pick("+-*/^"), self.expr(depth + 1))
        if r < 0.65:
            return "%s(%s)" % (self.pick(FUNCS), self.expr(depth + 1))
        if r < 0.72:
            return "%s(%s, %s)" % (self.pick(["sn", "cn", "dn"]), self.expr(depth + 1),
                                   self.pick(["0.5", "0", "1", "0.99", "-0.5", "2", self.expr(depth + 1)]))
        if r < 0.85:
            return "(" + self.expr(depth + 1) + ")"
        return self.pick(["-", "+"]) + self.expr(depth + 1)

    def deep_expr(self):
        n = self.pick([50, 500, 5000, 20000])
        kind = self.r.randint(0, 3)
        if kind == 0:
            return "(" * n + "1" + ")" * n
        if kind == 1:
            return "1" + "+1" * n
        if kind == 2:
            return "-" * n + "1"
        return "sin " * n + "1"

    # -- statements ---------------------------------------------------------

    def input_statement(self):
        n = self.r.randint(1, 4) if self.chance(0.9) else self.r.randint(0, 6)
        declared = n if self.chance(0.9) else self.pick([0, -1, n + 1, n - 1, 2147483647])

        def row(k):
            return " ".join(self.stable_entry() if self.chance(0.8) else self.real_const()
                            for _ in range(k)) + ";"
        parts = ["input: order = %s;" % declared]
        parts.append("A = " + " ".join(row(n) for _ in range(n)))
        parts.append("B = " + " ".join(row(1) for _ in range(n)))
        parts.append("C = " + row(n))
        if self.chance(0.8):
            parts.append("D = %s;" % self.real_const())
        else:
            parts[-1] = parts[-1]  # the statement may end after C
        return " ".join(parts)

    def stable_entry(self):
        return "%.3g" % self.r.uniform(-3, 1)

    def approximation(self):
        o = self.order()
        k = self.r.randint(0, 9)
        if k == 0:
            return "butterworth(%s);" % o
        if k == 1:
            return "chebyshev(%s, %s);" % (o, self.real_const())
        if k == 2:
            return "cauer(%s, %s, %s);" % (o, self.real_const(), self.real_const())
        if k == 3:
            return "bessel(%s);" % o
        if k == 4:
            return "gauss(%s);" % o
        if k == 5:
            return "tgauss(%s, %s, %s);" % (o, self.real_const(), self.real_const())
        if k == 6:
            return "%s(%s, %s, %s);" % (self.pick(["bessel_chebyshev", "bc"]), o,
                                        self.real_const(), self.real_const())
        if k == 7:
            return "ic(%s, %s);" % (o, self.real_const())
        if k == 8:
            return "rgd(%s, %s);" % (o, self.real_const())
        return self.cascade()

    def cascade(self):
        secs = []
        for _ in range(self.r.randint(1, 4)):
            s = "pole(%s, %s)" % (self.real_const(), self.real_const()) if self.chance(0.7) \
                else "pole(%s)" % self.real_const()
            if self.chance(0.5):
                s += " zero(%s, %s)" % (self.real_const(), self.real_const()) if self.chance(0.7) \
                    else " zero(%s)" % self.real_const()
            secs.append(s)
        return "cascade(%s);" % ", ".join(secs)

    def valid_filter(self):
        return self.pick(["butterworth(%d);" % self.r.randint(1, 4),
                          "chebyshev(%d, 0.5);" % self.r.randint(1, 4),
                          "cauer(%d, 1, 2);" % self.r.randint(2, 4),
                          "bessel(%d);" % self.r.randint(1, 4),
                          "input: order = 1; A = -1; B = 1; C = 1; D = 0;",
                          "input: order = 2; A = 0 1 -1 -1; B = 0 1; C = 1 0; D = 0;",
                          "input: order = 1; A = 1; B = 1; C = 1; D = 0;",
                          "input: order = 1; A = 0; B = 1; C = 1; D = 0;",
                          "input: order = 2; A = 0 1 -1 0; B = 0 1; C = 1 0; D = 0;",
                          "cascade(pole(-1, 1) zero(0, 2), pole(-0.5));"])

    def output_statement(self):
        items = ["W", "K", "w", "k", "poles", "zeros", "dr", "filter", "caps", "denominator",
                 "numerator", "top(H)", "top(F)", "bias", '"text"', self.pick(NAMES)]
        return "output: %s;" % " ".join(self.pick(items) for _ in range(self.r.randint(1, 4)))

    def transform_statement(self):
        def item():
            k = self.r.randint(0, 16)
            return [
                "do", "do2", "do2 step = %s" % self.number(), "do3 step = %s" % self.number(),
                "do4", "do4 steps = %s" % self.pick(["0", "1", "3", "2147483647", "100000"]),
                "scale", "scalew(%s)" % self.expr(), "scalek(%s)" % self.expr(),
                "bandpass(%s, %s)" % (self.expr(), self.expr()), "lowpass(%s)" % self.expr(),
                "orthogonal", "transpose", "ladder", "optladder(%s, %s)" % (self.real_const(), self.real_const()),
                "optladder2(%s)" % self.order(), "ladder(grid = %s)" % self.order(),
            ][k]
        items = [item() for _ in range(self.r.randint(1, 3))]
        text = "transform: %s;" % " ".join(items)
        # The searches cost far more than linearly in the order (optladder
        # takes ten seconds at order 5 without sanitizers): mostly they get a
        # small filter of their own first, so that a timeout means a hang.
        searches = ("do2", "do3", "do4", "ladder", "optladder")
        # do4 with 3 steps visits 3^12 points at order 4, seconds of work
        # that the sanitizers make minutes: it always gets order 3 or less.
        full_grid = any(i in ("do4", "do4 steps = 3") for i in items)
        if full_grid or (any(i.startswith(searches) for i in items) and self.chance(0.85)):
            top = 3 if full_grid else 4
            text = "%s(%d);\n%s" % (self.pick(["butterworth", "bessel", "gauss"]), self.r.randint(1, top), text)
        return text

    def set_statement(self):
        opts = [self.pick(SET_OPTIONS) for _ in range(self.r.randint(1, 3))]
        if self.chance(0.1):
            opts.append("symbolic %s" % self.order())
        return "set: %s;" % " ".join(opts)

    def plot_statement(self):
        def item():
            k = self.r.randint(0, 14)
            resp = self.pick(RESPONSES)
            return ["magn(%s)" % resp, "phase(%s)" % resp, "delay(%s)" % resp, "db(%s)" % resp,
                    resp, "dropfact", "drscfact", "drfact",
                    self.pick(["relsens", "sens", "abssens"]) + self.pick(["", " 1", " 2", " 0", " -1", " 2147483647"]),
                    "onoise", "dr", "outputcurrents", "impulse(%s)" % resp, "step(%s)" % resp,
                    self.pick(NAMES)][k]
        word = "xplot" if self.chance(0.05) else "plot"
        return "%s: %s;" % (word, " ".join(item() for _ in range(self.r.randint(1, 4))))

    def sweep(self):
        # (A sweep of 10^8 points is slow, not wrong: the counts stay below
        # that or beyond what can be allocated.)
        n = self.pick([str(self.r.randint(1, 30)), "0", "-1", "1", "2", "2147483647", "4294967296"])
        a, b = self.expr(2), self.expr(2)
        if self.chance(0.3):
            a, b = self.pick(NAN_EXPRESSIONS + ["1e308", "-1e308", "0"]), self.pick(NAN_EXPRESSIONS + ["1e308", "1e-308"])
        if self.chance(0.5):
            return "freq = %s(%s, %s, %s);" % (self.pick(["lin", "log"]), a, b, n)
        return "time = lin(%s, %s, %s);" % (a, b, n)

    def assignment(self):
        name = self.pick(SETTINGS + NAMES)
        if self.chance(0.25):
            return "%s = %s;" % (name, self.pick(NAN_EXPRESSIONS))
        return "%s = %s;" % (name, self.expr())

    def statement(self):
        k = self.r.randint(0, 99)
        if k < 10:
            return self.approximation()
        if k < 16:
            return self.input_statement()
        if k < 18:
            return self.valid_filter()
        if k < 30:
            return self.output_statement()
        if k < 42:
            return self.transform_statement()
        if k < 50:
            return self.set_statement()
        if k < 60:
            return self.plot_statement()
        if k < 67:
            return self.sweep()
        if k < 82:
            return self.assignment()
        if k < 84:
            return "caps = %s;" % " ".join(self.real_const() for _ in range(self.r.randint(0, 5)))
        if k < 86:
            return ".debug = %s;" % self.order()
        if k < 88:
            # Every candidate of a search runs a peak search on this grid:
            # small grids, and ones beyond the bound.
            return "scale_grid = %s;" % self.pick(["0", "1", "2", "3", "50", "200", "10001", "65536",
                                                   "2147483647", "-5"])
        if k < 90:
            return "bla = %s;" % self.order()
        if k < 92:
            return 'write "w.out";'
        if k < 93:
            return 'writesp "a" "b";'
        if k < 94:
            return "history;"
        if k < 96:
            return 'read "inc.in";'
        if k < 97:
            return "%s = %s;" % (self.pick(NAMES), self.deep_expr())
        if k < 98:
            return self.definition_graph()
        if k < 99:
            return ";"
        return "bye"

    def definition_graph(self):
        n = self.pick([30, 60, 2000])
        lines = ["d0 = %s;" % self.pick(["1", "x", "1.0001"])]
        op = self.pick(["+", "*"])
        for i in range(1, n + 1):
            if self.chance(0.5) or n > 100:
                lines.append("d%d = d%d %s d%d;" % (i, i - 1, op, i - 1))
            else:
                lines.append("d%d = d%d + 1;" % (i, i - 1))
        lines.append("output: d%d;" % n)
        return "\n".join(lines)

    def large_definitions(self):
        """A large definition file: a chain over an undefined name up to
        300 KB, or a long expression doubled 14 times, then a use."""
        if self.chance(0.5):
            lines = ["y0 = %s;" % self.pick(["z", "1", "x + 1"])]
            size, i = 0, 1
            op = self.pick(["+", "*", "-"])
            while size < self.pick([30000, 300000]):
                lines.append("y%d = y%d %s %s;" % (i, i - 1, op, self.pick(["qq", "y%d" % (i - 1), "2"])))
                size += len(lines[-1]) + 1
                i += 1
            lines.append("output: y%d;" % (i - 1))
        else:
            n = self.pick([2000, 8000])
            lines = ["e0 = " + " + ".join("u%d*v%d" % (k, k) for k in range(n)) + ";"]
            for j in range(1, 15):
                lines.append("e%d = e%d + e%d;" % (j, j - 1, j - 1))
            lines.append(self.pick(["output: e14;", "x = e14;", "output: e3;"]))
        return "\n".join(lines)

    def program(self):
        stmts = []
        if self.chance(0.7):
            stmts.append(self.valid_filter())
        for _ in range(self.r.randint(1, 12)):
            stmts.append(self.statement())
        return "\n".join(stmts) + "\n"

    # -- mutation of the text -----------------------------------------------

    def mutate(self, text):
        b = bytearray(text.encode())
        for _ in range(self.r.randint(1, 4)):
            k = self.r.randint(0, 9)
            pos = self.r.randint(0, len(b)) if b else 0
            if k == 0:   # NUL and high bytes
                b[pos:pos] = bytes([self.pick([0, 0x80, 0xff, 0xc3, 0x1b, 0x7f, 0x0d])])
            elif k == 1:  # unterminated string
                b[pos:pos] = b'"unterminated'
            elif k == 2:  # unterminated comment at the end
                b += b"# comment without newline"
            elif k == 3:  # cut the text
                del b[pos:]
            elif k == 4:  # long line
                b[pos:pos] = (b"x" * self.r.randint(1000, 70000))
            elif k == 5:  # delete a span
                del b[pos:pos + self.r.randint(1, 10)]
            elif k == 6:  # duplicate a span
                b[pos:pos] = b[pos:pos + self.r.randint(1, 40)]
            elif k == 7:  # an extreme number anywhere
                b[pos:pos] = (" " + self.pick(EXTREME_NUMBERS) + " ").encode()
            elif k == 8:  # a stray token
                b[pos:pos] = self.pick([b";", b"(", b")", b",", b"=", b":", b"-", b"^", b"\n"])
            else:        # flip a byte
                if b and pos < len(b):
                    b[pos] = self.r.randint(1, 255)
        return bytes(b)

    def failing_targets(self, files):
        """Files the run writes that cannot take the writing: the report, the
        plot file, NAME.ci or the file of `write` as links to /dev/full, a
        read-only file or a file in a read-only folder (root may still write
        those). Entries ("link", target) and ("dir", mode) are made by
        run_case."""
        for name in ("c.out", "c.plot", "c.ci", "w.out"):
            if self.chance(0.4):
                files[name] = ("link", "/dev/full")
        if self.chance(0.3):
            files["ro"] = ("dir", 0o555)
        extra = [self.pick(['write "ro/w.cmd";', 'write "/dev/full";', 'write "w.out";',
                            'write "no/such/dir/w.cmd";', 'writesp "x = 1;";'])
                 for _ in range(self.r.randint(1, 3))]
        return "\n".join(extra) + "\n"

    def case(self):
        """The files of one case: {file name: bytes}; NAME.in is 'c.in'."""
        main = self.program()
        extra_files = {}
        if self.chance(0.08):
            main += self.failing_targets(extra_files)
            main += self.plot_statement() + "\n"
        if self.chance(0.02):
            main += self.large_definitions() + "\n"
        inc = self.program() if self.chance(0.5) else self.valid_filter() + "\n"
        r = self.r.random()
        if r < 0.1:     # a file that reads itself, or two that read each other
            inc += 'read "inc.in";\n' if self.chance(0.5) else 'read "c.in";\n'
        files = {"c.in": main.encode(), "inc.in": inc.encode()}
        if self.chance(0.45):
            files["c.in"] = self.mutate(main)
        if self.chance(0.15):
            files["inc.in"] = self.mutate(inc)
        files.update(extra_files)
        return files

    # -- systems for algebra_probe ---------------------------------------------

    def probe_term(self, nvars):
        r = self.r.random()
        if r < 0.05:
            coef = self.pick(["1e308 * 1e308", "1e308", "1e-308", "1e400", "0", "123456789012345678901"])
        else:
            coef = self.pick(["1", "2", "3", "0.5", "1e-3", "7", "%.4g" % self.r.uniform(-5, 5)])
        factors = [coef.lstrip("-") or "1"]
        for _ in range(self.r.randint(0, 3)):
            k = self.r.randrange(nvars)
            if self.chance(0.03):
                k = self.pick([63, 64, 999999, 2147483647, 99999999999])
            e = self.r.randint(1, 4)
            r = self.r.random()
            if r < 0.05:
                e = self.pick([1000, 1001, 1000000, 2100000000, 4294967296])
            elif r < 0.2:
                e = self.r.randint(5, 40)
            factors.append("B%d^%d" % (k, e) if e > 1 else "B%d" % k)
        if self.chance(0.02):   # many factors that add up past the int range
            factors.append(" * ".join(["B0^1000000"] * self.r.randint(2, 2200)))
        return " * ".join(factors)

    def probe_case(self):
        """One algebra_probe run: {file name: bytes} with the arguments in
        'args' (one per line)."""
        nvars = self.r.randint(1, 4)
        neq = self.r.randint(1, 4)
        if self.chance(0.05):
            neq = self.pick([0, 65, 300])
        lines = []
        for _ in range(neq):
            terms = [self.probe_term(nvars) for _ in range(self.r.randint(1, 4))]
            if self.chance(0.02):
                terms += ["B%d^%d" % (self.r.randrange(nvars), k) for k in range(1, 1500)]
            lines.append(" + ".join(terms) if self.chance(0.5) else " - ".join(terms))
        text = "\n".join(lines) + ("\n" if lines else "")
        data = text.encode()
        if self.chance(0.1):
            data = self.mutate(text)
        cmd = self.pick(["groebner lex", "groebner grevlex", "rational", "walk", "polysys"])
        args = cmd.split() + ["sys.txt"]
        if self.chance(0.05):
            args = cmd.split() + [self.pick([".", "empty.txt", "missing.txt"])]
        if self.chance(0.15):
            n = self.pick([2, 3, 4, 5, 9, 30])
            args = ["ladder", self.pick(["verify", "eliminate2", "polysys", "test0", "test1", "test2"])]
            args += [self.pick(["1", "2", "0.5", "1e400", "-1", "0"]) for _ in range(n + 1)]
            if self.chance(0.5):
                args += ["w"] + [self.pick(["0.5", "0.1", "1e400", "-3", "0"]) for _ in range(self.r.randint(1, 3))]
        return {"sys.txt": data, "empty.txt": b"", "args": "\n".join(args).encode()}


# ---------------------------------------------------------------------------
# Running and classification

# Lines of standard error that are notices or warnings, not errors.
NOT_ERRORS = ("Warning", "is outside its normal", "Noisefactor put to", "Umax put to",
              "Itmax put to", "Epsrel put to")

SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "SUMMARY: UndefinedBehaviorSanitizer", "ERROR: UndefinedBehaviorSanitizer")


def classify(rc, err, timed_out):
    if timed_out:
        return "timeout"
    if any(m in err for m in SANITIZER_MARKS):
        return "sanitizer"
    if rc < 0:
        return "signal"
    if rc == 0:
        for line in err.splitlines():
            if line.strip() and not line.startswith(NOT_ERRORS):
                return "status0"
    return None


# The searches are finite work that can still take minutes under the
# sanitizers: do4 visits its whole grid (3^12 points at order 4 with the
# default steps, about a minute), and do2, do3 and optladder at order 4 take
# seconds each, repeated when a file reads itself. A case that names one gets
# this many times the time limit, so that a timeout still means a hang.
SLOW_ITEMS = (b"do2", b"do3", b"do4", b"optladder")
SLOW_FACTOR = 5


def case_timeout(files, timeout):
    slow = any(item in data for data in files.values() for item in SLOW_ITEMS)
    return timeout * SLOW_FACTOR if slow else timeout


# A run whose resident size passes this is a finding (kilobytes).
MEMORY_LIMIT_KB = 3 * 1024 * 1024


def make_files(files, workdir):
    os.makedirs(workdir)
    for name, data in files.items():
        path = os.path.join(workdir, name)
        if isinstance(data, tuple) and data[0] == "link":
            os.symlink(data[1], path)
        elif isinstance(data, tuple) and data[0] == "dir":
            os.makedirs(path)
            os.chmod(path, data[1])
        else:
            with open(path, "wb") as f:
                f.write(data)


def run_program(argv, workdir, timeout):
    """Runs argv in workdir; (kind, exit status, standard error). The exit
    status is negative for a death by signal, as with subprocess."""
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env["ASAN_OPTIONS"] = "detect_leaks=1:abort_on_error=0:allocator_may_return_null=1"
    env["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1"
    timed_out = False
    chunks = []
    with open(os.devnull, "rb") as devnull:
        p = subprocess.Popen(argv, cwd=workdir, stdin=devnull, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, env=env, start_new_session=True)
        reader = threading.Thread(target=lambda: chunks.append(p.stderr.read()))
        reader.start()
        # wait4 gives the peak resident size of the run with its status.
        end = time.monotonic() + timeout
        while True:
            pid, status, usage = os.wait4(p.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > end and not timed_out:
                timed_out = True
                os.killpg(p.pid, signal.SIGKILL)
            time.sleep(0.02)
        p.returncode = -os.WTERMSIG(status) if os.WIFSIGNALED(status) else os.WEXITSTATUS(status)
        reader.join()
        p.stderr.close()
    err = b"".join(chunks).decode(errors="replace")
    kind = classify(p.returncode, err, timed_out)
    if not kind and usage.ru_maxrss > MEMORY_LIMIT_KB:
        kind = "memory"
        err += "\n(fuzz: peak resident size %d MB)\n" % (usage.ru_maxrss // 1024)
    return kind, p.returncode, err


def run_case(tevo, files, timeout, workdir):
    make_files(files, workdir)
    return run_program([tevo, "c"], workdir, timeout)


def run_probe_case(probe, files, timeout, workdir):
    make_files(files, workdir)
    args = files["args"].decode().split("\n")
    return run_program([probe] + args, workdir, timeout)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tevo", required=True, help="the program to test (the sanitizer build)")
    ap.add_argument("--probe", default="", help="algebra_probe of the same build "
                    "(default: tests/algebra_probe beside tevo)")
    ap.add_argument("--probe-share", type=float, default=0.1, help="share of the cases that run algebra_probe")
    ap.add_argument("--seed", type=int, default=1, help="seed of the generator (default 1)")
    ap.add_argument("--seconds", type=float, default=60, help="stop generating after this many seconds")
    ap.add_argument("--cases", type=int, default=0, help="stop after this many cases (0: no limit)")
    ap.add_argument("--jobs", type=int, default=3, help="cases run at the same time")
    ap.add_argument("--timeout", type=float, default=60, help="seconds one case may take")
    ap.add_argument("--findings", default="fuzz-findings", help="folder for the cases that found something")
    ap.add_argument("--print", dest="show", action="store_true", help="print the generated cases and stop")
    args = ap.parse_args()

    tevo = os.path.abspath(args.tevo)
    probe = os.path.abspath(args.probe or os.path.join(os.path.dirname(tevo), "tests", "algebra_probe"))
    if not os.path.exists(probe):
        probe = ""
    if args.show:
        g = Gen(random.Random(args.seed))
        for i in range(args.cases or 5):
            for name, data in g.case().items():
                sys.stdout.write("=== case %d %s\n" % (i, name))
                sys.stdout.write(str(data) if isinstance(data, tuple) else data.decode(errors="replace"))
        return 0

    scratch = tempfile.mkdtemp(prefix="tevo-fuzz-")
    deadline = time.monotonic() + args.seconds
    counts = {}
    done = 0
    gen_rng = random.Random(args.seed)

    def one(index, case):
        is_probe, files = case
        work = os.path.join(scratch, "case%d" % index)
        if is_probe:
            kind, rc, err = run_probe_case(probe, files, args.timeout, work)
            command = probe + " " + " ".join(files["args"].decode().split("\n"))
        else:
            kind, rc, err = run_case(tevo, files, case_timeout(files, args.timeout), work)
            command = tevo + " c"
        if kind:
            dest = os.path.join(args.findings, "seed%d-case%d-%s" % (args.seed, index, kind))
            shutil.rmtree(dest, ignore_errors=True)
            shutil.copytree(work, dest, symlinks=True)
            with open(os.path.join(dest, "finding.txt"), "w") as f:
                f.write("kind: %s\nexit status: %s\nrun: cd %s && %s\n--- standard error ---\n%s"
                        % (kind, rc, dest, command, err))
        # A read-only folder of the case is made writable again to be removed.
        for root, dirs, _ in os.walk(work):
            for d in dirs:
                path = os.path.join(root, d)
                if not os.path.islink(path):
                    os.chmod(path, 0o755)
        shutil.rmtree(work, ignore_errors=True)
        return index, kind, err

    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        pending = set()
        index = 0
        while True:
            while len(pending) < 2 * args.jobs and time.monotonic() < deadline \
                    and (args.cases == 0 or index < args.cases):
                g = Gen(random.Random(gen_rng.random()))
                if probe and g.chance(args.probe_share):
                    case = (True, g.probe_case())
                else:
                    case = (False, g.case())
                pending.add(pool.submit(one, index, case))
                index += 1
            if not pending:
                break
            finished = [f for f in pending if f.done()]
            if not finished:
                time.sleep(0.02)
                continue
            for f in finished:
                pending.remove(f)
                i, kind, err = f.result()
                done += 1
                if kind:
                    counts[kind] = counts.get(kind, 0) + 1
                    first = err.strip().splitlines()[:3]
                    print("finding: case %d: %s: %s" % (i, kind, " | ".join(first)), flush=True)
    shutil.rmtree(scratch, ignore_errors=True)
    total = sum(counts.values())
    print("fuzz: seed %d, %d cases, %d findings%s" % (
        args.seed, done, total,
        "" if not total else " (" + ", ".join("%s %d" % kv for kv in sorted(counts.items())) + ")"))
    if total:
        print("fuzz: the cases are in %s" % os.path.abspath(args.findings))
    return 1 if total else 0


if __name__ == "__main__":
    sys.exit(main())
