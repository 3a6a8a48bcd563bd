#!/usr/bin/env python3
"""`transform: do;` with the iterative equalising (itmax above 0): after it K
and W are one matrix P' whose diagonal entries all equal the mean of the
second-order modes, and whose eigenvalues are the modes themselves. Each
session runs through tevo in batch; its printed K and W are checked against
the modes (Hankel singular values) of the Butterworth lowpass, made once with
SciPy: butter(n, 1, analog=True) -> tf2ss, K and W by
solve_continuous_lyapunov, the square roots of the eigenvalues of K W.
The eigenvalues are compared through the traces of the powers of P', which
determine them, so that no linear-algebra library is needed here.

usage: iterative_equalising.py TEVO"""
import os
import re
import subprocess
import sys
import tempfile

MODES = {
    3: [0.05090121, 0.34402963, 0.79312841],
    5: [0.00283958, 0.03988878, 0.2236068, 0.60132819, 0.91477059],
    6: [6.30714384e-04, 1.10328912e-02, 8.27767406e-02, 3.25435929e-01, 7.00128886e-01, 9.47067520e-01],
}


def matrices(report):
    """The matrices printed after "K =" and "W =" in the report."""
    out = {}
    for name in ("K", "W"):
        m = re.search(r"^%s =\n\((\d+), (\d+)\)\n((?:[ \-0-9.e+]+\n)+)" % name, report, re.M)
        if not m:
            raise SystemExit("no %s in the report:\n%s" % (name, report))
        rows = [[float(x) for x in line.split()] for line in m.group(3).splitlines()]
        out[name] = rows
    return out


def matmul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(len(b))) for j in range(len(b[0]))] for i in range(len(a))]


def main():
    tevo = os.path.abspath(sys.argv[1])
    failures = []
    for n, modes in MODES.items():
        for itmax in (50, 200):
            work = tempfile.mkdtemp(prefix="tevo-equal-")
            with open(os.path.join(work, "s.in"), "w") as f:
                f.write("butterworth(%d);\nitmax = %d;\ntransform: do;\noutput: K W;\n" % (n, itmax))
            p = subprocess.run([tevo, "s"], cwd=work, capture_output=True, text=True, timeout=120)
            report = open(os.path.join(work, "s.out")).read()
            case = "butterworth(%d), itmax %d" % (n, itmax)
            if p.returncode != 0 or p.stderr:
                failures.append("%s: status %d, standard error %r" % (case, p.returncode, p.stderr))
                continue
            m = matrices(report)
            K, W = m["K"], m["W"]
            mean = sum(modes) / n
            scale = max(modes)
            # Printed with 7 digits; the equalising stops within epsrel (1e-6)
            # of the mean.
            for i in range(n):
                if abs(K[i][i] - mean) > 3e-6 * mean:
                    failures.append("%s: K_%d%d = %g, the mean of the modes is %g" % (case, i, i, K[i][i], mean))
                for j in range(n):
                    if abs(K[i][j] - W[i][j]) > 2e-6 * scale or abs(K[i][j] - K[j][i]) > 2e-6 * scale:
                        failures.append("%s: K and W differ at (%d, %d)" % (case, i, j))
            # tr(P'^k) = sum of the k-th powers of the modes, k = 1 .. n
            P = K
            for k in range(1, n + 1):
                tr = sum(P[i][i] for i in range(n))
                want = sum(x ** k for x in modes)
                if abs(tr - want) > 1e-5 * k * scale ** k:
                    failures.append("%s: tr(P'^%d) = %.8g, the modes give %.8g" % (case, k, tr, want))
                P = matmul(P, K)
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
