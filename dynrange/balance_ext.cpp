// Balancing of a filter with its Gramians, their factors and the singular
// values of the product in double-double arithmetic, and the balanced
// realisation by a similarity solved in MPFR.
//
// The second-order modes of a lowpass of high order fall off by some 0.65
// decades a mode (butterworth(36): 1.5e-24 of the largest). A mode below the
// rounding of the largest is lost in double: the factors and the singular
// vectors that belong to it are noise, and the realisation built from them is
// far from balanced (its dynamic range a few dB short of the optimum at order
// 36 already). Refined to double-double, the Gramians keep some 32 digits,
// and the modes down to about 1e-30 of the largest keep theirs.
#include "dynrange/balance_ext.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>


#include "dynrange/ddouble.h"
#include "dynrange/similarity_mp.h"
#include "numeric/alloc.h"
#include "numeric/matrix.h"

extern "C" {
void sb03md_(const char *dico, const char *job, const char *fact, const char *trana, const int *n,
             double *a, const int *lda, double *u, const int *ldu, double *c, const int *ldc,
             double *scale, double *sep, double *ferr, double *wr, double *wi, int *iwork,
             double *dwork, const int *ldwork, int *info, std::size_t, std::size_t, std::size_t,
             std::size_t);
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void dgesvd_(const char *jobu, const char *jobvt, const int *m, const int *n, double *a, const int *lda,
             double *s, double *u, const int *ldu, double *vt, const int *ldvt, double *work,
             const int *lwork, int *info, std::size_t, std::size_t);
}

namespace {

using ddouble::dd;

// An n x n column-major matrix of double-double numbers, zero.
struct ddm {
    int n;
    work_array<dd> w;
    explicit ddm(int n_) : n(n_), w(static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_), "double-double matrix")
    {
    }
    dd &operator()(int i, int j) { return w.p[static_cast<std::size_t>(j) * n + i]; }
    dd *col(int j) { return w.p + static_cast<std::size_t>(j) * n; }
};

dd dot(const dd *x, const dd *y, int n)
{
    dd s;
    for (int k = 0; k < n; k++)
        s = s + x[k] * y[k];
    return s;
}

// The inner product of the leading parts, in double.
double hi_dot(const dd *x, const dd *y, int n)
{
    double s = 0.0;
    for (int k = 0; k < n; k++)
        s += x[k].hi * y[k].hi;
    return s;
}

// The Lyapunov equations of A on its real Schur form, made once (SB03MD):
// K: A X + X A^T = -Q (trans_k), W: A^T X + X A = -Q.
struct schur_lyap {
    int n;
    std::size_t nn;
    work_array<double> s, u, wr, wi, dwork;
    work_array<int> iwork;
    int ldwork;
    bool made = false;
    explicit schur_lyap(int n_)
        : n(n_), nn(static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_)), s(nn), u(nn, "Schur vectors"),
          wr(static_cast<std::size_t>(n_)), wi(static_cast<std::size_t>(n_)),
          dwork(std::max<std::size_t>(2 * nn, 3 * static_cast<std::size_t>(n_)) + 8), iwork(nn),
          ldwork(static_cast<int>(std::max<std::size_t>(2 * nn, 3 * static_cast<std::size_t>(n_)) + 8))
    {
    }
    // x holds -Q on entry and X on return; false when the solver fails or,
    // the first time, when A is not stable.
    bool solve(const matrix &a, double *x, bool trans_k)
    {
        double scale = 1.0, sep = 0.0, ferr = 0.0;
        int info = 0;
        if (!made) {
            for (std::size_t k = 0; k < nn; k++)
                s.p[k] = a.data[k];
            sb03md_("C", "X", "N", trans_k ? "T" : "N", &n, s.p, &n, u.p, &n, x, &n, &scale, &sep, &ferr, wr.p,
                    wi.p, iwork.p, dwork.p, &ldwork, &info, 1, 1, 1, 1);
            if (info != 0)
                return false;
            for (int k = 0; k < n; k++)
                if (!(wr.p[k] < 0.0))
                    return false;
            made = true;
        } else {
            sb03md_("C", "X", "F", trans_k ? "T" : "N", &n, s.p, &n, u.p, &n, x, &n, &scale, &sep, &ferr, wr.p,
                    wi.p, iwork.p, dwork.p, &ldwork, &info, 1, 1, 1, 1);
            if (info != 0)
                return false;
        }
        if (!(scale > 0.0))
            return false;
        for (std::size_t k = 0; k < nn; k++) {
            x[k] /= scale;
            if (!std::isfinite(x[k]))
                return false;
        }
        return true;
    }
};

