#include "filter/transform_check.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <complex>

#include "filter/current.h"
#include "filter/gramian.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/globals.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/matrix.h"

namespace {

// Points of the logarithmic grid between a tenth of the smallest and ten
// times the largest pole: with the pole frequencies, a few hundred O(n^2)
// evaluations on the Hessenberg form at order 200.
constexpr int grid_points = 160;

// Where the filter's own realisation leaves H more uncertain than
// transfer_tolerance, a transformed filter is held to that uncertainty
// (below), but never to less than this share of the peak: beyond it no
// realisation could be told from another.
constexpr double sensitive_limit = 1e-6;

// The first-order uncertainty of H(jv) in double precision, 16 eps times
// (the rounding of both realisations and of the frequency, with the
// evaluation): the sum of |dH/da| |a| over the coefficients of A, B and C
// (dH/dA_ij = G_i F_j, dH/dB_i = G_i, dH/dC_i = F_i), and of the frequency
// |dH/dv| times its scale (|dH/dv| = |G F|, dH/dv = -j C R^2 B). The
// frequency's share is given apart in *at_pole.
double uncertainty(analysis_ctx &a, double v, double scale, double *at_pole)
{
    const ss &s = a.ana_ss;
    int n = s.n;
    cmatrix F = f_jw(a, v), G = g_jw(a, v);
    std::vector<double> f(n), g(n);
    complex gf{0.0, 0.0};
    for (int i = 0; i < n; i++) {
        f[i] = std::hypot(F.data[i].re, F.data[i].im);
        g[i] = std::hypot(G.data[i].re, G.data[i].im);
        gf = cadd(gf, cmul(G.data[i], F.data[i]));
    }
    double sum = 0.0;
    for (int j = 0; j < n; j++) {
        const double *col = s.A.data + (size_t)j * n;
        double c = 0.0;
        for (int i = 0; i < n; i++)
            c += g[i] * std::fabs(col[i]);
        sum += c * f[j] + g[j] * std::fabs(s.B.data[j]) + f[j] * std::fabs(s.C.data[j]);
    }
    cfreem(&F);
    cfreem(&G);
    *at_pole = 16 * DBL_EPSILON * std::hypot(gf.re, gf.im) * scale;
    return 16 * DBL_EPSILON * sum + *at_pole;
}

// The frequencies of the filter at which H is sampled.
std::vector<double> sample_frequencies(filter_state &f)
{
    int n = f.cur_filter.n;
    std::vector<double> w{0.0};
    double lo = INFINITY, hi = 0.0;
    const cmatrix &l = f.ana.expat_eigval;
    for (int k = 0; k < n && l.data; k++) {
        complex p = l.data[k * n + k];
        double r = std::hypot(p.re, p.im);
        if (!(r > 0.0) || !std::isfinite(r))
            continue;
        w.push_back(r);
        if (p.im != 0.0)
            w.push_back(std::fabs(p.im));
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    if (!(hi > 0.0))
        lo = hi = 1.0;
    double a = std::log(lo / 10), b = std::log(hi * 10);
    for (int k = 0; k < grid_points; k++)
        w.push_back(std::exp(a + (b - a) * k / (grid_points - 1)));
    return w;
}

// The frequency of the transformed filter at which it shows H(j v) of the
// filter: v f for lowpass; for bandpass the root w > 0 of
// (w^2 - w0^2) / (bw w) = v.
double mapped(const frequency_map &m, double v)
{
    switch (m.kind) {
    case frequency_map::lowpass:
        return m.f * v;
    case frequency_map::bandpass: {
        // the root without cancellation on either side of the band
        double b = m.bw * v, d = std::sqrt(b * b + 4 * m.w0 * m.w0);
        return b >= 0 ? (b + d) / 2 : 2 * m.w0 * m.w0 / (d - b);
    }
    default:
        return v;
    }
}

// The size of the rounding of v when it is mapped to the transformed
// filter's frequency and back: |v|, and for bandpass the size of the terms
// of (w^2 - w0^2) / (bw w), sqrt(v^2 + (2 w0 / bw)^2).
double frequency_scale(const frequency_map &m, double v)
{
    if (m.kind == frequency_map::bandpass)
        return std::hypot(v, 2 * m.w0 / m.bw);
    return std::fabs(v);
}

void add_point(transfer_reference *r, double w, complex h, double allowed)
{
    r->w.push_back(w);
    r->h.push_back(h);
    r->allowed.push_back(allowed);
}

using zval = std::complex<double>;

// a holds the analysis data of s: prepared unless they are already.
void prepared_for(analysis_ctx &a, const ss &s)
{
    if (a.ana_ss.A.data != s.A.data || a.ana_ss.n != s.n)
        analysis_prep(a, s);
}

// H(jw) of a record by elimination with partial pivoting on jwI - A itself,
// for an A with few non-zero diagonals below (or above) its main diagonal: a
// ladder, a cascade of sections, the bandpass or the scaling of either. The
// frequency evaluators of the analysis data work on the Hessenberg form of
// A, reached by an orthogonal similarity that mixes the entries of a far
// from normal A (the bandpass of a high-order cascade) and then gives H to
// a few digits only; elimination on A keeps its band and each entry where
// it is. With the band below of width p (of A, or of A^T for H = B^T (jwI -
// A^T)^-1 C^T), a frequency costs about n p times the row length the band
// fills, O(n p^2) for a band on both sides and O(n^2 p) at most.
struct banded_h {
    int n = 0;
    int p = 0;                 // non-zero diagonals below the main one
    std::vector<double> a;     // the matrix eliminated, row-major (A or A^T)
    std::vector<double> b, c;  // right-hand side and output row
    double d = 0.0;
    std::vector<int> last;     // last non-zero column of each row
    std::vector<zval> m, x;    // work
};

// The diagonals below and above the main one that hold a non-zero entry.
void bandwidths(const ss &s, int *below, int *above)
{
    int n = s.n;
    *below = *above = 0;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            if (s.A.data[j * n + i] != 0.0) {
                *below = std::max(*below, i - j);
                *above = std::max(*above, j - i);
            }
}

// Per frequency the elimination costs some n (p + 1) times the length of
// the rows the band fills: up to this many operations it takes the place of
// the Hessenberg form (a dense A up to order 58, a band of a few diagonals on
// both sides at every order).
constexpr double banded_budget = 2e5;

// True when s is evaluated by elimination on A (set up in e).
bool banded_setup(const ss &s, banded_h *e)
{
    int n = s.n, below, above;
    bandwidths(s, &below, &above);
    bool trans = above < below;
    int p = std::min(below, above), q = std::max(below, above);
    if ((double)n * (p + 1) * std::min(n, p + q + 1) > banded_budget)
        return false;
    e->n = n;
    e->p = p;
    e->a.resize((size_t)n * n);
    e->last.assign(n, 0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double v = trans ? s.A.data[i * n + j] : s.A.data[j * n + i];
            e->a[(size_t)i * n + j] = v;
            if (v != 0.0 || i == j)
                e->last[i] = std::max(e->last[i], j);
        }
    const double *b = trans ? s.C.data : s.B.data, *c = trans ? s.B.data : s.C.data;
    e->b.assign(b, b + n);
    e->c.assign(c, c + n);
    e->d = s.D;
    e->m.resize((size_t)n * n);
    e->x.resize(n);
    return true;
}

// H(jw); infinite when jwI - A is singular.
zval banded_value(banded_h &e, double w)
{
    int n = e.n;
    std::vector<zval> &m = e.m, &x = e.x;
    std::vector<int> last = e.last;
    // only the band is set: an entry beyond a row's last column is set to 0
    // when the row's last column moves out over it
    for (int i = 0; i < n; i++) {
        for (int j = std::max(0, i - e.p); j <= last[i]; j++)
            m[(size_t)i * n + j] = -e.a[(size_t)i * n + j];
        m[(size_t)i * n + i] += zval(0.0, w);
        x[i] = e.b[i];
    }
    for (int k = 0; k < n; k++) {
        int end = std::min(k + e.p, n - 1), piv = k;
        // an entry beyond a row's last column is 0
        auto entry = [&](int i) { return k <= last[i] ? m[(size_t)i * n + k] : zval(0.0); };
        for (int i = k + 1; i <= end; i++)
            if (std::abs(entry(i)) > std::abs(entry(piv)))
                piv = i;
        if (entry(piv) == 0.0)
            return zval(INFINITY, 0.0);
        zval *rk = &m[(size_t)piv * n];
        if (piv != k) {
            int reach = std::max(last[k], last[piv]);
            std::swap_ranges(rk + k, rk + reach + 1, &m[(size_t)k * n + k]);
            std::swap(x[k], x[piv]);
            std::swap(last[k], last[piv]);
            rk = &m[(size_t)k * n];
        }
        for (int i = k + 1; i <= end; i++) {
            zval *ri = &m[(size_t)i * n];
            if (entry(i) == 0.0)
                continue;
            zval f = ri[k] / rk[k];
            for (int j = last[i] + 1; j <= last[k]; j++)
                ri[j] = 0.0;
            last[i] = std::max(last[i], last[k]);
            for (int j = k + 1; j <= last[k]; j++)
                ri[j] -= f * rk[j];
            x[i] -= f * x[k];
        }
    }
    zval h = e.d;
    for (int k = n - 1; k >= 0; k--) {
        const zval *rk = &m[(size_t)k * n];
        zval t = x[k];
        for (int j = k + 1; j <= last[k]; j++)
            t -= rk[j] * x[j];
        x[k] = t / rk[k];
        h += e.c[k] * x[k];
    }
    return h;
}

// H of s at every frequency of w: by elimination on A where the band allows
// it, otherwise through the Hessenberg form of the analysis data a, which
// are prepared for s when they are not.
std::vector<complex> transfer_values(analysis_ctx &a, const ss &s, const std::vector<double> &w)
{
    std::vector<complex> h(w.size());
    banded_h e;
    if (banded_setup(s, &e)) {
        for (size_t k = 0; k < w.size(); k++) {
            zval z = banded_value(e, w[k]);
            h[k] = complex{z.real(), z.imag()};
        }
        return h;
    }
    prepared_for(a, s);
    for (size_t k = 0; k < w.size(); k++)
        h[k] = h_jw(a, w[k]);
    return h;
}

double cdist(complex a, complex b) { return std::hypot(a.re - b.re, a.im - b.im); }

bool finite_value(complex z) { return std::isfinite(z.re) && std::isfinite(z.im); }

// The largest difference of t's H from the reference, relative to the peak;
// within is false where a difference exceeds its allowance (or t's H is not
// finite where the reference is).
double difference(analysis_ctx &a, const transfer_reference &ref, const ss &t, bool *within)
{
    std::vector<complex> h = transfer_values(a, t, ref.w);
    double worst = 0.0;
    *within = true;
    for (size_t k = 0; k < ref.w.size(); k++) {
        double d = finite_value(h[k]) ? cdist(h[k], ref.h[k]) : INFINITY;
        if (!(d <= ref.allowed[k]))
            *within = false;
        if (!(d <= worst))
            worst = d;
    }
    return ref.peak > 0.0 ? worst / ref.peak : worst;
}

// Fresh solve of one Gramian of s, or the empty matrix.
matrix fresh_gramian(const ss &s, bool k)
{
    if (gramian_obstacle(s))
        return null_matrix();
    return k ? k_algebraic(s) : w_algebraic(s);
}

bool negative_diagonal(const matrix &G)
{
    for (int i = 0; i < G.rows; i++)
        if (G.data[i * G.rows + i] < 0.0 || std::isnan(G.data[i * G.rows + i]))
            return true;
    return false;
}

// |X_ij - F_ij| <= tol sqrt(F_ii F_jj) for every entry.
bool agrees(const matrix &X, const matrix &F)
{
    int n = F.rows;
    if (X.rows != n || X.cols != n)
        return false;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double scale = std::sqrt(F.data[i * n + i] * F.data[j * n + j]);
            if (!(std::fabs(X.data[j * n + i] - F.data[j * n + i]) <= transfer_tolerance * scale))
                return false;
        }
    return true;
}

void settle(const ss &s, matrix *G, bool k)
{
    if (G->cols == 0)
        return;
    if (ist.num_flag != 0 || (k && ist.sfr_flag != 0)) {
        if (negative_diagonal(*G))
            freem(G);
        return;
    }
    matrix F = fresh_gramian(s, k);
    if (F.cols != 0 && !negative_diagonal(F)) {
        if (negative_diagonal(*G) || !agrees(*G, F)) {
            freem(G);
            *G = F;
        } else {
            freem(&F);
        }
        return;
    }
    freem(&F);
    freem(G);
}

}  // namespace

