#include "filter/transfer.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "filter/analysis.h"
#include "base/error.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/efficiency.h"
#include "numeric/lapack.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"

transfer_state tst;

namespace {

// jwI - Hs factored at one frequency (Hs the Hessenberg form of A of the
// analysis filter, A = Q Hs Q^T), with the solves that the evaluators have
// asked for at that frequency. Every response at one frequency (H, its
// delay, F, G and their delays, the sensitivities, the dynamic-range
// figures) shares the factors and the solves: the point is kept until the
// frequency or the analysis data changes.
//
// Elimination with partial pivoting on a Hessenberg matrix touches two rows
// per step: O(n^2) for the factors and for each solve.
struct jw_point {
    unsigned generation = 0;
    bool valid = false;
    double w = 0.0;
    int n = 0;
    bool singular = false;          // w at a pole: the resolvent does not exist
    std::vector<complex> U;         // upper triangle, row-major: (i, j) at [i * n + j]
    std::vector<complex> rdiag;     // 1 / U(k, k)
    std::vector<complex> l;         // multiplier of elimination step k
    std::vector<unsigned char> swapped;  // step k swapped rows k and k + 1
    std::vector<int> reach;         // row k of U is zero beyond column reach[k]
    int nswaps = 0;
    // In the basis of A: f = F = R B, rf = R F, g = G^T = R^T C^T,
    // rg = R^T g (R = (jwI - A)^-1), so that H = C f + D, dH/dw = -j C rf,
    // dF/dw = -j rf, dG/dw = -j rg^T.
    std::vector<complex> f, rf, g, rg;
    bool have_f = false, have_rf = false, have_g = false, have_rg = false;
    std::vector<complex> b, t, r;  // scratch of the solves
    std::vector<complex> v;        // a response mapped by the similarity view
    // -Hs by rows, the start of every factorisation of this analysis data
    std::vector<complex> neg_h;
    std::vector<int> neg_h_reach;  // its last non-zero column in each row (at least the diagonal)
    unsigned neg_h_generation = 0;
    bool neg_h_valid = false;
};

// The F of the analysis copy at a set of frequencies, kept for the peak
// searches, which come back to the same grid and walk.
struct f_table {
    unsigned generation = 0;
    std::vector<double> w;
    std::vector<complex> f;       // F at w[j] from f[j * n]
    std::vector<char> singular;   // w[j] at a pole
};
const int kept_tables = 2;  // the grid and the walk

// F of the analysis copy at the frequencies last asked for one element: the
// refinements of the peak searches start every component's bracket, and
// every candidate's under a similarity view, from the same points. Direct
// mapped by the bits of w; up to 16384 frequencies in at most some 4 MB.
struct f_memo {
    // Only the used flags are cleared: a slot's other entries are read once
    // its flag is set, so a change of order costs no filling of megabytes of
    // which a session may use a few slots.
    template <class T>
    using block = std::unique_ptr<T[]>;
    template <class T>
    static block<T> uninitialised(size_t count)
    {
        T *p = new (std::nothrow) T[count];
        check_alloc(p, "frequency memo");
        return block<T>(p);
    }
    static block<char> cleared(size_t count)
    {
        char *p = new (std::nothrow) char[count]();
        check_alloc(p, "frequency memo");
        return block<char>(p);
    }
    int n = 0;
    int bits = 0;       // 2^bits slots
    int most_bits = 0;  // the size it may grow to for this order
    size_t filled = 0;  // slots taken since it was made
    block<double> w;
    block<unsigned> generation;
    block<char> used;
    block<complex> f;  // slot k from f[k * n]
};
}  // namespace

// The values that the evaluators keep for a context, found by its stamps.
struct freq_memo {
    jw_point pt;  // the factors at the last frequency
    f_table tables[kept_tables];
    int next_table = 0;
    f_memo memo;
};

