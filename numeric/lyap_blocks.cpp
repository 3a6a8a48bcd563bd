// Lyapunov equations block by block, refined, with entrywise error bounds.
#include "numeric/lyap_blocks.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "numeric/alloc.h"
#include "numeric/block_eigen.h"
#include "numeric/lapack.h"
#include "numeric/matrix.h"

namespace {

using entry = lyap_plan::entry;

const double eps = DBL_EPSILON / 2;  // the unit roundoff
const double inf = std::numeric_limits<double>::infinity();

std::size_t at(int i, int j, int rows)
{
    return static_cast<std::size_t>(j) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i);
}

bool finite_all(const double *x, std::size_t k)
{
    for (std::size_t i = 0; i < k; i++)
        if (!std::isfinite(x[i]))
            return false;
    return true;
}

// a b as the exact sum p + e.
inline void two_prod(double a, double b, double &p, double &e)
{
    p = a * b;
    e = std::fma(a, b, -p);
}

// a + b as the exact sum s + e.
inline void two_sum(double a, double b, double &s, double &e)
{
    s = a + b;
    double bb = s - a;
    e = (a - (s - bb)) + (b - bb);
}

// hi + lo += a b, with the error of every step kept in lo: the sum is that
// of twice the working precision.
inline void add_product(double &hi, double &lo, double a, double b)
{
    double p, pe, s, se;
    two_prod(a, b, p, pe);
    two_sum(hi, p, s, se);
    hi = s;
    lo += se + pe;
}

// The sign of p s - q r without a rounding error that could change it.
double det2_sign(double p, double q, double r, double s)
{
    // Scaled by a power of 2 (exactly) so that the products neither
    // overflow nor underflow: a lowpass of 1e200 has a determinant of 1e400.
    double big = std::max(std::max(std::fabs(p), std::fabs(q)), std::max(std::fabs(r), std::fabs(s)));
    if (big == 0.0 || !std::isfinite(big))
        return big == 0.0 ? 0.0 : std::nan("");
    int e = std::ilogb(big);
    p = std::scalbn(p, -e);
    q = std::scalbn(q, -e);
    r = std::scalbn(r, -e);
    s = std::scalbn(s, -e);
    double a, ae, b, be;
    two_prod(p, s, a, ae);
    two_prod(q, r, b, be);
    double h = a - b;  // exact when a and b are within a factor 2 (their difference is then small)
    double v = h + (ae - be);
    return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0);
}

