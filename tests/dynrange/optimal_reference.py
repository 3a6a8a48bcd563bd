#!/usr/bin/python3
# Reference figures of `transform: do;` made once by hand, in 120-digit
# arithmetic (mpmath), for the table of tests/dynrange/optimal_do_test.cpp.
# Not run by the build.
#
#   /usr/bin/python3 tests/dynrange/optimal_reference.py butterworth 36
#   /usr/bin/python3 tests/dynrange/optimal_reference.py file FILTER.txt
#   /usr/bin/python3 tests/dynrange/optimal_reference.py dense20
#   /usr/bin/python3 tests/dynrange/optimal_reference.py butterworth 100 --dps 200
#
# FILE holds the order, the rows of A, B, C and D, numbers as %.17g.
#
# The closed form: K and W from the eigen-decomposition of A (distinct poles),
# their Cholesky factors K = L L^T, W = R^T R, the singular value
# decomposition R L = U S V^T, the balancing T = L V S^-1/2 and
# T^-1 = S^-1/2 U^T R with the modes in ascending order and the sign of
# each column chosen so that (T^-1 B)_j > 0, then the direct equalisation of
# diag(S) (n - 1 rotations, the mean taken from the trace), T0 = T U. The
# dynamic range is that of `output: dr;` under `set: scale2;` with
# ctot = 1e-10, umax = 1, noisefactor 1 and equal capacitors:
#   u^2 = C K C^T / max K_ii,  noise = 2 k T sum_i g_i W_ii / (ctot / n),
#   g_i = |B_i| + sum_j |A_ij|.
# It prints the modes, the dynamic range before and after, the figure of the
# exact result rounded to double (its Gramians solved again at 120 digits),
# and the largest |H| error of that rounded realisation relative to the peak.
import sys

import mpmath as mp

mp.mp.dps = 120  # 200 and more from order 60 on: --dps N as the last argument
if len(sys.argv) > 3 and sys.argv[-2] == '--dps':
    mp.mp.dps = int(sys.argv[-1])
KB, TEMP, CTOT, UMAX = mp.mpf('1.3804e-23'), mp.mpf(300), mp.mpf('1e-10'), mp.mpf(1)


def butterworth(n):
    import math
    A = mp.zeros(n, n)
    B = mp.zeros(n, 1)
    C = mp.zeros(1, n)
    for i in range(n):
        g = 2.0 * math.sin((2 * i + 1) * math.pi / (2.0 * n))
        if i == 0:
            A[0, 0] = -1.0 / g
            A[0, 1] = 1.0 / g
            B[0] = 2.0 / g
        elif i < n - 1:
            A[i, i - 1] = -1.0 / g
            A[i, i + 1] = 1.0 / g
        else:
            A[i, i - 1] = -1.0 / g
            A[i, i] = -1.0 / g
    C[0, n - 1] = 1.0 if n % 2 else -1.0
    return A, B, C


def dense20():
    # A with its diagonal in [-1.1, -0.9] and off-diagonal entries of size
    # 0.02 (poles clustered around -1), B all ones, C random: numpy's
    # RandomState(34), the numbers printed with %.17g into the test.
    import numpy as np
    r = np.random.RandomState(34)
    n = 20
    a = 0.02 * r.uniform(-1, 1, (n, n))
    for i in range(n):
        a[i, i] = -1.0 + 0.1 * r.uniform(-1, 1)
    c = r.uniform(-1, 1, n)
    A = mp.matrix([[float(a[i, j]) for j in range(n)] for i in range(n)])
    B = mp.matrix([[1.0] for _ in range(n)])
    C = mp.matrix([[float(x) for x in c]])
    return A, B, C


def read_file(name):
    with open(name) as f:
        tok = f.read().split()
    n = int(tok[0])
    v = [mp.mpf(t) for t in tok[1:]]
    A = mp.matrix(n, n)
    for i in range(n):
        for j in range(n):
            A[i, j] = v[i * n + j]
    B = mp.matrix([[v[n * n + i]] for i in range(n)])
    C = mp.matrix([[v[n * n + n + i] for i in range(n)]])
    return A, B, C