namespace {

freq_memo &memo_of(analysis_ctx &a)
{
    if (!a.memo)
        a.memo = std::make_shared<freq_memo>();
    return *a.memo;
}


// The similarity view is set for the analysis copy.
bool view_on(analysis_ctx &a) { return a.view_T.cols != 0 && a.view_T.cols == a.ana_ss.n; }

// Element i of T^-1 z: the F side of the view.
inline complex view_f_elem(analysis_ctx &a, const complex *z, int n, int i)
{
    const double *Ti = a.view_Ti.data;
    complex s{0.0, 0.0};
    for (int k = 0; k < n; k++) {
        s.re += Ti[k * n + i] * z[k].re;
        s.im += Ti[k * n + i] * z[k].im;
    }
    return s;
}

// Element i of T^T z: the G side of the view (G = G0 T, as a column).
inline complex view_g_elem(analysis_ctx &a, const complex *z, int n, int i)
{
    const double *ti = a.view_T.data + i * n;  // column i of T
    complex s{0.0, 0.0};
    for (int k = 0; k < n; k++) {
        s.re += ti[k] * z[k].re;
        s.im += ti[k] * z[k].im;
    }
    return s;
}

// z as the view sees it (into out), or z itself without a view.
const complex *viewed(analysis_ctx &a, const std::vector<complex> &z, int n, bool g_side, std::vector<complex> &out)
{
    if (!view_on(a))
        return z.data();
    out.resize(n);
    for (int i = 0; i < n; i++)
        out[i] = g_side ? view_g_elem(a, z.data(), n, i) : view_f_elem(a, z.data(), n, i);
    return out.data();
}

// |re| + |im|, the pivoting measure of LAPACK.
inline double cabs1(complex z) { return std::fabs(z.re) + std::fabs(z.im); }

// x / y. Where |y|^2 could overflow or underflow, by Smith's scaling.
inline complex cdiv(complex x, complex y)
{
    double a = cabs1(y);
    if (a > 1e-150 && a < 1e150) {
        double f = 1.0 / (y.re * y.re + y.im * y.im);
        return complex{(x.re * y.re + x.im * y.im) * f, (x.im * y.re - x.re * y.im) * f};
    }
    if (std::fabs(y.re) >= std::fabs(y.im)) {
        double r = y.im / y.re, d = y.re + y.im * r;
        return complex{(x.re + x.im * r) / d, (x.im - x.re * r) / d};
    }
    double r = y.re / y.im, d = y.re * r + y.im;
    return complex{(x.re * r + x.im) / d, (x.im * r - x.re) / d};
}

// x - m y
inline complex cnmsub(complex x, complex m, complex y)
{
    return complex{x.re - (m.re * y.re - m.im * y.im), x.im - (m.re * y.im + m.im * y.re)};
}

void factor_point(analysis_ctx &a, double w)
{
    jw_point &p = memo_of(a).pt;
    int n = a.ana_ss.n;
    p.valid = true;
    p.generation = a.ana_generation;
    p.w = w;
    p.n = n;
    p.singular = false;
    p.nswaps = 0;
    p.have_f = p.have_rf = p.have_g = p.have_rg = false;
    if (n < 1)
        return;  // no integrators: H is the direct term alone
    if (p.U.size() != (size_t)n * n) {
        p.U.assign((size_t)n * n, complex{0.0, 0.0});
        p.rdiag.resize(n);
        p.l.resize(n);
        p.swapped.resize(n);
        p.reach.resize(n);
    }
    if (!p.neg_h_valid || p.neg_h_generation != a.ana_generation || p.neg_h.size() != (size_t)n * n) {
        const double *H = a.hess_A.data;
        p.neg_h.assign((size_t)n * n, complex{0.0, 0.0});
        p.neg_h_reach.assign(n, 0);
        for (int i = 0; i < n; i++) {
            p.neg_h_reach[i] = i;
            for (int j = i > 0 ? i - 1 : 0; j < n; j++) {
                p.neg_h[i * n + j] = complex{-H[j * n + i], 0.0};
                if (H[j * n + i] != 0.0)
                    p.neg_h_reach[i] = std::max(p.neg_h_reach[i], j);
            }
        }
        p.neg_h_valid = true;
        p.neg_h_generation = a.ana_generation;
    }
    complex *U = p.U.data();
    // -Hs + jwI; the elimination never reads below the subdiagonal, nor the
    // eliminated subdiagonal again.
    std::copy(p.neg_h.begin(), p.neg_h.end(), U);
    std::fill(p.swapped.begin(), p.swapped.end(), 0);
    for (int i = 0; i < n; i++)
        U[i * n + i].im = w;
    // U(k, k) as the elimination leaves it is carried in hand: each step
    // waits for it (the pivot choice, the multiplier), and the next one for
    // the element that the update makes next to it.
    // A banded Hs (a ladder, a cascade of sections) keeps its band: rows k
    // and k + 1 are zero beyond the farther of their last non-zero columns,
    // and so is each of them after the step, which is not carried beyond it.
    complex diag = U[0];
    int reach = p.neg_h_reach[0];
    for (int k = 0; k + 1 < n; k++) {
        complex *rk = U + k * n, *rk1 = U + (k + 1) * n;
        complex sub = rk1[k];
        bool sw = cabs1(sub) > cabs1(diag);
        rk[k] = diag;
        reach = std::max(reach, p.neg_h_reach[k + 1]);
        p.reach[k] = reach;
        if (sw) {
            for (int j = k; j <= reach; j++)
                std::swap(rk[j], rk1[j]);
            p.swapped[k] = 1;
            p.nswaps++;
        }
        complex piv = sw ? sub : diag, low = sw ? diag : sub;
        if (piv.re == 0.0 && piv.im == 0.0) {
            // the whole column is zero from row k on
            p.l[k] = complex{0.0, 0.0};
            p.singular = true;
            diag = rk1[k + 1];
            continue;
        }
        complex m = cdiv(low, piv);
        p.l[k] = m;
        diag = cnmsub(rk1[k + 1], m, rk[k + 1]);
        rk1[k + 1] = diag;
        for (int j = k + 2; j <= reach; j++)
            rk1[j] = cnmsub(rk1[j], m, rk[j]);
    }
    p.reach[n - 1] = n - 1;
    for (int k = 0; k < n; k++) {
        complex d = U[k * n + k];
        if (d.re == 0.0 && d.im == 0.0)
            p.singular = true;
        else
            p.rdiag[k] = cdiv(complex{1.0, 0.0}, d);
    }
}

// The factors at w, made afresh unless the last point is at the same w
// (bit for bit: -0 and +0 differ in the signs of zero results) for the
// same analysis data.
jw_point &point_at(analysis_ctx &a, double w)
{
    jw_point &pt = memo_of(a).pt;
    if (!pt.valid || pt.generation != a.ana_generation
        || std::memcmp(&pt.w, &w, sizeof w) != 0)
        factor_point(a, w);
    return pt;
}

// M z = b in place (M = jwI - Hs, from the factors). Both solves keep the
// value that the next step waits for in hand, and the back substitution
// adds the term of the element just found last: the steps of a solve
// depend on each other, so its time is the length of that chain.
void solve_n(const jw_point &p, complex *z)
{
    int n = p.n;
    if (n < 1)
        return;
    complex cur = z[0];
    for (int k = 0; k + 1 < n; k++) {
        complex next = z[k + 1];
        if (p.swapped[k])
            std::swap(cur, next);
        z[k] = cur;
        cur = cnmsub(next, p.l[k], cur);
    }
    z[n - 1] = cur;
    const complex *U = p.U.data();
    for (int i = n - 1; i >= 0; i--) {
        const complex *ri = U + i * n;
        complex sum = z[i];
        for (int j = p.reach[i]; j > i; j--)
            sum = cnmsub(sum, ri[j], z[j]);
        z[i] = cmul(sum, p.rdiag[i]);
    }
}

// M^T z = c in place: U^T first, then the elimination steps backwards.
void solve_t(const jw_point &p, complex *z)
{
    int n = p.n;
    if (n < 1)
        return;
    const complex *U = p.U.data();
    complex next = z[0];
    for (int i = 0; i < n; i++) {
        complex zi = cmul(next, p.rdiag[i]);
        z[i] = zi;
        const complex *ri = U + i * n;
        if (i + 1 < n)
            next = cnmsub(z[i + 1], ri[i + 1], zi);
        for (int j = i + 2; j < n; j++)
            z[j] = cnmsub(z[j], ri[j], zi);
    }
    complex cur = z[n - 1];
    for (int k = n - 2; k >= 0; k--) {
        complex a = cnmsub(z[k], p.l[k], cur);
        if (p.swapped[k]) {
            z[k + 1] = a;
        } else {
            z[k + 1] = cur;
            cur = a;
        }
    }
    z[0] = cur;
}

// t := Q^T z.
void to_hess(analysis_ctx &a, const complex *z, int n, complex *t)
{
    const double *Q = a.hess_Q.data;
    for (int i = 0; i < n; i++) {
        const double *qi = Q + i * n;  // column i of Q
        complex s{0.0, 0.0};
        for (int k = 0; k < n; k++) {
            s.re += qi[k] * z[k].re;
            s.im += qi[k] * z[k].im;
        }
        t[i] = s;
    }
}

// z := Q t.
void from_hess(analysis_ctx &a, const complex *t, int n, complex *z)
{
    const double *Q = a.hess_Q.data;
    for (int i = 0; i < n; i++)
        z[i] = complex{0.0, 0.0};
    for (int k = 0; k < n; k++) {
        const double *qk = Q + k * n;
        complex tk = t[k];
        for (int i = 0; i < n; i++) {
            z[i].re += qk[i] * tk.re;
            z[i].im += qk[i] * tk.im;
        }
    }
}

// The orthogonal basis change leaves a solution accurate in norm, but not
// element by element: elements far below the largest, and the zero
// couplings of a sparse A, which elimination on A itself would keep, are
// lost in the rounding of the others. So the solution is refined against A
// once where A is sparse, and (up to twice) while its elements, the
// structural zeros left out, span more than this factor.
const double spread_limit = 1e3;

bool wide_spread(const complex *z, int n, const std::vector<char> &zero)
{
    double big = 0.0, small = INFINITY;
    for (int i = 0; i < n; i++) {
        if (zero[i])
            continue;
        double a = cabs1(z[i]);
        big = std::max(big, a);
        small = std::min(small, a);
    }
    return big > spread_limit * small;
}

bool all_finite(const complex *z, int n)
{
    for (int i = 0; i < n; i++)
        if (!std::isfinite(z[i].re) || !std::isfinite(z[i].im))
            return false;
    return true;
}

// r := b - M z with M = jwI - A, or its transpose.
void residual(analysis_ctx &a, double w, bool trans, const complex *b, const complex *z, int n, complex *r)
{
    const double *A = a.ana_ss.A.data;
    for (int i = 0; i < n; i++)
        r[i] = complex{b[i].re + w * z[i].im, b[i].im - w * z[i].re};
    if (trans) {
        for (int i = 0; i < n; i++) {
            const double *ai = A + i * n;  // column i of A, row i of A^T
            complex s{0.0, 0.0};
            for (int k = 0; k < n; k++) {
                s.re += ai[k] * z[k].re;
                s.im += ai[k] * z[k].im;
            }
            r[i].re += s.re;
            r[i].im += s.im;
        }
    } else {
        for (int k = 0; k < n; k++) {
            const double *ak = A + k * n;
            complex zk = z[k];
            for (int i = 0; i < n; i++) {
                r[i].re += ak[i] * zk.re;
                r[i].im += ak[i] * zk.im;
            }
        }
    }
}

// z := M^-1 b (M^-T b when trans) in the basis of A, through the Hessenberg
// factors; bh, when given, is Q^T b. The structural zeros are set to 0.
void solve_states(analysis_ctx &a, jw_point &p, bool trans, const complex *b, const double *bh, complex *z)
{
    int n = p.n;
    // M = Q (jwI - Hs)^T Q^T when Hs is the form of A^T
    bool hess_trans = trans != (a.hess_transposed != 0);
    const std::vector<char> &zero = trans ? a.ana_unobserved : a.ana_unreached;
    std::vector<complex> &t = p.t, &r = p.r;
    t.resize(n);
    r.resize(n);
    if (a.hess_plain) {
        // Q = I: the elimination runs on A (or A^T) itself
        std::copy(b, b + n, z);
        hess_trans ? solve_t(p, z) : solve_n(p, z);
        for (int i = 0; i < n; i++)
            if (zero[i])
                z[i] = complex{0.0, 0.0};
        return;
    }
    if (bh)
        for (int i = 0; i < n; i++)
            t[i] = complex{bh[i], 0.0};
    else
        to_hess(a, b, n, t.data());
    hess_trans ? solve_t(p, t.data()) : solve_n(p, t.data());
    from_hess(a, t.data(), n, z);
    for (int i = 0; i < n; i++)
        if (zero[i])
            z[i] = complex{0.0, 0.0};
    for (int step = 0; step < 2 && ((step == 0 && a.hess_sparse) || wide_spread(z, n, zero)); step++) {
        residual(a, p.w, trans, b, z, n, r.data());
        // Near the top of the range of doubles the residual can overflow
        // where the solution does not: the solution stands unrefined.
        if (!all_finite(r.data(), n))
            break;
        to_hess(a, r.data(), n, t.data());
        hess_trans ? solve_t(p, t.data()) : solve_n(p, t.data());
        from_hess(a, t.data(), n, r.data());
        for (int i = 0; i < n; i++)
            if (!zero[i]) {
                z[i].re += r[i].re;
                z[i].im += r[i].im;
            }
    }
}

// F = R B.
const std::vector<complex> &f_of(analysis_ctx &a, jw_point &p)
{
    if (!p.have_f) {
        int n = p.n;
        p.f.resize(n);
        p.b.resize(n);
        for (int i = 0; i < n; i++)
            p.b[i] = complex{a.ana_ss.B.data[i], 0.0};
        solve_states(a, p, false, p.b.data(), a.hess_B.data, p.f.data());
        p.have_f = true;
    }
    return p.f;
}

// R F = R^2 B.
const std::vector<complex> &rf_of(analysis_ctx &a, jw_point &p)
{
    if (!p.have_rf) {
        p.rf.resize(p.n);
        solve_states(a, p, false, f_of(a, p).data(), nullptr, p.rf.data());
        p.have_rf = true;
    }
    return p.rf;
}

// G^T = R^T C^T.
const std::vector<complex> &g_of(analysis_ctx &a, jw_point &p)
{
    if (!p.have_g) {
        int n = p.n;
        p.g.resize(n);
        p.b.resize(n);
        for (int i = 0; i < n; i++)
            p.b[i] = complex{a.ana_ss.C.data[i], 0.0};
        solve_states(a, p, true, p.b.data(), a.hess_C.data, p.g.data());
        p.have_g = true;
    }
    return p.g;
}

// R^T G^T = (C R^2)^T.
const std::vector<complex> &rg_of(analysis_ctx &a, jw_point &p)
{
    if (!p.have_rg) {
        p.rg.resize(p.n);
        solve_states(a, p, true, g_of(a, p).data(), nullptr, p.rg.data());
        p.have_rg = true;
    }
    return p.rg;
}

// C z.
complex out_of(analysis_ctx &a, const std::vector<complex> &z, int n)
{
    complex s{0.0, 0.0};
    const double *c = a.ana_ss.C.data;
    for (int i = 0; i < n; i++) {
        s.re += c[i] * z[i].re;
        s.im += c[i] * z[i].im;
    }
    return s;
}

// z, or -j z, into a new r x c matrix.
cmatrix response_matrix(const complex *z, int r, int c, bool mj)
{
    cmatrix m = cnewm(r, c);
    for (int i = 0; i < r * c; i++)
        m.data[i] = mj ? complex{z[i].im, -z[i].re} : z[i];
    return m;
}

cmatrix infinite_cmatrix(int r, int c)
{
    cmatrix m = cnewm(r, c);
    for (int k = 0; k < r * c; k++)
        m.data[k] = complex{INFINITY, 0.0};
    return m;
}

complex infinite_value() { return complex{INFINITY, 0.0}; }

complex jmul(complex z) { return complex{-z.im, z.re}; }        // j z

// F (n x 1) or its derivative -j R F.
cmatrix f_or_df(analysis_ctx &a, double w, bool derivative)
{
    jw_point &p = point_at(a, w);
    int n = p.n;
    if (p.singular)
        return infinite_cmatrix(n, 1);
    return response_matrix(viewed(a, derivative ? rf_of(a, p) : f_of(a, p), n, false, p.v), n, 1, derivative);
}

// G (1 x n) or its derivative -j G R.
cmatrix g_or_dg(analysis_ctx &a, double w, bool derivative)
{
    jw_point &p = point_at(a, w);
    int n = p.n;
    if (p.singular)
        return infinite_cmatrix(1, n);
    return response_matrix(viewed(a, derivative ? rg_of(a, p) : g_of(a, p), n, true, p.v), 1, n, derivative);
}

const f_table &table_for(analysis_ctx &a, const std::vector<double> &w)
{
    freq_memo &km = memo_of(a);
    f_table *tables = km.tables;
    int &next_table = km.next_table;
    for (int i = 0; i < kept_tables; i++) {
        const f_table &t = tables[i];
        if (t.generation == a.ana_generation && t.w.size() == w.size() && !w.empty()
            && std::memcmp(t.w.data(), w.data(), w.size() * sizeof(double)) == 0)
            return t;
    }
    f_table &t = tables[next_table];
    next_table = (next_table + 1) % kept_tables;
    int n = a.ana_ss.n;
    t.generation = a.ana_generation;
    t.w = w;
    t.f.assign(w.size() * n, complex{0.0, 0.0});
    t.singular.assign(w.size(), 0);
    for (size_t j = 0; j < w.size(); j++) {
        jw_point &p = point_at(a, w[j]);
        if (p.singular) {
            t.singular[j] = 1;
            continue;
        }
        const std::vector<complex> &f = f_of(a, p);
        std::copy(f.begin(), f.end(), t.f.begin() + j * n);
    }
    return t;
}


// F at w (nullptr at a pole), from the memo or factored and kept there.
const complex *f_memo_at(analysis_ctx &a, double w)
{
    int n = a.ana_ss.n;
    f_memo &m = memo_of(a).memo;
    // Every search candidate has a context of its own and asks it for a few
    // frequencies, so the memo starts small and doubles (dropping what it
    // held: it is only a cache) when half its slots are taken, up to the
    // size its order allows.
    const bool grow = m.n == n && m.filled > ((size_t)1 << m.bits) / 2 && m.bits < m.most_bits;
    if (m.n != n || grow) {
        if (m.n != n) {
            m.n = n;
            m.most_bits = 8;
            while (m.most_bits < 14 && ((size_t)2 << m.most_bits) * n <= ((size_t)1 << 18))
                m.most_bits++;
            m.bits = std::min(m.most_bits, 8);
        } else {
            m.bits++;
        }
        m.filled = 0;
        size_t slots = (size_t)1 << m.bits;
        m.f.reset();
        m.w = f_memo::uninitialised<double>(slots);
        m.generation = f_memo::uninitialised<unsigned>(slots);
        m.used = f_memo::cleared(slots);
        m.f = f_memo::uninitialised<complex>(slots * n);
    }
    uint64_t key;
    std::memcpy(&key, &w, sizeof key);
    size_t k = (size_t)((key * 0x9e3779b97f4a7c15ULL) >> (64 - m.bits));
    complex *slot = m.f.get() + k * n;
    if (m.used[k] && m.generation[k] == a.ana_generation && std::memcmp(&m.w[k], &w, sizeof w) == 0)
        return slot;
    jw_point &p = point_at(a, w);
    if (p.singular)
        return nullptr;
    const std::vector<complex> &f = f_of(a, p);
    std::copy(f.begin(), f.end(), slot);
    m.filled += !m.used[k];
    m.used[k] = 1;
    m.w[k] = w;
    m.generation[k] = a.ana_generation;
    return slot;
}

}  // namespace