pole_verdict worse(pole_verdict a, pole_verdict b)
{
    // a pole known to lie on the wrong side outranks one on the axis, which
    // outranks one that cannot be placed
    auto rank = [](pole_verdict v) {
        return v == poles_right ? 3 : v == poles_axis ? 2 : v == poles_unresolved ? 1 : 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

// Where the poles of the diagonal block b (Schur form t, m x m; entries of M
// in the places of the block in blk) lie.
pole_verdict block_poles(const std::vector<double> &t, const std::vector<double> &blk, int m)
{
    if (m == 1) {
        double x = blk[0];
        return x < 0 ? poles_stable : x > 0 ? poles_right : poles_axis;
    }
    if (m == 2) {
        // stable exactly when the trace is negative and the determinant
        // positive; the trace is one rounded sum, whose sign is exact
        double tr = blk[0] + blk[3];
        double det = det2_sign(blk[0], blk[2], blk[1], blk[3]);
        if (tr > 0 || det < 0)
            return poles_right;
        if (tr < 0 && det > 0)
            return poles_stable;
        return poles_axis;
    }
    // the eigenvectors of T give each pole's reciprocal condition number s;
    // the pole is then known to within the precision times ||T|| / s
    std::vector<double> vl(static_cast<std::size_t>(m) * m), vr(vl.size()), work(3 * static_cast<std::size_t>(m));
    std::vector<double> s(m), sep(m);
    std::vector<int> select(m, 1), iwork(1);
    int mm = m, mout = 0, info = 0, ldwork = 1;
    dtrevc_("B", "A", select.data(), &m, t.data(), &m, vl.data(), &m, vr.data(), &m, &mm, &mout, work.data(),
            &info, 1, 1);
    if (info != 0)
        return poles_unresolved;
    dtrsna_("E", "A", select.data(), &m, t.data(), &m, vl.data(), &m, vr.data(), &m, s.data(), sep.data(),
            &mm, &mout, work.data(), &ldwork, iwork.data(), &info, 1, 1);
    if (info != 0)
        return poles_unresolved;
    double norm = 0.0;
    for (double x : t)
        norm = std::hypot(norm, x);
    pole_verdict v = poles_stable;
    for (int k = 0; k < m; k++) {
        double re = t[at(k, k, m)];
        double bound = s[k] > 0 ? 64.0 * m * eps * norm / s[k] : inf;
        if (re > bound)
            v = worse(v, poles_right);
        else if (re >= -bound)
            v = worse(v, bound <= 1e-6 * norm ? poles_axis : poles_unresolved);
    }
    return v;
}

// y := op1(z1) y op2(z2) for an m1 x m2 array y, z1 m1 x m1 and z2 m2 x m2.
void transform(int m1, int m2, const double *z1, const char *t1, double *y, const double *z2, const char *t2)
{
    const double one = 1.0, zero = 0.0;
    std::vector<double> w(static_cast<std::size_t>(m1) * m2);
    dgemm_(t1, "N", &m1, &m2, &m1, &one, z1, &m1, y, &m1, &zero, w.data(), &m1, 1, 1);
    dgemm_("N", t2, &m1, &m2, &m2, &one, w.data(), &m1, z2, &m2, &zero, y, &m1, 1, 1);
}

// The solution of the equation of the pair of diagonal blocks (bi, bj) with
// the right-hand side r (mi x mj, overwritten by the solution Y):
//   M_ii^T Y + Y M_jj + r = 0  (W form),   M_ii Y + Y M_jj^T + r = 0  (K form).
bool pair_solve(const lyap_plan &p, int bi, int bj, bool k_form, double *r)
{
    const int mi = p.start[bi + 1] - p.start[bi], mj = p.start[bj + 1] - p.start[bj];
    const std::size_t sz = static_cast<std::size_t>(mi) * mj;
    for (std::size_t k = 0; k < sz; k++)
        r[k] = -r[k];
    // l_i + l_j within the rounding of the two Schur forms of 0: singular,
    // or so nearly that the solution means nothing (the library's own test
    // is at the rounding of the entries, which a pair a few ulps off the axis
    // passes)
    const double tol = 64.0 * eps * (p.norm[bi] + p.norm[bj]);
    for (int a = 0; a < mi; a++)
        for (int b = 0; b < mj; b++) {
            const int u = p.start[bi] + a, v = p.start[bj] + b;
            if (std::hypot(p.wr[u] + p.wr[v], p.wi[u] + p.wi[v]) <= tol)
                return false;
        }
    double scale = 1.0;
    int info = 0;
    if (bi == bj) {
        // the Lyapunov equation of one block, on its Schur form
        for (int j = 0; j < mi; j++)
            for (int i = 0; i < j; i++)
                r[at(i, j, mi)] = r[at(j, i, mi)] = 0.5 * (r[at(i, j, mi)] + r[at(j, i, mi)]);
        std::vector<double> t = p.t[bi], z = p.z[bi], wr(mi), wi(mi);
        std::vector<int> iwork(sz);
        const int ldwork = std::max(2 * static_cast<int>(sz), 3 * mi) + 8;
        std::vector<double> dwork(ldwork);
        double sep = 0.0, ferr = 0.0;
        sb03md_("C", "X", "F", k_form ? "T" : "N", &mi, t.data(), &mi, z.data(), &mi, r, &mi, &scale, &sep,
                &ferr, wr.data(), wi.data(), iwork.data(), dwork.data(), &ldwork, &info, 1, 1, 1, 1);
    } else {
        const std::vector<double> &zi = p.z[bi], &zj = p.z[bj];
        transform(mi, mj, zi.data(), "T", r, zj.data(), "N");
        const int isgn = 1;
        dtrsyl_(k_form ? "N" : "T", k_form ? "T" : "N", &isgn, &mi, &mj, p.t[bi].data(), &mi, p.t[bj].data(),
                &mj, r, &mi, &scale, &info, 1, 1);
        if (info == 0 && scale == 1.0)
            transform(mi, mj, zi.data(), "N", r, zj.data(), "T");
    }
    // info 1 or N + 1: the two blocks have poles l_i + l_j at or near 0, and
    // the library perturbed them; a scale below 1 guards against overflow
    return info == 0 && scale == 1.0 && finite_all(r, sz);
}

// Numbers of twice the working precision (hi + lo, |lo| at most half an
// ulp of hi), for the block substitution of a cascade.
struct dd {
    double hi, lo;
    dd(double h = 0.0, double l = 0.0) : hi(h), lo(l) {}
};

inline dd renorm(double s, double e)
{
    double h = s + e;
    return dd{h, e - (h - s)};
}

inline dd operator+(dd a, dd b)
{
    double s, e, t, f;
    two_sum(a.hi, b.hi, s, e);
    two_sum(a.lo, b.lo, t, f);
    dd r = renorm(s, e + t);
    return renorm(r.hi, r.lo + f);
}

inline dd operator-(dd a) { return dd{-a.hi, -a.lo}; }
inline dd operator-(dd a, dd b) { return a + (-b); }

inline dd operator*(dd a, dd b)
{
    double p, e;
    two_prod(a.hi, b.hi, p, e);
    return renorm(p, e + (a.hi * b.lo + a.lo * b.hi));
}

inline dd operator/(dd a, dd b)
{
    double q1 = a.hi / b.hi;
    dd r = a - b * dd{q1, 0.0};
    double q2 = r.hi / b.hi;
    r = r - b * dd{q2, 0.0};
    double q3 = r.hi / b.hi;
    return dd{q1, 0.0} + dd{q2, 0.0} + dd{q3, 0.0};
}

// The pair (bi, bj) of blocks of one or two places in twice the working
// precision: the (mi mj) x (mi mj) system of
//   M_ii^T Y + Y M_jj = -r  (W form),   M_ii Y + Y M_jj^T = -r  (K form)
// by elimination with partial pivoting; r is overwritten by Y.
bool pair_solve_dd(const lyap_plan &p, const std::vector<double> &mdiag, int bi, int bj, bool k_form, dd *r)
{
    const int si = p.start[bi], mi = p.start[bi + 1] - si;
    const int sj = p.start[bj], mj = p.start[bj + 1] - sj;
    const int n = p.n, k = mi * mj;
    auto m = [&](int i, int j) { return mdiag[at(i, j, n)]; };  // M within the diagonal blocks
    dd g[4][5];
    for (int j = 0; j < mj; j++)
        for (int i = 0; i < mi; i++) {
            const int row = j * mi + i;  // column-major place of Y(i, j)
            for (int c = 0; c < k; c++)
                g[row][c] = dd{};
            g[row][k] = -r[row];
            for (int t = 0; t < mi; t++)  // (M_ii^T Y)(i, j) = sum_t M(t, i) Y(t, j); K form M(i, t)
                g[row][j * mi + t] = g[row][j * mi + t] + dd{k_form ? m(si + i, si + t) : m(si + t, si + i), 0.0};
            for (int t = 0; t < mj; t++)  // (Y M_jj)(i, j) = sum_t Y(i, t) M(t, j); K form M(j, t)
                g[row][t * mi + i] = g[row][t * mi + i] + dd{k_form ? m(sj + j, sj + t) : m(sj + t, sj + j), 0.0};
        }
    for (int c = 0; c < k; c++) {
        int piv = c;
        for (int i = c + 1; i < k; i++)
            if (std::fabs(g[i][c].hi) > std::fabs(g[piv][c].hi))
                piv = i;
        if (!(g[piv][c].hi != 0.0))
            return false;
        if (piv != c)
            for (int t = 0; t <= k; t++)
                std::swap(g[c][t], g[piv][t]);
        for (int i = c + 1; i < k; i++) {
            dd f = g[i][c] / g[c][c];
            for (int t = c; t <= k; t++)
                g[i][t] = g[i][t] - f * g[c][t];
        }
    }
    for (int c = k - 1; c >= 0; c--) {
        dd v = g[c][k];
        for (int t = c + 1; t < k; t++)
            v = v - g[c][t] * r[t];
        r[c] = v / g[c][c];
        if (!std::isfinite(r[c].hi))
            return false;
    }
    // l_i + l_j near 0 within the rounding of the block entries: refused as
    // the solver of a larger block refuses it
    double big = 0.0, small = inf;
    for (int c = 0; c < k; c++) {
        big = std::max(big, std::fabs(g[c][c].hi));
        small = std::min(small, std::fabs(g[c][c].hi));
    }
    return small > 64.0 * eps * big;
}

// X (places, n x n) with L(X) + q = 0, block by block, in the arithmetic of
// Num (double, or dd for twice the working precision); solve_pair(bi, bj, r)
// solves the equation of a pair of diagonal blocks in place. The W form runs
// from the last block up, the K form from the first down: M is block lower
// triangular, so each pair needs only the pairs solved before it.
template <class Num, class Pair>
bool substitute(const lyap_plan &p, const double *q, bool k_form, std::vector<Num> &X, Pair solve_pair)
{
    const int n = p.n;
    const int nb = static_cast<int>(p.start.size()) - 1;
    X.assign(static_cast<std::size_t>(n) * n, Num());
    std::vector<Num> r;
    for (int s = 0; s < nb; s++) {
        const int bi = k_form ? s : nb - 1 - s;
        const int si = p.start[bi], mi = p.start[bi + 1] - si;
        for (int u = 0; u <= bi; u++) {
            const int bj = k_form ? u : bi - u;
            const int sj = p.start[bj], mj = p.start[bj + 1] - sj;
            r.assign(static_cast<std::size_t>(mi) * mj, Num());
            for (int j = 0; j < mj; j++)
                for (int i = 0; i < mi; i++)
                    r[at(i, j, mi)] = Num(q[at(si + i, sj + j, n)]);
            // K form: the sum over earlier blocks k of M_ik X_kj + X_ik M_jk^T,
            // from the entries left of the blocks; W form: over later blocks of
            // M_ki^T X_kj + X_ik M_kj, from the entries below them. own is the
            // place of an entry in the block, other the place it couples to.
            const std::vector<std::vector<entry>> &couplings = k_form ? p.left : p.below;
            auto own = [k_form](const entry &e) { return k_form ? e.r : e.c; };
            auto other = [k_form](const entry &e) { return k_form ? e.c : e.r; };
            for (const entry &e : couplings[bi])
                for (int j = 0; j < mj; j++)
                    r[at(own(e) - si, j, mi)] = r[at(own(e) - si, j, mi)] + X[at(other(e), sj + j, n)] * Num(e.v);
            for (const entry &e : couplings[bj])
                for (int i = 0; i < mi; i++)
                    r[at(i, own(e) - sj, mi)] = r[at(i, own(e) - sj, mi)] + X[at(si + i, other(e), n)] * Num(e.v);
            if (!solve_pair(bi, bj, r.data()))
                return false;
            for (int j = 0; j < mj; j++)
                for (int i = 0; i < mi; i++)
                    X[at(si + i, sj + j, n)] = X[at(sj + j, si + i, n)] = r[at(i, j, mi)];
        }
    }
    return true;
}

bool block_solve_double(const lyap_plan &p, const double *q, bool k_form, double *x)
{
    std::vector<double> X;
    if (!substitute(p, q, k_form, X, [&](int bi, int bj, double *r) { return pair_solve(p, bi, bj, k_form, r); }))
        return false;
    std::copy(X.begin(), X.end(), x);
    return true;
}

// The substitution for a plan whose blocks have one or two places (a
// cascade of sections): every sum and every pair in twice the working
// precision, the solution rounded at the end (its low parts in x_lo when
// given). The substitution of a cascade of high order cancels many digits
// (the Gramian of chebyshev(100, 1) spans 45 decades), which the extra
// precision absorbs.
bool block_solve_dd(const lyap_plan &p, const double *q, bool k_form, double *x, double *x_lo = nullptr)
{
    const int n = p.n;
    const std::size_t nn = static_cast<std::size_t>(n) * n;
    std::vector<double> mdiag(nn, 0.0);
    for (const entry &e : p.all)
        mdiag[at(e.r, e.c, n)] = e.v;
    std::vector<dd> X;
    if (!substitute(p, q, k_form, X,
                    [&](int bi, int bj, dd *r) { return pair_solve_dd(p, mdiag, bi, bj, k_form, r); }))
        return false;
    for (std::size_t k = 0; k < nn; k++) {
        x[k] = X[k].hi + X[k].lo;
        if (x_lo)
            x_lo[k] = X[k].lo - (x[k] - X[k].hi);
    }
    return finite_all(x, nn);
}

// The solver of the plan: in twice the working precision for blocks of one
// or two places, otherwise by the Schur forms of the blocks.
bool block_solve(const lyap_plan &p, const double *q, bool k_form, double *x)
{
    return p.largest <= 2 ? block_solve_dd(p, q, k_form, x) : block_solve_double(p, q, k_form, x);
}

// r := L(x + xl) + q, each entry with the accuracy of twice the working
// precision before it is rounded: x + xl is the solution kept in twice the
// working precision (xl its low parts), L(x) = M x + x M^T (K form) or
// M^T x + x M (W form), with P = M x (or M^T x) and L(x) = P + P^T.
void residual(const lyap_plan &p, const double *x, const double *xl, const double *q, bool k_form, double *r)
{
    const int n = p.n;
    const std::size_t nn = static_cast<std::size_t>(n) * n;
    std::vector<double> hi(nn, 0.0), lo(nn, 0.0);
    for (int j = 0; j < n; j++) {
        double *h = hi.data() + at(0, j, n), *l = lo.data() + at(0, j, n);
        const double *xj = x + at(0, j, n), *xlj = xl + at(0, j, n);
        for (const entry &e : p.all) {
            const int to = k_form ? e.r : e.c, from = k_form ? e.c : e.r;
            add_product(h[to], l[to], e.v, xj[from]);
            l[to] += e.v * xlj[from];
        }
    }
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double s, se, t, te;
            two_sum(hi[at(i, j, n)], hi[at(j, i, n)], s, se);
            two_sum(s, q[at(i, j, n)], t, te);
            r[at(i, j, n)] = t + (te + se + lo[at(i, j, n)] + lo[at(j, i, n)]);
        }
}

// The size of a correction against the solution: max |d_ij| over the
// largest |x_ij|. A solution whose entries span many decades (a cascade of
// high order) has small entries that no solver in double precision resolves;
// their errors show in their own bounds, while the refinement converges on
// the large ones.
double level(const std::vector<double> &d, const std::vector<double> &x)
{
    double dm = 0.0, xm = 0.0;
    for (std::size_t k = 0; k < d.size(); k++) {
        dm = std::max(dm, std::fabs(d[k]));
        xm = std::max(xm, std::fabs(x[k]));
    }
    return dm == 0.0 ? 0.0 : xm > 0.0 ? dm / xm : inf;
}

// Refinement of x (places) in place; err (places) gets the bounds. The
// corrections d_k shrink by a factor rho each step when the solver is a
// contraction; the error left after the last is about rho/(1 - rho) times
// it. Two corrections at least: the bound of an entry is ten times the
// larger of its last correction and rho times the one before, so that an
// entry the solver does not resolve, whose corrections are rounding noise
// of about its error, is not taken as known when the last one happens to be
// small.
bool refine_places(const lyap_plan &p, const std::vector<double> &q, bool k_form, std::vector<double> &x,
                   std::vector<double> &err, const std::vector<double> *x_lo = nullptr)
{
    const std::size_t nn = static_cast<std::size_t>(p.n) * p.n;
    const int min_steps = 2, max_steps = 5;
    // a correction this small is the rounding of the largest entries; one
    // below 1e-10 that shrank by half is trusted
    const double floor_level = 64.0 * eps, trusted_level = 1e-10, quick_level = 1e-12;
    // The solution is kept in twice the working precision while it is
    // refined (xl holds the low parts): rounded to double at every step, a
    // Gramian whose equation is far from normal would stop at the solution of
    // the residual its rounding leaves, which can be far from the true one
    // while the corrections look small.
    std::vector<double> r(nn), d(nn), last(nn, 0.0), xl = x_lo ? *x_lo : std::vector<double>(nn, 0.0);
    auto rounded = [&] {
        for (std::size_t k = 0; k < nn; k++)
            x[k] += xl[k];
    };
    double prev = inf, rho = 0.0;
    for (int step = 1; step <= max_steps; step++) {
        residual(p, x.data(), xl.data(), q.data(), k_form, r.data());
        for (std::size_t k = 0; k < nn; k++)
            r[k] = -r[k];
        if (!block_solve(p, r.data(), k_form, d.data()))
            return false;
        double l = level(d, x);
        if (!(l <= prev) && !(prev <= 4.0 * floor_level))
            return false;  // growing (or not a number) above the rounding: no contraction
        for (std::size_t k = 0; k < nn; k++) {
            double h, e;
            two_sum(x[k], -d[k], h, e);
            x[k] = h;
            xl[k] += e;
        }
        if (step > 1)
            rho = prev > 0.0 ? std::min(l / prev, 1.0) : 0.0;
        // A solver on the Schur form of a large block whose first correction
        // is already tiny is taken at its word after one step, with every
        // entry bounded by the whole correction (no entry can then pass for
        // known by a small correction of its own): each step costs a solve
        // of O(n^3) there.
        bool at_once = step == 1 && p.largest > 2 && l <= quick_level;
        bool done = at_once || (step >= min_steps && (l <= floor_level || (l <= trusted_level && rho <= 0.5)));
        if (done || step == max_steps) {
            rounded();
            if (!done && !(rho < 0.9))
                return false;
            // At the rounding level the corrections are noise and need no
            // factor; above it the error left is rho/(1 - rho) of the last.
            // An entry the solver does not resolve has corrections of the
            // size of its error, not a bound of it: they are taken ten times.
            bool noise = l <= floor_level;
            double f = 10.0 * (!noise && rho > 0.5 ? rho / (1.0 - rho) : 1.0);
            double whole = 0.0;
            if (at_once)
                for (std::size_t k = 0; k < nn; k++)
                    whole = std::max(whole, std::fabs(d[k]));
            err.assign(nn, 0.0);
            for (std::size_t k = 0; k < nn; k++)
                err[k] = f * std::max({std::fabs(d[k]), rho * std::fabs(last[k]), whole}) +
                         4.0 * eps * std::fabs(x[k]);
            // a Gramian's diagonal is not negative: one below 0 by more than
            // its bound shows that the bounds are not true
            for (int i = 0; i < p.n; i++)
                if (x[at(i, i, p.n)] + err[at(i, i, p.n)] < 0.0)
                    return false;
            return true;
        }
        prev = l;
        last.swap(d);
    }
    return false;
}

// A right-hand side or a solution in places: Qb = D^-1 P^T Q P D^-1 (K
// form) or D P^T Q P D, and the solution likewise.
std::vector<double> to_places(const lyap_plan &p, const matrix &m, bool k_form)
{
    const int n = p.n;
    std::vector<double> out(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double f = k_form ? 1.0 / (p.d[i] * p.d[j]) : p.d[i] * p.d[j];
            out[at(i, j, n)] = m.data[at(p.order[i], p.order[j], n)] * f;
        }
    return out;
}

// A solution in places back in the original order and scale: X = D Xb D
// (K form) or D^-1 Xb D^-1, permuted back.
matrix from_places(const lyap_plan &p, const std::vector<double> &xb, bool k_form)
{
    const int n = p.n;
    matrix x = newm(n, n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double f = k_form ? p.d[i] * p.d[j] : 1.0 / (p.d[i] * p.d[j]);
            x.data[at(p.order[i], p.order[j], n)] = xb[at(i, j, n)] * f;
        }
    return x;
}

bool usable(const lyap_plan &p, const matrix &m)
{
    return p.n >= 1 && m.rows == p.n && m.cols == p.n && m.data &&
           finite_all(m.data, static_cast<std::size_t>(p.n) * p.n);
}

// True when the diagonal block k is proved stable by Lyapunov's theorem: the
// solution P of M_kk^T P + P M_kk + I = 0, refined and with its error
// bounds, is positive definite with a margin that covers them. This decides
// a block whose poles are too ill-conditioned to be placed one by one (the
// tridiagonal ladder of a Butterworth filter of high order, whose computed
// poles move by more than their distance to the axis).
bool lyapunov_certifies(const lyap_plan &p, int k)
{
    const int s = p.start[k], m = p.start[k + 1] - s;
    lyap_plan b;
    b.n = m;
    b.largest = m;
    b.start = {0, m};
    b.order.resize(m);
    for (int i = 0; i < m; i++)
        b.order[i] = i;
    b.d.assign(m, 1.0);
    for (const entry &e : p.all)
        if (e.r >= s && e.r < s + m && e.c >= s && e.c < s + m)
            b.all.push_back(entry{e.r - s, e.c - s, e.v});
    b.below.assign(1, {});
    b.left.assign(1, {});
    b.t = {p.t[k]};
    b.z = {p.z[k]};
    b.norm = {p.norm[k]};
    b.wr.assign(p.wr.begin() + s, p.wr.begin() + s + m);
    b.wi.assign(p.wi.begin() + s, p.wi.begin() + s + m);
    const std::size_t mm = static_cast<std::size_t>(m) * m;
    std::vector<double> q(mm, 0.0), x(mm), err;
    for (int i = 0; i < m; i++)
        q[at(i, i, m)] = 1.0;
    if (!block_solve(b, q.data(), false, x.data()) || !refine_places(b, q, false, x, err))
        return false;
    // P - tau I positive definite, tau the Frobenius norm of the error bounds
    // and the rounding of the Cholesky factorisation
    double e2 = 0.0, x2 = 0.0;
    for (std::size_t i = 0; i < mm; i++) {
        e2 += err[i] * err[i];
        x2 += x[i] * x[i];
    }
    double tau = std::sqrt(e2) + 4.0 * (m + 1) * eps * std::sqrt(x2);
    for (int i = 0; i < m; i++)
        x[at(i, i, m)] -= tau;
    int info = 0;
    dpotrf_("L", &m, x.data(), &m, &info, 1);
    return info == 0;
}

bool make_plan(const matrix &a, lyap_plan *p)
{
    const int n = a.rows;
    // balancing by powers of 2 (exact, and it keeps the zero entries)
    matrix b = mcopy(a);
    std::vector<double> scale(n, 1.0);
    int ilo = 1, ihi = n, info = 0;
    dgebal_("S", &n, b.data, &n, &ilo, &ihi, scale.data(), &info, 1);
    if (info != 0) {
        mcopy_into(a, b);
        scale.assign(n, 1.0);
    }
    block_order bo = irreducible_blocks(b);
    p->n = n;
    p->order = bo.order;
    p->start = bo.start;
    const int nb = static_cast<int>(p->start.size()) - 1;
    for (int k = 0; k < nb; k++)
        p->largest = std::max(p->largest, p->start[k + 1] - p->start[k]);
    std::vector<int> block_of(n);
    for (int k = 0; k < nb; k++)
        for (int i = p->start[k]; i < p->start[k + 1]; i++)
            block_of[i] = k;
    p->d.resize(n);
    for (int i = 0; i < n; i++)
        p->d[i] = scale[p->order[i]];
    p->below.assign(nb, {});
    p->left.assign(nb, {});
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double v = b.data[at(p->order[i], p->order[j], n)];
            if (v == 0.0)
                continue;
            entry e{i, j, v};
            p->all.push_back(e);
            if (block_of[i] > block_of[j]) {
                p->below[block_of[j]].push_back(e);
                p->left[block_of[i]].push_back(e);
            }
        }
    freem(&b);
    p->t.assign(nb, {});
    p->z.assign(nb, {});
    p->norm.assign(nb, 0.0);
    p->wr.assign(n, 0.0);
    p->wi.assign(n, 0.0);
    for (int k = 0; k < nb; k++) {
        const int s = p->start[k], m = p->start[k + 1] - s;
        std::vector<double> blk(static_cast<std::size_t>(m) * m);
        for (const entry &e : p->all)
            if (block_of[e.r] == k && block_of[e.c] == k)
                blk[at(e.r - s, e.c - s, m)] = e.v;
        std::vector<double> t = blk, z(blk.size(), 0.0);
        if (m == 1) {
            z[0] = 1.0;
            p->wr[s] = t[0];
        } else {
            std::vector<int> bwork(m);
            int sdim = 0, lwork = -1;
            double w0 = 0.0;
            dgees_("V", "N", nullptr, &m, t.data(), &m, &sdim, p->wr.data() + s, p->wi.data() + s, z.data(), &m,
                   &w0, &lwork, bwork.data(), &info, 1, 1);
            lwork = info == 0 && w0 >= 3 * m && w0 < 2e9 ? static_cast<int>(w0) : 3 * m + 8;
            std::vector<double> work(lwork);
            dgees_("V", "N", nullptr, &m, t.data(), &m, &sdim, p->wr.data() + s, p->wi.data() + s, z.data(), &m,
                   work.data(), &lwork, bwork.data(), &info, 1, 1);
            if (info != 0) {
                *p = lyap_plan();
                return false;
            }
        }
        double norm = 0.0;
        for (double v : t)
            norm = std::hypot(norm, v);
        p->norm[k] = norm;
        p->t[k] = std::move(t);
        p->z[k] = std::move(z);
        pole_verdict v = block_poles(p->t[k], blk, m);
        if (v == poles_unresolved && lyapunov_certifies(*p, k))
            v = poles_stable;
        p->poles = worse(p->poles, v);
    }
    return true;
}