def gramians(A, B, C):
    n = A.rows
    E, V = mp.eig(A)
    Vi = mp.inverse(V)
    b = Vi * B
    c = C * V
    X = mp.matrix(n, n)
    Y = mp.matrix(n, n)
    for i in range(n):
        for j in range(n):
            X[i, j] = -b[i] * mp.conj(b[j]) / (E[i] + mp.conj(E[j]))
            Y[i, j] = -mp.conj(c[i]) * c[j] / (mp.conj(E[i]) + E[j])
    K = V * X * V.H
    W = Vi.H * Y * Vi
    K = mp.matrix([[mp.re(K[i, j]) for j in range(n)] for i in range(n)])
    W = mp.matrix([[mp.re(W[i, j]) for j in range(n)] for i in range(n)])
    rk = mp.mnorm(A * K + K * A.T + B * B.T, 1) / mp.mnorm(K, 1)
    rw = mp.mnorm(A.T * W + W * A + C.T * C, 1) / mp.mnorm(W, 1)
    lim = mp.mpf(10) ** (-(mp.mp.dps * 3 // 4))
    assert rk < lim and rw < lim, (rk, rw)
    return K, W


def balance(A, B, C, K, W):
    n = A.rows
    L = mp.cholesky(K)
    R = mp.cholesky(W).T
    U, S, V = mp.svd_r(R * L)  # R L = U diag(S) V
    LV = L * V.T
    UR = U.T * R
    T = mp.matrix(n, n)
    Ti = mp.matrix(n, n)
    modes = []
    for k in range(n):
        r = n - 1 - k  # ascending
        f = 1 / mp.sqrt(S[r])
        modes.append(S[r])
        for i in range(n):
            T[i, k] = LV[i, r] * f
            Ti[k, i] = UR[r, i] * f
        bk = sum(Ti[k, i] * B[i] for i in range(n))
        if bk < 0:
            for i in range(n):
                T[i, k] = -T[i, k]
                Ti[k, i] = -Ti[k, i]
    return modes, T, Ti


def equal2(d):
    # rotations of the program's direct equalisation, on diag(d)
    n = len(d)
    M = mp.diag(d)
    U = mp.eye(n)
    mean = sum(d) / n

    def rot(X, a, b, c, s, cols):
        if cols:
            for k in range(X.rows):
                xa, xb = X[k, a], X[k, b]
                X[k, b] = s * xa + c * xb
                X[k, a] = c * xa - s * xb
        else:
            for k in range(X.cols):
                xa, xb = X[a, k], X[b, k]
                X[b, k] = s * xa + c * xb
                X[a, k] = c * xa - s * xb

    for i in range(n - 1):
        di = M[i, i]
        if di == mean:
            continue
        j = i + 1
        while j < n and not (M[j, j] < mean if di > mean else M[j, j] > mean):
            j += 1
        if j == n:
            continue
        dj = M[j, j]
        c = mp.sqrt((dj - mean) / (dj - di))
        s = mp.sqrt((mean - di) / (dj - di))
        rot(U, i, j, c, s, True)
        rot(M, i, j, c, s, True)
        rot(M, i, j, c, s, False)
    return U


def dr_db(A, B, C, K, W):
    n = A.rows
    u2 = UMAX ** 2 * (C * K * C.T)[0] / max(K[i, i] for i in range(n))
    S = 0
    for i in range(n):
        g = abs(B[i]) + sum(abs(A[i, j]) for j in range(n))
        S += g * W[i, i] / (CTOT / n)
    noise = 2 * KB * TEMP * S
    return 10 * mp.log10(u2 / noise)


def H(A, B, C, w):
    n = A.rows
    M = mp.matrix(n, n)
    for i in range(n):
        for j in range(n):
            M[i, j] = (1j * w if i == j else 0) - A[i, j]
    return (C * mp.lu_solve(M, B))[0]


def main():
    if sys.argv[1] == 'butterworth':
        A, B, C = butterworth(int(sys.argv[2]))
    elif sys.argv[1] == 'dense20':
        A, B, C = dense20()
        n = A.rows
        for i in range(n):
            print('A', i, ' '.join('%.17g' % float(A[i, j]) for j in range(n)))
        print('C', ' '.join('%.17g' % float(C[i]) for i in range(n)))
    else:
        A, B, C = read_file(sys.argv[2])
    n = A.rows
    K, W = gramians(A, B, C)
    modes, T, Ti = balance(A, B, C, K, W)
    print('modes', ' '.join(mp.nstr(m, 20) for m in modes))
    print('ratio', mp.nstr(modes[0] / modes[-1], 5))
    print('dr before %.4f' % float(dr_db(A, B, C, K, W)))
    U = equal2(modes)
    T0 = T * U
    T0i = U.T * Ti
    A1, B1, C1 = T0i * A * T0, T0i * B, C * T0
    K1, W1 = T0i * K * T0i.T, T0.T * W * T0
    print('dr exact %.4f' % float(dr_db(A1, B1, C1, K1, W1)))
    print('mean mode', mp.nstr(sum(modes) / n, 20))
    Ad = mp.matrix([[mp.mpf(float(A1[i, j])) for j in range(n)] for i in range(n)])
    Bd = mp.matrix([[mp.mpf(float(B1[i]))] for i in range(n)])
    Cd = mp.matrix([[mp.mpf(float(C1[i])) for i in range(n)]])
    Kd, Wd = gramians(Ad, Bd, Cd)
    print('dr rounded %.4f' % float(dr_db(Ad, Bd, Cd, Kd, Wd)))
    ws = [mp.mpf(k) / 8 for k in range(0, 25)]
    h0 = [H(A, B, C, w) for w in ws]
    top = max(abs(h) for h in h0)
    err = max(abs(H(Ad, Bd, Cd, w) - h) for w, h in zip(ws, h0)) / top
    print('H error of the rounded result %.3e' % float(err))


main()