struct entry {
    int row, col;
    double v;
};

// The Gramian K (trans_k, with b = B) or W (b = C^T) solved in double and
// refined: the residual A X + X A^T + b b^T (or A^T X + X A + b b^T) is
// formed in double-double over A's nonzero entries and its correction solved
// on the Schur form, until the residual is at the level of the rounding of
// X in double-double or stops falling.
bool refined_gramian(const matrix &a, const double *b, const entry *nz, std::size_t m, bool trans_k,
                     schur_lyap &sl, ddm &X)
{
    const int n = a.rows;
    const std::size_t nn = sl.nn;
    work_array<double> c(nn);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            c.p[static_cast<std::size_t>(j) * n + i] = -b[i] * b[j];
    if (!sl.solve(a, c.p, trans_k))
        return false;
    for (std::size_t k = 0; k < nn; k++)
        X.w.p[k] = {c.p[k], 0.0};
    ddm Y(n);
    double last = INFINITY;
    for (int it = 0; it < 6; it++) {
        for (std::size_t k = 0; k < nn; k++)
            Y.w.p[k] = {};
        // Y = A X (K) or A^T X (W)
        for (std::size_t e = 0; e < m; e++) {
            int dst = trans_k ? nz[e].row : nz[e].col, src = trans_k ? nz[e].col : nz[e].row;
            double v = nz[e].v;
            for (int j = 0; j < n; j++)
                Y(dst, j) = Y(dst, j) + X(src, j) * v;
        }
        double rmax = 0.0, xmax = 0.0;
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++) {
                dd r = Y(i, j) + Y(j, i) + ddouble::two_prod(b[i], b[j]);
                double rd = ddouble::to_double(r);
                c.p[static_cast<std::size_t>(j) * n + i] = -rd;
                rmax = std::max(rmax, std::fabs(rd));
                xmax = std::max(xmax, std::fabs(X(i, j).hi));
            }
        if (!std::isfinite(rmax) || rmax <= 1e-30 * xmax || rmax >= 0.5 * last)
            break;
        last = rmax;
        // the correction solves the equation with the residual as its
        // constant term; symmetric up to the rounding of the residual
        if (!sl.solve(a, c.p, trans_k))
            return false;
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++) {
                double d = 0.5 * (c.p[static_cast<std::size_t>(j) * n + i] + c.p[static_cast<std::size_t>(i) * n + j]);
                X(i, j) = X(i, j) + d;
            }
    }
    return true;
}

// F with X = F F^T by Cholesky's method with diagonal pivoting: F = P L,
// L lower triangular. A pivot below 1e-30 of the largest diagonal entry of X
// (the rounding of X in double-double, where X is nearly singular) is taken
// as that level, so F stays regular. Row-major L for the inner products.
void pivoted_factor(ddm &X, ddm &F)
{
    const int n = X.n;
    const std::size_t N = static_cast<std::size_t>(n);
    work_array<dd> L(N * N, "double-double matrix"), d(N);
    work_array<int> perm(N);
    double top = 0.0;
    for (int i = 0; i < n; i++) {
        perm.p[i] = i;
        d.p[i] = X(i, i);
        top = std::max(top, d.p[i].hi);
    }
    const double floor = 1e-30 * top;
    auto l = [&](int i, int j) -> dd & { return L.p[static_cast<std::size_t>(i) * N + j]; };
    for (int k = 0; k < n; k++) {
        int p = k;
        for (int i = k + 1; i < n; i++)
            if (d.p[i].hi > d.p[p].hi)
                p = i;
        if (p != k) {
            std::swap(perm.p[k], perm.p[p]);
            std::swap(d.p[k], d.p[p]);
            for (int j = 0; j < k; j++)
                std::swap(l(k, j), l(p, j));
        }
        dd dk = d.p[k].hi > floor ? d.p[k] : dd{floor, 0.0};
        dd r = ddouble::dd_sqrt(dk);
        dd inv = dd{1.0, 0.0} / r;
        l(k, k) = r;
        const dd *rk = &l(k, 0);
        for (int i = k + 1; i < n; i++) {
            dd s = X(perm.p[i], perm.p[k]) - dot(&l(i, 0), rk, k);
            dd v = s * inv;
            l(i, k) = v;
            d.p[i] = d.p[i] - v * v;
        }
    }
    for (int i = 0; i < n; i++)
        for (int j = 0; j <= i; j++)
            F(perm.p[i], j) = l(i, j);
}