// The plan of the matrix planned last, kept with a copy of its entries. One
// statement plans the same A several times (the check of a transform, the
// fresh solves of K and W and their existence tests: five times after a do),
// and the plan of a dense A of order 200 costs a tenth of a second (its Schur
// form and, where its poles cannot be placed by their condition, the proof of
// stability). The copy is bit for bit, so a plan handed back is the one that
// planning would make.
struct plan_memo {
    std::vector<double> key;  // the entries of A, column by column
    lyap_plan plan;
};

plan_memo &last_plan()
{
    static plan_memo memo;
    return memo;
}

// Orders below this plan faster than the copy of their key pays for.
const int memo_order = 16;

}  // namespace

bool lyap_plan_make(const matrix &a, lyap_plan *p)
{
    *p = lyap_plan();
    const int n = a.rows;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    if (n < 1 || a.cols != n || !a.data || !finite_all(a.data, nn))
        return false;
    plan_memo &memo = last_plan();
    const bool kept = n >= memo_order && memo.plan.n == n && memo.key.size() == nn &&
                      std::memcmp(memo.key.data(), a.data, nn * sizeof(double)) == 0;
    if (kept) {
        *p = memo.plan;
        return true;
    }
    if (!make_plan(a, p))
        return false;
    if (n >= memo_order) {
        memo.key.assign(a.data, a.data + nn);
        memo.plan = *p;
    }
    return true;
}

