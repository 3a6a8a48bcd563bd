#!/usr/bin/env python3
"""The noise column of NAME.plot integrates to the report's output noise, as
doc/reference.md says: the total output noise power is (1/pi) times the
integral of onoise^2 over w in rad/s, which is 2 times the integral of
onoise^2 over f in Hz (so sqrt(2) onoise is the density in V/sqrt(Hz)).

Cases:
- a first-order lowpass 1/(s + 1) on 1 pF, whose noise has a closed form:
  2 k T (|A| + |B|) / C1 * W, W = C^2 / (2a) = 1/2, so the power is
  2 * 1.3804e-23 * 300 * 2 * 0.5 / 1e-12 = 8.2824e-9 V^2 (9.100769e-5 V rms);
- a fifth-order elliptic filter after `do`, against the figure of `output:
  dr;` (from the Gramian W, not from the column), with the sweep in rad/s and
  in Hz.
The integral is the trapezoid rule in log w over 1e-4 .. 1e4 rad/s; the tails
left out hold about 1e-4 of the power of the first case, so the rms figures
must agree to 1e-3.

Usage: noise_column_check.py TEVO
"""
import math
import os
import re
import subprocess
import sys
import tempfile


def run(tevo, d, text):
    with open(os.path.join(d, "n.in"), "w") as f:
        f.write(text)
    r = subprocess.run([tevo, "n"], cwd=d, capture_output=True, text=True, timeout=120)
    if r.returncode != 0:
        sys.exit(f"tevo failed ({r.returncode}):\n{r.stderr}")
    report = open(os.path.join(d, "n.out")).read()
    rows = []
    for line in open(os.path.join(d, "n.plot")):
        if line.strip() and not line.startswith("#"):
            rows.append([float(v) for v in line.split()])
    m = re.search(r"Output noise level: (\S+) V\.", report)
    return rows, float(m.group(1)) if m else None


def integral(rows):
    """Trapezoid rule of y over x, taken in log x: the sweep is logarithmic."""
    s = 0.0
    for (x0, y0), (x1, y1) in zip(rows, rows[1:]):
        s += 0.5 * (y0 * x0 + y1 * x1) * math.log(x1 / x0)
    return s


def main():
    tevo = os.path.abspath(sys.argv[1])
    failures = []
    with tempfile.TemporaryDirectory() as d:
        first = "input: order = 1; A = -1; B = 1; C = 1; D = 0;;\nctot = 1e-12; umax = 1;\noutput: dr;\n"
        cauer = "cauer(5, 0.5, 1.5); transform: do; ctot = 100e-12; umax = 1;\noutput: dr;\n"
        cases = [
            ("first order, rad/s", first + "freq = log(1e-4, 1e4, 100); plot: onoise;\n", False,
             9.100769e-5),
            ("cauer(5), rad/s", cauer + "freq = log(1e-4, 1e4, 100); plot: onoise;\n", False, None),
            ("cauer(5), Hz", cauer + "set: hertz;\nfreq = log(1e-4 / (2 * pi), 1e4 / (2 * pi), 100);"
             " plot: onoise;\n", True, None),
        ]
        for name, text, hertz, closed in cases:
            rows, reported = run(tevo, d, text)
            sq = [(x, y * y) for x, y in rows]
            power = 2 * integral(sq) if hertz else integral(sq) / math.pi
            rms = math.sqrt(power)
            want = closed if closed is not None else reported
            if reported is None or abs(rms / want - 1) > 1e-3 or abs(reported / want - 1) > 1e-6:
                failures.append(f"{name}: integrated {rms:.6e} V, reported {reported} V, want {want:.6e} V")
            else:
                print(f"{name}: integrated {rms:.6e} V, reported {reported:.6e} V")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