void set_similarity_view(analysis_ctx &a, matrix T, matrix Ti)
{
    a.view_T = T;
    a.view_Ti = Ti;
}

void clear_similarity_view(analysis_ctx &a)
{
    freem(&a.view_T);
    freem(&a.view_Ti);
}

complex f_elem_jw(analysis_ctx &a, double w, int k)
{
    const complex *f = f_memo_at(a, w);
    if (!f)
        return infinite_value();
    return view_on(a) ? view_f_elem(a, f, a.ana_ss.n, k) : f[k];
}

complex df_elem_jw(analysis_ctx &a, double w, int k)
{
    jw_point &p = point_at(a, w);
    if (p.singular)
        return infinite_value();
    const std::vector<complex> &rf = rf_of(a, p);
    complex z = view_on(a) ? view_f_elem(a, rf.data(), p.n, k) : rf[k];
    return complex{z.im, -z.re};
}

void f_sq_at(analysis_ctx &a, const std::vector<double> &w, std::vector<double> &sq)
{
    int n = a.ana_ss.n;
    sq.resize(w.size() * (n > 0 ? n : 0));
    if (n < 1 || w.empty())
        return;
    const f_table &t = table_for(a, w);
    bool view = view_on(a);
    for (size_t j = 0; j < w.size(); j++) {
        double *out = sq.data() + j * n;
        if (t.singular[j]) {
            std::fill(out, out + n, INFINITY);
            continue;
        }
        const complex *f = t.f.data() + j * n;
        for (int i = 0; i < n; i++)
            out[i] = cmod2(view ? view_f_elem(a, f, n, i) : f[i]);
    }
}