matrix lyap_plan_solve(const lyap_plan &p, const matrix &q, bool k_form, matrix *err)
{
    *err = null_matrix();
    if (!usable(p, q))
        return null_matrix();
    const std::size_t nn = static_cast<std::size_t>(p.n) * p.n;
    // the solution of the substitution in twice the working precision is
    // refined as it is: rounded first, its rounding would leave a residual
    // that a far-from-normal equation turns into errors far above it
    std::vector<double> qb = to_places(p, q, k_form), x(nn), lo(nn, 0.0), e;
    bool solved = p.largest <= 2 ? block_solve_dd(p, qb.data(), k_form, x.data(), lo.data())
                                 : block_solve_double(p, qb.data(), k_form, x.data());
    if (!solved)
        return null_matrix();
    std::vector<double> x0 = x;
    if (refine_places(p, qb, k_form, x, e, &lo))
        *err = from_places(p, e, k_form);
    else
        x = x0;
    return from_places(p, x, k_form);
}

bool lyap_plan_refine(const lyap_plan &p, const matrix &q, bool k_form, matrix &x, matrix *err)
{
    *err = null_matrix();
    if (!usable(p, q) || !usable(p, x))
        return false;
    // the given x in places, made symmetric: the corrections are symmetric,
    // so an antisymmetric part (the rounding of a transformation) would stay
    std::vector<double> xb = to_places(p, x, k_form), e;
    for (int j = 0; j < p.n; j++)
        for (int i = 0; i < j; i++)
            xb[at(i, j, p.n)] = xb[at(j, i, p.n)] = 0.5 * (xb[at(i, j, p.n)] + xb[at(j, i, p.n)]);
    if (!refine_places(p, to_places(p, q, k_form), k_form, xb, e))
        return false;
    matrix y = from_places(p, xb, k_form);
    mcopy_into(y, x);
    freem(&y);
    *err = from_places(p, e, k_form);
    return true;
}

matrix lyap_solve_refined(const matrix &a, const matrix &q, bool k_form, matrix *err)
{
    *err = null_matrix();
    lyap_plan p;
    if (!lyap_plan_make(a, &p))
        return null_matrix();
    return lyap_plan_solve(p, q, k_form, err);
}