// The right singular vectors of M rounded to double (dgesvd), column-major
// n x n into v.
bool right_vectors(ddm &M, double *v)
{
    const int n = M.n;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    work_array<double> md(nn), sv(static_cast<std::size_t>(n)), vt(nn, "singular vectors");
    auto load = [&]() {
        for (std::size_t k = 0; k < nn; k++)
            md.p[k] = M.w.p[k].hi;
    };
    int lwork = -1, info = 0, one = 1;
    double w0 = 0.0, u0 = 0.0;
    load();
    dgesvd_("N", "A", &n, &n, md.p, &n, sv.p, &u0, &one, vt.p, &n, &w0, &lwork, &info, 1, 1);
    lwork = info == 0 && w0 >= 5 * n && w0 < 2e9 ? static_cast<int>(w0) : 5 * n + 8;
    work_array<double> work(static_cast<std::size_t>(lwork));
    load();
    dgesvd_("N", "A", &n, &n, md.p, &n, sv.p, &u0, &one, vt.p, &n, work.p, &lwork, &info, 1, 1);
    if (info != 0)
        return false;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            v[static_cast<std::size_t>(j) * n + i] = vt.p[static_cast<std::size_t>(i) * n + j];
    return true;
}

// M P = Q R by Householder reflections with column pivoting; X := R^T
// (lower triangular), perm := P (column k of M P is column perm[k] of M).
// The pivoting grades R, so that the Jacobi sweeps on R^T below converge in
// a few sweeps also where the singular values span 30 decades.
void pivoted_qr(ddm &M, ddm &X, int *perm)
{
    const int n = M.n;
    work_array<dd> v(static_cast<std::size_t>(n));
    for (int j = 0; j < n; j++)
        perm[j] = j;
    for (int k = 0; k < n; k++) {
        int p = k;
        dd best;
        for (int j = k; j < n; j++) {
            dd c = dot(M.col(j) + k, M.col(j) + k, n - k);
            if (j == k || c.hi > best.hi) {
                best = c;
                p = j;
            }
        }
        if (p != k) {
            std::swap(perm[k], perm[p]);
            for (int i = 0; i < n; i++)
                std::swap(M(i, k), M(i, p));
        }
        dd *x = M.col(k) + k;
        const int m = n - k;
        dd norm = ddouble::dd_sqrt(best);
        if (norm.hi == 0.0)
            continue;
        dd alpha = x[0].hi > 0.0 ? -norm : norm;
        for (int i = 0; i < m; i++)
            v.p[i] = x[i];
        v.p[0] = v.p[0] - alpha;
        dd vv = dot(v.p, v.p, m);
        dd f = dd{2.0, 0.0} / vv;
        for (int j = k + 1; j < n; j++) {
            dd *y = M.col(j) + k;
            dd g = dot(v.p, y, m) * f;
            for (int i = 0; i < m; i++)
                y[i] = y[i] - g * v.p[i];
        }
        x[0] = alpha;
        for (int i = 1; i < m; i++)
            x[i] = dd{};
    }
    for (int j = 0; j < n; j++)
        for (int i = 0; i <= j; i++)
            X(j, i) = M(i, j);
}

// One-sided Jacobi on the columns of X: afterwards X W (W orthogonal, not
// kept) has mutually orthogonal columns, whose norms are the singular values
// of X, and X W = Z, normalised, are the right singular vectors of X^T.
bool jacobi_columns(ddm &X)
{
    const int n = X.n;
    // columns orthogonal to 1e-13 of their norms leave the balanced
    // Gramians off diagonal by as little relative to their modes; the
    // inner product of the leading parts in double, within 2.5 n eps of
    // the norms, settles most pairs without the double-double one
    const double tol = 1e-13, screen = tol - 2.5 * n * 1.12e-16;
    work_array<dd> a(static_cast<std::size_t>(n));
    for (int j = 0; j < n; j++)
        a.p[j] = dot(X.col(j), X.col(j), n);
    for (int sweep = 0; sweep < 40; sweep++) {
        bool rotated = false;
        for (int i = 0; i + 1 < n; i++)
            for (int j = i + 1; j < n; j++) {
                double bound = std::sqrt(a.p[i].hi * a.p[j].hi);
                if (screen > 0.0 && std::fabs(hi_dot(X.col(i), X.col(j), n)) <= screen * bound)
                    continue;
                dd g = dot(X.col(i), X.col(j), n);
                if (std::fabs(g.hi) <= tol * std::sqrt(a.p[i].hi * a.p[j].hi))
                    continue;
                rotated = true;
                dd zeta = (a.p[j] - a.p[i]) / (g * 2.0);
                dd t;
                if (std::fabs(zeta.hi) > 1e100)
                    t = dd{0.5, 0.0} / zeta;
                else {
                    dd root = ddouble::dd_sqrt(zeta * zeta + 1.0);
                    t = dd{zeta.hi < 0.0 ? -1.0 : 1.0, 0.0} / (ddouble::dd_abs(zeta) + root);
                }
                dd c = dd{1.0, 0.0} / ddouble::dd_sqrt(t * t + 1.0);
                dd s = c * t;
                dd *x = X.col(i), *y = X.col(j);
                for (int k = 0; k < n; k++) {
                    dd xi = x[k], yj = y[k];
                    x[k] = c * xi - s * yj;
                    y[k] = s * xi + c * yj;
                }
                a.p[i] = dot(x, x, n);
                a.p[j] = dot(y, y, n);
            }
        if (!rotated)
            return true;
    }
    return false;
}

