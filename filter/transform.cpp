// Frequency transformations, the tridiagonal and the dual realisation, and
// the similarity rules of the cached Gramians.
#include "filter/transform.h"

#include <cmath>
#include <vector>

#include "filter/current.h"
#include "base/error.h"
#include "numeric/block_eigen.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"
#include "numeric/vector.h"

namespace {

inline double &at(matrix &M, int i, int j) { return M.data[j * M.rows + i]; }
inline double get(const matrix &M, int i, int j) { return M.data[j * M.rows + i]; }

// True when every element of the record is a finite number: a factor of
// infinity, or a product beyond the range of a double, must not reach the
// analysis of the filter.
bool finite_ss(const ss &s)
{
    for (const matrix *m : {&s.A, &s.B, &s.C})
        for (int k = 0; k < m->rows * m->cols; k++)
            if (!std::isfinite(m->data[k]))
                return false;
    return std::isfinite(s.D);
}

// True when a nonzero element of m, times f, falls below the normal range
// of a double (to 0 or to a subnormal number with fewer digits): the result
// would no longer be the filter scaled.
bool underflows(const matrix &m, double f)
{
    for (int k = 0; k < m.rows * m.cols; k++)
        if (m.data[k] != 0.0 && !std::isnormal(f * m.data[k]))
            return true;
    return false;
}

}  // namespace

ss bandpass_ss(const ss &s, double w0, double bw)
{
    if (!(w0 > 0.0) || !(bw > 0.0)) {
        error("bandpass: centre frequency and bandwidth must be larger than zero");
        return ss{};
    }
    int n = s.n;
    ss r = new_ss(2 * n);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            at(r.A, 2 * i, 2 * j) = bw * get(s.A, i, j);
        r.B.data[2 * i] = bw * s.B.data[i];
        r.C.data[2 * i] = s.C.data[i];
        at(r.A, 2 * i, 2 * i + 1) = w0;
        at(r.A, 2 * i + 1, 2 * i) = -w0;
    }
    r.D = s.D;
    if (!finite_ss(r) || !std::isnormal(w0) || underflows(s.A, bw) || underflows(s.B, bw)) {
        free_ss(&r);
        error("bandpass: the transformed filter is out of range");
        return ss{};
    }
    return r;
}

ss lowpass_ss(const ss &s, double f)
{
    if (!(f > 0.0)) {
        error("lowpass: frequency factor must be larger than zero");
        return ss{};
    }
    ss r;
    r.n = s.n;
    r.A = mscale(f, s.A);
    r.B = mscale(f, s.B);
    r.C = mcopy(s.C);
    r.D = s.D;
    if (!finite_ss(r) || underflows(s.A, f) || underflows(s.B, f)) {
        free_ss(&r);
        error("lowpass: the transformed filter is out of range");
        return ss{};
    }
    return r;
}

ss orthogonal_ss(const ss &s)
{
    int n = s.n;
    if (n < 1) {
        error("orthogonal: no filter to realise");
        return ss{};
    }
    // The continued-fraction expansion exists with positive values only for a
    // strictly stable denominator; test the poles first so that a marginal or
    // unstable filter is refused instead of ending the run. The poles are
    // taken block by block, so that a high-order cascade is judged by its
    // sections (numeric/block_eigen.h).
    matrix ev = evc_blocks(fst.ana_ss.A);
    bool stable = true;
    for (int i = 0; i < n; i++)
        if (!(ev.data[i] < 0.0))
            stable = false;
    freem(&ev);
    if (!stable) {
        error("orthogonal: the denominator is not Hurwitz; no tridiagonal realisation");
        return ss{};
    }
    nmat_ready();
    vector r = cauer_extract(fst.ana_den.coef, n);
    for (int k = 0; k < n; k++)
        if (!(r.data[k] > 0.0) || !std::isfinite(r.data[k])) {
            // The poles are all in the left half-plane (tested above), so the
            // denominator is Hurwitz: the expansion of its coefficients has
            // lost its digits, as it does for a Butterworth filter from order 40 on.
            freevector(&r);
            error("orthogonal: the continued fraction of the denominator loses its precision at order %d; "
                  "no tridiagonal realisation", n);
            return ss{};
        }

    ss o = new_ss(n);
    std::vector<double> t(n);
    double q = 1.0 / r.data[0];
    t[0] = q;
    at(o.A, 0, 0) = -q;
    o.B.data[0] = std::sqrt(2.0 * q);
    for (int k = 1; k < n; k++) {
        t[k] = std::sqrt(1.0 / (r.data[k - 1] * r.data[k]));
        at(o.A, k - 1, k) = -t[k];
        at(o.A, k, k - 1) = t[k];
    }

    // Column k of M: the numerator coefficients produced by a unit C entry at
    // integrator k.
    matrix M = newm(n, n);
    at(M, 0, n - 1) = std::sqrt(2.0 * r.data[n - 1]) * fst.ana_den.coef[0];
    if (n > 1)
        at(M, 1, n - 2) = get(M, 0, n - 1) / t[n - 1];
    for (int k = n - 3; k >= 0; k--) {
        for (int i = 0; i <= n - k - 1; i++)
            at(M, i, k) = get(M, i, k + 2) * t[k + 2] / t[k + 1];
        for (int i = 1; i <= n - k - 1; i++)
            at(M, i, k) += get(M, i - 1, k + 1) / t[k + 1];
    }
    matrix b = newm(n, 1);
    for (int i = 0; i < n && i <= fst.ana_cadjb.degree; i++)
        b.data[i] = fst.ana_cadjb.coef[i];
    matrix x = msolve(M, b);
    bool solved = x.rows == n;
    if (solved)
        for (int i = 0; i < n; i++) {
            o.C.data[i] = x.data[i];
            if (!std::isfinite(x.data[i]))
                solved = false;
        }
    o.D = fst.ana_ss.D;
    freem(&M);
    freem(&b);
    freem(&x);
    freevector(&r);
    if (!solved) {
        // a C of zeros would silently realise H = D
        free_ss(&o);
        error("orthogonal: the output vector cannot be determined");
        return ss{};
    }
    return o;
}

ss transpose_ss(const ss &s)
{
    if (s.n < 1)
        return ss{};
    ss r;
    r.n = s.n;
    r.A = transpose(s.A);
    r.B = transpose(s.C);
    r.C = transpose(s.B);
    r.D = s.D;
    return r;
}

void transform_k(const matrix &T, matrix *K)
{
    if (K->cols == 0)
        return;
    matrix Ti = minv(T);
    matrix Tit = transpose(Ti);
    matrix KTit = mmul(*K, Tit);
    matrix nk = mmul(Ti, KTit);
    freem(&Ti);
    freem(&Tit);
    freem(&KTit);
    freem(K);
    *K = nk;
}

void transform_w(const matrix &T, matrix *W)
{
    if (W->cols == 0)
        return;
    matrix Tt = transpose(T);
    matrix WT = mmul(*W, T);
    matrix nw = mmul(Tt, WT);
    freem(&Tt);
    freem(&WT);
    freem(W);
    *W = nw;
}