complex den_jw(analysis_ctx &a, double w)
{
    jw_point &p = point_at(a, w);
    if (p.singular)
        return complex{0.0, 0.0};
    complex d{1.0, 0.0};
    for (int i = 0; i < p.n; i++)
        d = cmul(d, p.U[i * p.n + i]);
    if (p.nswaps % 2)
        d = complex{-d.re, -d.im};
    return d;
}

// R = Q M^-1 Q^T, column by column.
cmatrix resolvent_jw(analysis_ctx &a, double w)
{
    jw_point &p = point_at(a, w);
    int n = p.n;
    if (p.singular)
        return infinite_cmatrix(n, n);
    cmatrix R = cnewm(n, n);
    std::vector<complex> e(n, complex{0.0, 0.0});
    for (int j = 0; j < n; j++) {
        e[j] = complex{1.0, 0.0};
        to_hess(a, e.data(), n, R.data + j * n);
        if (a.hess_transposed)
            solve_t(p, R.data + j * n);
        else
            solve_n(p, R.data + j * n);
        from_hess(a, R.data + j * n, n, e.data());
        std::copy(e.begin(), e.end(), R.data + j * n);
        std::fill(e.begin(), e.end(), complex{0.0, 0.0});
    }
    return R;
}

cmatrix adj_jw(analysis_ctx &a, double w)
{
    int n = a.ana_ss.n;
    complex d = den_jw(a, w);
    if (d.re == 0.0 && d.im == 0.0) {
        // At a pole the adjugate is still finite: take it from the
        // polynomial coefficients.
        cmatrix Z = cnewm(n, n);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                Z.data[j * n + i] = nmat_elem_jw(a, w, i, j);
        return Z;
    }
    cmatrix R = resolvent_jw(a, w);
    cmatrix Z = cscalem(d, R);
    cfreem(&R);
    return Z;
}