transfer_reference transfer_reference_of(filter_state &f, const frequency_map &m)
{
    transfer_reference r;
    if (f.cur_filter.n < 1)
        return r;
    prepared_for(f.ana, f.cur_filter);
    clear_similarity_view(f.ana);
    std::vector<double> v = sample_frequencies(f);
    std::vector<complex> h = transfer_values(f.ana, f.cur_filter, v);
    std::vector<double> unc(v.size());
    std::vector<char> kept(v.size(), 0);
    for (size_t k = 0; k < v.size(); k++) {
        if (!finite_value(h[k]))
            continue;  // at a pole on the axis H has no value to compare
        double at_pole, size = std::hypot(h[k].re, h[k].im);
        unc[k] = uncertainty(f.ana, v[k], frequency_scale(m, v[k]), &at_pole);
        // so close to an undamped pole that the rounding of the frequency
        // alone leaves no digits to compare
        if (!(at_pole <= sensitive_limit * size))
            continue;
        kept[k] = 1;
        r.peak = std::max(r.peak, size);
    }
    for (size_t k = 0; k < v.size(); k++) {
        if (!kept[k])
            continue;
        double allowed = std::max(transfer_tolerance * r.peak, std::min(unc[k], sensitive_limit * r.peak));
        add_point(&r, mapped(m, v[k]), h[k], allowed);
        // the lower half of the band shows H at -v, the conjugate
        if (m.kind == frequency_map::bandpass && v[k] > 0.0)
            add_point(&r, mapped(m, -v[k]), complex{h[k].re, -h[k].im}, allowed);
    }
    return r;
}