// The bits for the similarity by T (th, rounded to double): 53 for the
// result and 24 beyond the binary orders that the pivots of T's LU
// factorisation in double span (about log2 of its condition), in whole
// limbs; 128 at least.
int similarity_bits(const double *th, int n)
{
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    work_array<double> lu(nn);
    work_array<int> ipiv(static_cast<std::size_t>(n));
    for (std::size_t k = 0; k < nn; k++)
        lu.p[k] = th[k];
    int info = 0;
    dgetrf_(&n, &n, lu.p, &n, ipiv.p, &info);
    double big = 0.0, small = INFINITY;
    for (int k = 0; k < n; k++) {
        double d = std::fabs(lu.p[static_cast<std::size_t>(k) * n + k]);
        big = std::max(big, d);
        small = std::min(small, d);
    }
    int spread = small > 0.0 && big > 0.0 ? static_cast<int>(std::ceil(std::log2(big / small))) : 64;
    int bits = std::max(128, 53 + 24 + spread + 8);
    return (bits + 63) / 64 * 64;
}

bool finite_dd(ddm &m)
{
    for (std::size_t k = 0; k < static_cast<std::size_t>(m.n) * m.n; k++)
        if (!std::isfinite(m.w.p[k].hi) || !std::isfinite(m.w.p[k].lo))
            return false;
    return true;
}

}  // namespace

void free_balanced(balanced_filter *b)
{
    free_ss(&b->filter);
    freem(&b->sigma);
    freem(&b->T);
}