cmatrix resolvent2_jw(analysis_ctx &a, double w)
{
    cmatrix R = resolvent_jw(a, w);
    cmatrix R2 = cmmul(R, R);
    cfreem(&R);
    cmatrix Z = cscalem(complex{0.0, -1.0}, R2);
    cfreem(&R2);
    return Z;
}

cmatrix f_jw(analysis_ctx &a, double w)
{
    return f_or_df(a, w, false);
}

cmatrix df_jw(analysis_ctx &a, double w)
{
    return f_or_df(a, w, true);
}

cmatrix g_jw(analysis_ctx &a, double w)
{
    return g_or_dg(a, w, false);
}

cmatrix dg_jw(analysis_ctx &a, double w)
{
    return g_or_dg(a, w, true);
}

complex h_jw(analysis_ctx &a, double w)
{
    jw_point &p = point_at(a, w);
    if (p.singular)
        return infinite_value();
    complex h = out_of(a, f_of(a, p), p.n);
    h.re += a.ana_ss.D;
    return h;
}

// dH/dw = -j C R R B = -j C Q y.
complex dh_jw(analysis_ctx &a, double w)
{
    jw_point &p = point_at(a, w);
    if (p.singular) {
        // C times the infinite dF/dw
        complex d{0.0, 0.0};
        for (int i = 0; i < p.n; i++) {
            d.re += a.ana_ss.C.data[i] * INFINITY;
            d.im += a.ana_ss.C.data[i] * 0.0;
        }
        return d;
    }
    complex d = out_of(a, rf_of(a, p), p.n);
    return complex{d.im, -d.re};
}

