// Small filters and an independent complex solver for the filter tests.
#pragma once

#include <cmath>
#include <complex>
#include <vector>

#include "filter/current.h"
#include "filter/ss.h"
#include "base/expr.h"
#include "base/globals.h"
#include "base/vars.h"
#include "numeric/matrix.h"

namespace fx {

typedef std::complex<long double> lcx;

// The variable table with its start values, made once.
inline void setup_vars()
{
    if (!ist.vars) {
        ist.vars = new_varlist();
        seed_default_vars();
    }
    if (!ist.out_fp)
        ist.out_fp = stdout;
}

// A record from rows of numbers (A row by row, as `input:` reads them).
inline ss make_ss(int n, const std::vector<double> &A, const std::vector<double> &B,
                  const std::vector<double> &C, double D = 0.0)
{
    ss s = new_ss(n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            s.A.data[j * n + i] = A[i * n + j];
    for (int i = 0; i < n; i++) {
        s.B.data[i] = B[i];
        s.C.data[i] = C[i];
    }
    s.D = D;
    return s;
}

// Makes a copy of s the current filter, with analysis data.
inline void use(const ss &s)
{
    setup_vars();
    install_filter(copy_ss(s));
}

inline double a(const ss &s, int i, int j) { return s.A.data[j * s.n + i]; }

// Butterworth lowpass (cutoff 1 rad/s, n even) as a cascade of second-order
// sections in normal form [[sg, om], [-om, sg]], each with DC gain 1.
inline ss butterworth_cascade(int n)
{
    ss s = new_ss(n);
    const double pi = 3.14159265358979323846;
    for (int k = 0; k < n / 2; k++) {
        double th = pi * (2.0 * (k + 1) + n - 1) / (2.0 * n);
        double sg = std::cos(th), om = std::fabs(std::sin(th));
        double g = std::sqrt((sg * sg + om * om) / om);
        int o = 2 * k;
        s.A.data[o * n + o] = sg;
        s.A.data[(o + 1) * n + o] = om;
        s.A.data[o * n + o + 1] = -om;
        s.A.data[(o + 1) * n + o + 1] = sg;
        // input of the section: B_k = (0, g), from the previous output C_(k-1) = (g, 0)
        if (k == 0)
            s.B.data[o + 1] = g;
        else
            s.A.data[(o - 2) * n + o + 1] = g * std::sqrt(1.0 / std::fabs(std::sin(pi * (2.0 * k + n - 1) / (2.0 * n))));
        if (k == n / 2 - 1)
            s.C.data[o] = g;
    }
    return s;
}

// Lowpass to bandpass s -> (s^2 + w0^2) / (bw s): order 2n.
inline ss bandpass_of(const ss &lp, double w0, double bw)
{
    int n = lp.n, m = 2 * n;
    ss s = new_ss(m);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            s.A.data[j * m + i] = bw * a(lp, i, j);
        s.A.data[(n + i) * m + i] = w0;
        s.A.data[i * m + n + i] = -w0;
        s.B.data[i] = bw * lp.B.data[i];
        s.C.data[i] = lp.C.data[i];
    }
    s.D = lp.D;
    return s;
}

// Solves M x = b by Gaussian elimination with partial pivoting in long
// double (M n x n column-major, several right-hand sides in b).
inline void lsolve(int n, std::vector<lcx> M, std::vector<lcx> &b, int nrhs)
{
    for (int k = 0; k < n; k++) {
        int p = k;
        for (int i = k + 1; i < n; i++)
            if (std::abs(M[k * n + i]) > std::abs(M[k * n + p]))
                p = i;
        if (p != k) {
            for (int j = 0; j < n; j++)
                std::swap(M[j * n + k], M[j * n + p]);
            for (int r = 0; r < nrhs; r++)
                std::swap(b[r * n + k], b[r * n + p]);
        }
        for (int i = k + 1; i < n; i++) {
            lcx f = M[k * n + i] / M[k * n + k];
            for (int j = k; j < n; j++)
                M[j * n + i] -= f * M[j * n + k];
            for (int r = 0; r < nrhs; r++)
                b[r * n + i] -= f * b[r * n + k];
        }
    }
    for (int r = 0; r < nrhs; r++)
        for (int i = n - 1; i >= 0; i--) {
            lcx s = b[r * n + i];
            for (int j = i + 1; j < n; j++)
                s -= M[j * n + i] * b[r * n + j];
            b[r * n + i] = s / M[i * n + i];
        }
}

// jwI - A, or its transpose.
inline std::vector<lcx> jw_minus_a(const ss &s, double w, bool transposed)
{
    int n = s.n;
    std::vector<lcx> M((size_t)n * n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            long double aij = transposed ? a(s, j, i) : a(s, i, j);
            M[j * n + i] = lcx(-aij, i == j ? (long double)w : 0.0L);
        }
    return M;
}

// Reference values: F = R B, G = C R, H = C F + D, dF = -j R F, dG = -j G R,
// dH = C dF.
struct ref {
    std::vector<lcx> F, G, dF, dG;
    lcx H, dH;
};

inline ref reference(const ss &s, double w)
{
    int n = s.n;
    ref r;
    r.F.resize(n);
    r.G.resize(n);
    for (int i = 0; i < n; i++) {
        r.F[i] = s.B.data[i];
        r.G[i] = s.C.data[i];
    }
    auto M = jw_minus_a(s, w, false), Mt = jw_minus_a(s, w, true);
    lsolve(n, M, r.F, 1);
    lsolve(n, Mt, r.G, 1);
    r.dF = r.F;
    lsolve(n, M, r.dF, 1);
    r.dG = r.G;
    lsolve(n, Mt, r.dG, 1);
    const lcx mj(0.0L, -1.0L);
    r.H = s.D;
    r.dH = 0;
    for (int i = 0; i < n; i++) {
        r.dF[i] *= mj;
        r.dG[i] *= mj;
        r.H += (long double)s.C.data[i] * r.F[i];
        r.dH += (long double)s.C.data[i] * r.dF[i];
    }
    return r;
}

inline long double ref_delay(lcx z, lcx dz)
{
    return (z.imag() * dz.real() - z.real() * dz.imag()) / std::norm(z);
}

}  // namespace fx