bool balance_extended(const ss &s, balanced_filter *out)
{
    const int n = s.n;
    if (n < 1 || s.A.rows != n || s.A.cols != n)
        return false;
    const std::size_t N = static_cast<std::size_t>(n), nn = N * N;
    for (std::size_t k = 0; k < nn; k++)
        if (!std::isfinite(s.A.data[k]))
            return false;
    for (int i = 0; i < n; i++)
        if (!std::isfinite(s.B.data[i]) || !std::isfinite(s.C.data[i]))
            return false;
    work_array<entry> nz(nn);
    std::size_t m = 0;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            if (s.A.data[static_cast<std::size_t>(j) * N + i] != 0.0)
                nz.p[m++] = {i, j, s.A.data[static_cast<std::size_t>(j) * N + i]};

    schur_lyap sl(n);
    ddm K(n), Wg(n);
    if (!refined_gramian(s.A, static_cast<const double *>(s.B.data), nz.p, m, true, sl, K) ||
        !refined_gramian(s.A, static_cast<const double *>(s.C.data), nz.p, m, false, sl, Wg))
        return false;
    // a state that the input never reaches, or that never reaches the
    // output, has a zero mode: no balancing (the other route says so)
    for (int i = 0; i < n; i++)
        if (!(K(i, i).hi > 0.0) || !(Wg(i, i).hi > 0.0))
            return false;
    ddm F(n), G(n);  // K = F F^T, W = G G^T
    pivoted_factor(K, F);
    pivoted_factor(Wg, G);
    // M = G^T F
    ddm M(n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            M(i, j) = dot(G.col(i), F.col(j), n);
    if (!finite_dd(M))
        return false;

    // V0 the right singular vectors of M in double; M V0 P = Q R and
    // R^T Wr = Z with orthogonal columns: M V0 = Q Wr S Zn^T P^T, Zn = Z S^-1,
    // so that V = V0 P Zn are the right singular vectors of M. V0 settles
    // the largest modes (which a lowpass has in clusters that Jacobi
    // sweeps alone resolve slowly), the pivoting grades the rest.
    work_array<double> v0(nn, "singular vectors");
    if (!right_vectors(M, v0.p))
        return false;
    ddm X(n);
    {
        ddm MV(n);
        for (int j = 0; j < n; j++) {
            dd *x = MV.col(j);
            for (int k = 0; k < n; k++) {
                double v = v0.p[static_cast<std::size_t>(j) * N + k];
                const dd *mk = M.col(k);
                for (int i = 0; i < n; i++)
                    x[i] = x[i] + mk[i] * v;
            }
        }
        work_array<int> perm(N);
        pivoted_qr(MV, X, perm.p);
        // V0 P: column k is column perm[k] of V0
        ddm V(n);
        for (int k = 0; k < n; k++)
            for (int i = 0; i < n; i++)
                V(i, k) = {v0.p[static_cast<std::size_t>(perm.p[k]) * N + i], 0.0};
        for (std::size_t k = 0; k < nn; k++)
            MV.w.p[k] = {};
        // F V0 P, the factor that the Jacobi's Z completes below
        for (int j = 0; j < n; j++) {
            dd *y = MV.col(j);
            for (int m2 = 0; m2 < n; m2++) {
                dd v = V(m2, j);
                const dd *fm = F.col(m2);
                for (int i = 0; i < n; i++)
                    if (fm[i].hi != 0.0)
                        y[i] = y[i] + fm[i] * v;
            }
        }
        for (std::size_t k = 0; k < nn; k++)
            F.w.p[k] = MV.w.p[k];
    }
    if (!finite_dd(X) || !jacobi_columns(X) || !finite_dd(X))
        return false;

    // the modes, ascending; T = F V S^-1/2 = (F V0 P) Z S^-3/2 in that order
    std::vector<dd> sig(N);
    std::vector<int> order(N);
    for (int j = 0; j < n; j++) {
        sig[j] = ddouble::dd_sqrt(dot(X.col(j), X.col(j), n));
        if (!(sig[j].hi > 0.0) || !std::isfinite(sig[j].hi))
            return false;
    }
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int p, int q) { return sig[p].hi < sig[q].hi; });
    ddm T(n);
    for (int k = 0; k < n; k++) {
        int j = order[k];
        dd f = dd{1.0, 0.0} / (sig[j] * ddouble::dd_sqrt(sig[j]));
        dd *t = T.col(k);
        for (int m2 = 0; m2 < n; m2++) {
            dd v = X(m2, j) * f;
            const dd *fm = F.col(m2);  // F V0 P by now
            for (int i = 0; i < n; i++)
                if (fm[i].hi != 0.0)
                    t[i] = t[i] + fm[i] * v;
        }
    }
    if (!finite_dd(T))
        return false;

    work_array<double> th(nn), tl(nn);
    for (std::size_t k = 0; k < nn; k++) {
        th.p[k] = T.w.p[k].hi;
        tl.p[k] = T.w.p[k].lo;
    }
    ss r;
    int bits = similarity_bits(th.p, n), need = 0;
    bool ok = false;
    for (int tries = 0; tries < 4 && !ok; tries++) {
        ok = similarity_exact(s, th.p, tl.p, bits, &r, &need);
        if (!ok) {
            if (need <= bits || need > 4096)
                return false;
            bits = need;
        }
    }
    if (!ok)
        return false;
    // the sign of each state so that T^-1 B >= 0: an exact change of sign
    // of a row and a column of A
    for (int k = 0; k < n; k++) {
        if (!(r.B.data[k] < 0.0))
            continue;
        for (int j = 0; j < n; j++) {
            r.A.data[static_cast<std::size_t>(j) * N + k] = -r.A.data[static_cast<std::size_t>(j) * N + k];
            r.A.data[static_cast<std::size_t>(k) * N + j] = -r.A.data[static_cast<std::size_t>(k) * N + j];
        }
        r.B.data[k] = -r.B.data[k];
        r.C.data[k] = -r.C.data[k];
        for (int i = 0; i < n; i++)
            th.p[static_cast<std::size_t>(k) * N + i] = -th.p[static_cast<std::size_t>(k) * N + i];
    }
    out->filter = r;
    out->sigma = newm(n, 1);
    for (int k = 0; k < n; k++)
        out->sigma.data[k] = ddouble::to_double(sig[order[k]]);
    out->T = newm(n, n);
    for (std::size_t k = 0; k < nn; k++)
        out->T.data[k] = th.p[k];
    return true;
}