double group_delay(complex z, complex dz)
{
    double d = z.re * z.re + z.im * z.im, num = z.im * dz.re - z.re * dz.im;
    if (std::isnormal(d) && std::isfinite(num))
        return num / d;
    // |z|^2 overflows or underflows: -Im(dz / z) by Smith's division, which
    // forms no squares (0 / 0 at a zero of z, as before).
    return -cdiv(dz, z).im;
}

double cmod_scaled(complex z)
{
    double s = z.re * z.re + z.im * z.im;
    return std::isnormal(s) ? std::sqrt(s) : std::hypot(z.re, z.im);
}

double cdb_scaled(complex z)
{
    double s = z.re * z.re + z.im * z.im;
    return std::isnormal(s) ? 10.0 * std::log10(s) : 20.0 * std::log10(std::hypot(z.re, z.im));
}

double delay_h(analysis_ctx &a, double w)
{
    return group_delay(h_jw(a, w), dh_jw(a, w));
}

matrix delay_f(analysis_ctx &a, double w, const cmatrix &F)
{
    int n = a.ana_ss.n;
    cmatrix dF = df_jw(a, w);
    matrix d = newm(1, n);
    for (int i = 0; i < n; i++)
        d.data[i] = group_delay(F.data[i], dF.data[i]);
    cfreem(&dF);
    return d;
}

matrix delay_g(analysis_ctx &a, double w, const cmatrix &G)
{
    int n = a.ana_ss.n;
    cmatrix dG = dg_jw(a, w);
    matrix d = newm(1, n);
    for (int i = 0; i < n; i++)
        d.data[i] = group_delay(G.data[i], dG.data[i]);
    cfreem(&dG);
    return d;
}

namespace {

// A sum of squares t_1^2 + t_2^2 + ... kept as scale^2 * ssq, so that terms
// whose squares overflow or underflow count whole (as LAPACK's dlassq).
struct scaled_sum {
    double scale = 0.0, ssq = 0.0;
    void add(double t)
    {
        t = std::fabs(t);
        if (t == 0.0)
            return;
        if (!(t <= scale)) {  // also the first term, and an infinite or NaN one
            double r = scale / t;
            ssq = 1.0 + ssq * r * r;
            scale = t;
        } else {
            double r = t / scale;
            ssq += r * r;
        }
    }
    double root() const { return scale * std::sqrt(ssq); }
};

// A plain sum of squares is kept where it is a normal double far from
// underflow: a term lost below it does not count. Elsewhere the scaled one
// is used, so the usual values are those of the plain formula.
bool plain_ok(double s)
{
    return std::isfinite(s) && s >= 1e-250;
}

}  // namespace