bool transformed_realises(filter_state &f, const char *item, const transfer_reference &ref, const ss &t)
{
    // t's own analysis data, unless the current filter's are t's already
    // (a transform that prepared them for its result)
    analysis_ctx own;
    analysis_ctx &a = analysis_of(f.ana, t) ? f.ana : own;
    bool within;
    double e = difference(a, ref, t, &within);
    within = within && !ref.w.empty();
    // stable where the filter was (whose poles are needed only then)
    bool unstable = within && gramian_obstacle(t) && !gramian_obstacle(f.cur_filter);
    if (within && !unstable) {
        if (&a == &own)
            analysis_take(f.ana, own);
        prepared_for(f.ana, t);
        return true;
    }
    prepared_for(f.ana, f.cur_filter);
    if (ref.w.empty()) {
        // every frequency sits on an undamped pole, or the filter's H
        // overflows everywhere
        error("%s: the transfer function of the filter cannot be compared in double precision; "
              "filter not transformed", item);
    } else if (!within && !std::isfinite(e)) {
        error("%s: the transformed filter has no finite transfer function where the filter has one; "
              "filter not transformed", item);
    } else if (!within) {
        char text[32];
        snprintf(text, sizeof text, "%.1e", e);
        error("%s: the transformed filter differs from the filter by %s of the peak of |H|; filter not transformed",
              item, text);
    } else {
        error("%s: the transformed filter is not stable; filter not transformed", item);
    }
    return false;
}

void settle_gramians(filter_state &f)
{
    if (f.cur_filter.n < 1)
        return;
    settle(f.cur_filter, &f.cur_K, true);
    settle(f.cur_filter, &f.cur_W, false);
}

void install_checked(const char *item, const transfer_reference &ref, ss t)
{
    if (t.n >= 1 && transformed_realises(fst, item, ref, t))
        install_filter(t);
}

void install_checked(const char *item, ss t)
{
    if (t.n >= 1)
        install_checked(item, transfer_reference_of(fst, frequency_map{}), t);
}
