#!/usr/bin/env python3
# Reference bases of the algebra tests, made once by hand with SymPy over QQ
# (apt-get install python3-sympy); neither the build nor the tests need it.
#
#   python3 scripts/algebra_reference_bases.py basis SYSTEM.txt lex|grevlex
#       the reduced basis of the system in the notation that algebra_probe
#       reads, coefficients rounded to 17 digits
#   python3 scripts/algebra_reference_bases.py katsura|cyclic N
#       the Katsura-N (N+1 variables) or cyclic-N system
import re
import sys


def katsura(n):
    eqs = [" + ".join(["B0"] + [f"2 * B{i}" for i in range(1, n + 1)]) + " - 1"]
    for m in range(n):
        terms = {}
        for l in range(-n, n + 1):
            a, b = abs(l), abs(m - l)
            if a <= n and b <= n:
                key = tuple(sorted((a, b)))
                terms[key] = terms.get(key, 0) + 1
        parts = []
        for (a, b), c in sorted(terms.items()):
            mono = f"B{a}^2" if a == b else f"B{a} * B{b}"
            parts.append(mono if c == 1 else f"{c} * {mono}")
        eqs.append(" + ".join(parts) + f" - B{m}")
    return eqs


def cyclic(n):
    eqs = [" + ".join(" * ".join(f"B{(i + j) % n}" for j in range(k)) for i in range(n)) for k in range(1, n)]
    return eqs + [" * ".join(f"B{i}" for i in range(n)) + " - 1"]


def basis(fname, order):
    from sympy import Poly, groebner, symbols, sympify, __version__
    lines = [l.strip() for l in open(fname) if l.strip() and not l.strip().startswith('#')]
    nv = 1 + max(int(m) for l in lines for m in re.findall(r'B(\d+)', l))
    B = symbols(' '.join(f'B{i}' for i in range(nv)))
    F = [sympify(l.replace('^', '**'), locals={f'B{i}': B[i] for i in range(nv)}, rational=True) for l in lines]
    G = groebner(F, *B, order=order, domain='QQ')
    print(f"# SymPy {__version__}: groebner(F, {', '.join(map(str, B))}, order='{order}', domain='QQ') of "
          f"{fname.split('/')[-1]}, made by scripts/algebra_reference_bases.py; coefficients rounded to 17 digits")
    for g in G.exprs:
        out = []
        for e, c in Poly(g, *B).terms(order=order):
            mono = " * ".join(f"B{k}" + (f"^{v}" if v > 1 else "") for k, v in enumerate(e) if v)
            mag = f"{abs(float(c)):.17g}"
            body = mag if not mono else (mono if mag == "1" else f"{mag} * {mono}")
            sign = ("- " if c < 0 else "") if not out else (" - " if c < 0 else " + ")
            out.append(sign + body)
        print("".join(out))


if sys.argv[1] == "basis":
    basis(sys.argv[2], sys.argv[3])
else:
    n = int(sys.argv[2])
    print(f"# {sys.argv[1]}-{n}")
    print("\n".join(katsura(n) if sys.argv[1] == "katsura" else cyclic(n)))