// The A, and under mode 1 the B and C, terms of the sensitivity of H to the
// coefficients, weighted by the squared coefficients unless abs: their sum
// *S, and the same as a scaled sum in *scaled; false at a pole.
static bool sens_sum(analysis_ctx &a, double w, int mode, bool weighted, complex *h_out, double *S_out, scaled_sum *scaled)
{
    const ss &s = a.ana_ss;
    int n = s.n;
    if (point_at(a, w).singular) {
        if (h_out)
            *h_out = infinite_value();
        *S_out = INFINITY;
        return false;
    }
    cmatrix F = f_jw(a, w);
    cmatrix G = g_jw(a, w);
    if (h_out)
        *h_out = h_jw(a, w);
    double S = 0.0;
    for (int i = 0; i < n; i++) {
        double gi = cmod2(G.data[i]);
        for (int j = 0; j < n; j++) {
            double a = s.A.data[j * n + i];
            double t = gi * cmod2(F.data[j]);
            S += weighted ? a * a * t : t;
        }
    }
    if (mode == 1) {
        for (int i = 0; i < n; i++) {
            double b = s.B.data[i], c = s.C.data[i];
            double gi = cmod2(G.data[i]), fi = cmod2(F.data[i]);
            S += weighted ? b * b * gi + c * c * fi : gi + fi;
        }
    }
    *S_out = S;
    if (!plain_ok(S)) {
        for (int i = 0; i < n; i++) {
            double gi = cmod_scaled(G.data[i]);
            for (int j = 0; j < n; j++) {
                double a = weighted ? s.A.data[j * n + i] : 1.0;
                scaled->add(a * gi * cmod_scaled(F.data[j]));
            }
        }
        if (mode == 1) {
            for (int i = 0; i < n; i++) {
                double b = weighted ? s.B.data[i] : 1.0, c = weighted ? s.C.data[i] : 1.0;
                scaled->add(b * cmod_scaled(G.data[i]));
                scaled->add(c * cmod_scaled(F.data[i]));
            }
        }
    }
    cfreem(&F);
    cfreem(&G);
    return true;
}

// sqrt of the sum, divided by |h| when h is given.
static double sens_root(analysis_ctx &a, double w, int mode, bool weighted, bool relative)
{
    complex h;
    double S;
    scaled_sum scaled;
    if (!sens_sum(a, w, mode, weighted, relative ? &h : nullptr, &S, &scaled))
        return relative ? std::sqrt(S / cmod2(h)) : std::sqrt(S);
    if (plain_ok(S)) {
        if (!relative)
            return std::sqrt(S);
        double h2 = cmod2(h);
        if (plain_ok(h2))
            return std::sqrt(S / h2);
        return std::sqrt(S) / cmod_scaled(h);
    }
    if (!relative)
        return scaled.root();
    return scaled.scale / cmod_scaled(h) * std::sqrt(scaled.ssq);
}

double relsens_jw(analysis_ctx &a, double w, int mode)
{
    return sens_root(a, w, mode, true, true);
}

double sens_jw(analysis_ctx &a, double w, int mode)
{
    return sens_root(a, w, mode, true, false);
}

double abssens_jw(analysis_ctx &a, double w, int mode)
{
    return sens_root(a, w, mode, false, false);
}

matrix w_to_identity(const matrix &W)
{
    matrix V, D;
    eigen(W, &V, &D);
    matrix Di = Misqrt(D);
    matrix T1 = mmul(V, Di);
    freem(&V);
    freem(&D);
    freem(&Di);
    return T1;
}

// W of the analysis filter's size: an undetermined (empty) W gives no figure.
static bool w_fits(analysis_ctx &a, const matrix &W)
{
    return a.ana_ss.n > 0 && W.rows == a.ana_ss.n && W.cols == a.ana_ss.n;
}

double dropfact(analysis_ctx &a, double w, const matrix &W, double eps, int renew)
{
    int n = a.ana_ss.n;
    if (!w_fits(a, W) && (tst.dropfact_T1.cols == 0 || renew != 0))
        return NAN;
    if (tst.dropfact_T1.cols == 0 || renew != 0) {
        freem(&tst.dropfact_T1);
        freem(&tst.dropfact_T1inv);
        tst.dropfact_T1 = w_to_identity(W);
        tst.dropfact_T1inv = minv(tst.dropfact_T1);
    }
    if (tst.dropfact_T1inv.cols != n)
        return NAN;
    cmatrix F = f_jw(a, w);
    complex h = h_jw(a, w);
    cmatrix X = cmmul_rc(tst.dropfact_T1inv, F);
    // Where the squares of X would overflow or underflow, X is taken to the
    // scale of 1 by a power of two 2^-e first: the eigenvalues scale by
    // 2^-2e, their roots by 2^-e, and the figure is a ratio of the two.
    double big = 0.0;
    for (int i = 0; i < n; i++)
        big = std::max({big, std::fabs(X.data[i].re), std::fabs(X.data[i].im)});
    int e = 0;
    if (std::isfinite(big) && big > 0.0 && (big > 0x1p400 || big < 0x1p-400))
        std::frexp(big, &e);
    for (int i = 0; e != 0 && i < n; i++)
        X.data[i] = complex{std::ldexp(X.data[i].re, -e), std::ldexp(X.data[i].im, -e)};
    matrix P = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            complex a = X.data[i], b = X.data[j];
            P.data[j * n + i] = a.re * b.re + a.im * b.im;
        }
    matrix l = ev(P);
    double bound = eps * l.data[n - 1];
    double S = 0.0;
    for (int k = 0; k < n; k++) {
        double lk = l.data[k];
        if (lk < 0.0) {
            if (lk < -bound)
                fprintf(stderr, "Warning in dropfact: eigenvalue %e negative beyond bound\n",
                        std::ldexp(lk, 2 * e));
            lk = 0.0;
        }
        S += std::sqrt(lk);
    }
    freem(&l);
    freem(&P);
    cfreem(&X);
    cfreem(&F);
    if (e == 0)
        return n * cmod2(h) / (S * S);
    double q = std::ldexp(cmod_scaled(h), -e) / S;
    return n * q * q;
}

// Largest |F_i|^2 and |H|^2 at w.
static void f_max_h(analysis_ctx &a, double w, double *m, double *h2, cmatrix *F_out)
{
    int n = a.ana_ss.n;
    cmatrix F = f_jw(a, w);
    complex h = h_jw(a, w);
    *m = 0.0;
    for (int i = 0; i < n; i++)
        if (cmod2(F.data[i]) > *m)
            *m = cmod2(F.data[i]);
    *h2 = cmod2(h);
    if (F_out)
        *F_out = F;
    else
        cfreem(&F);
}

// |H| / max_i |F_i| at w, from the moduli themselves: the squares of a
// figure whose squares overflow or underflow are formed only as the ratio.
static double h_over_f(analysis_ctx &a, double w)
{
    int n = a.ana_ss.n;
    cmatrix F = f_jw(a, w);
    double m = 0.0;
    for (int i = 0; i < n; i++)
        m = std::max(m, cmod_scaled(F.data[i]));
    cfreem(&F);
    return cmod_scaled(h_jw(a, w)) / m;
}

double drfact_jw(analysis_ctx &a, double w, const matrix &W)
{
    if (!w_fits(a, W))
        return NAN;
    double m, h2;
    f_max_h(a, w, &m, &h2, nullptr);
    if (plain_ok(m) && plain_ok(h2))
        return h2 / m / tr(W);
    double r = h_over_f(a, w);
    return r * (r / tr(W));
}

double drscfact_jw(analysis_ctx &a, double w, const matrix &W)
{
    if (!w_fits(a, W))
        return NAN;
    double m, h2;
    cmatrix F;
    f_max_h(a, w, &m, &h2, &F);
    int n = a.ana_ss.n;
    double s = 0.0;
    bool w_positive = true;
    for (int i = 0; i < n; i++) {
        s += cmod2(F.data[i]) * elem(W, i, i);
        w_positive = w_positive && elem(W, i, i) >= 0.0;
    }
    double r = h2 / s;
    if (w_positive && !(plain_ok(h2) && plain_ok(s))) {
        // |H|^2 / sum_i (|F_i| sqrt(W_ii))^2 as a ratio of moduli
        scaled_sum sum;
        for (int i = 0; i < n; i++)
            sum.add(cmod_scaled(F.data[i]) * std::sqrt(elem(W, i, i)));
        double q = cmod_scaled(h_jw(a, w)) / sum.scale;
        r = q * q / sum.ssq;
    }
    cfreem(&F);
    return r;
}

double dr_jw(analysis_ctx &a, double w, double noise, const matrix &W, double umax)
{
    if (!w_fits(a, W))
        return NAN;
    double m, h2;
    f_max_h(a, w, &m, &h2, nullptr);
    if (plain_ok(m) && plain_ok(h2))
        return h2 * umax * umax / m / noise;
    double r = h_over_f(a, w) * umax;
    return r * (r / noise);
}

complex nmat_elem_jw(analysis_ctx &a, double w, int i, int j)
{
    nmat_ready(a);
    int n = a.ana_ss.n;
    complex z{0.0, 0.0};
    for (int k = 0; k < n; k++) {
        z = jmul(cscale(z, w));
        z.re += a.nmat[k].data[j * n + i];
    }
    return z;
}

complex c_adj_jw(analysis_ctx &a, double w, int j)
{
    int n = a.ana_ss.n;
    complex s{0.0, 0.0};
    for (int i = 0; i < n; i++)
        s = crlincomb(1.0, s, a.ana_ss.C.data[i], nmat_elem_jw(a, w, i, j));
    return s;
}

complex adj_b_jw(analysis_ctx &a, double w, int i)
{
    int n = a.ana_ss.n;
    complex s{0.0, 0.0};
    for (int j = 0; j < n; j++)
        s = crlincomb(1.0, s, a.ana_ss.B.data[j], nmat_elem_jw(a, w, i, j));
    return s;
}

double h_sq_integrand(analysis_ctx &a, double w)
{
    const int *sel = tst.h_sq_sel;
    complex p = cmul(cmul(c_adj_jw(a, w, sel[0]), adj_b_jw(a, w, sel[1])),
                     cmul(c_adj_jw(a, -w, sel[2]), adj_b_jw(a, -w, sel[3])));
    double d2 = cmod2(den_jw(a, w));
    return p.re / (d2 * d2);
}
