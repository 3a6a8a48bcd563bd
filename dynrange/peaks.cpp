// L-infinity peaks of the F_i and of H over frequency. The axis [0, inf) is
// mapped onto [0, 1) by w = w0 x / (1 - x), scanned on a grid of scale_grid
// points and the best grid point refined by the minimiser on -|z|^2.
//
// A fixed grid steps over a resonance that is narrower than its spacing, so
// the grid's top is only one candidate: a walk over frequency whose steps
// are a fraction of the distance to the nearest pole cannot step over one,
// and its local maxima, refined by the same minimiser, are the others. The
// largest wins; the grid's top is kept unless a walk candidate beats it by
// more than walk_better, so that where the grid already finds the peak the
// result stays exactly what it was.
#include "dynrange/peaks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "dynrange/minimize.h"
#include "filter/current.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "base/outfile.h"
#include "numeric/block_eigen.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

peak_state pks;

namespace {

const double peak_tol = 1e-4;
const int peak_maxit = 100;

// The walk: near a pole (within walk_near times its |Re p|) each step is
// walk_step times the distance from jw to the nearest pole, so that a
// resonance, however narrow, and the ripple of a cluster of poles get a few
// samples each; farther out, where the response is smooth on the scale of
// that distance, walk_far times it. Never shorter than walk_floor times the
// frequency; the walk ends walk_reach times above the largest pole
// magnitude, beyond which the grid's last bracket reaches to infinity.
const double walk_step = 0.25;
const double walk_far = 0.7;
const double walk_near = 4.0;
const double walk_floor = 1e-9;
const double walk_reach = 10.0;
// Local maxima of the walk whose estimated peak lies below keep_ratio times
// the best square known are not refined.
const double keep_ratio = 0.9;
// Tolerance of the refinement, relative to the bracket between the two
// neighbouring samples.
const double walk_tol = 1e-4;
// The grid's top counts as its local peak, and the walk does not refine it,
// when the estimated shortfall of its square is below cert_tol (relative),
// and the minimiser's last bracket around it was narrow against the peak:
// over it the square falls by less than cert_window.
const double cert_tol = 5e-7;
const double cert_window = 0.05;
// Samples next to a local maximum above this fraction of it mark a flat
// top.
const double flat_top = 0.99;
// A walk candidate replaces the grid's top only when larger by more than
// this, relatively.
const double walk_better = 1e-6;

// The bracket being refined: w = lo + (u - 1) (hi - lo) for u in [1, 2], so
// the minimiser's relative tolerance is relative to the bracket, also at
// w = 0. The objective is 1 / val (val the square of the quantity sought),
// which near a resonance is close to a parabola in w, the minimiser's model.
struct walk_bracket {
    double lo = 0.0, hi = 0.0;
    double (*val)(double) = nullptr;
    // the minimiser may ask again for a point it had (a shortest step onto
    // a bound): the last values are kept
    static const int kept = 4;
    double u[kept], f[kept];
    int used = 0, next = 0;
};
walk_bracket wbr;

double bracket_obj(double u)
{
    for (int i = 0; i < wbr.used; i++)
        if (wbr.u[i] == u)
            return wbr.f[i];
    double f = 1.0 / wbr.val(wbr.lo + (u - 1.0) * (wbr.hi - wbr.lo));
    wbr.u[wbr.next] = u;
    wbr.f[wbr.next] = f;
    wbr.next = (wbr.next + 1) % walk_bracket::kept;
    if (wbr.used < walk_bracket::kept)
        wbr.used++;
    return f;
}

// The largest square of val in [lo, hi], from the sample v at w; the point
// found goes to *at.
double refine_walk(double lo, double w, double hi, double v, double (*val)(double), double *at)
{
    *at = w;
    if (!(hi > lo))
        return v;
    wbr.lo = lo;
    wbr.hi = hi;
    wbr.val = val;
    double u0 = 1.0 + (w - lo) / (hi - lo);
    wbr.u[0] = u0;
    wbr.f[0] = 1.0 / v;
    wbr.used = 1;
    wbr.next = 1 % walk_bracket::kept;
    double u, f;
    bracket_min(1.0, u0, 2.0, bracket_obj, walk_tol, peak_maxit, &u, &f);
    if (!(1.0 / f > v))
        return v;
    *at = lo + (u - 1.0) * (hi - lo);
    return 1.0 / f;
}

// Parabola through (a, ya), (b, yb), (c, yc), a < b < c, as
// y = yb + s (t - b) + q (t - b)^2. False when it does not open upward.
bool parabola(double a, double b, double c, double ya, double yb, double yc, double *q, double *s)
{
    double s1 = (yb - ya) / (b - a), s2 = (yc - yb) / (c - b);
    *q = (s2 - s1) / (c - a);
    *s = s1 + *q * (b - a);
    return *q > 0.0 && std::isfinite(*q) && std::isfinite(*s);
}

// The square of the selected component at w: |F_k(jw)|^2, or |H(jw)|^2 when
// k = n; at w infinite their limits 0 and D^2.
double component_sq(double w)
{
    int k = pks.component;
    const ss &s = fst.ana_ss;
    if (k < s.n) {
        if (std::isinf(w))
            return 0.0;
        return cmod2(f_elem_jw(w, k));
    }
    if (std::isinf(w))
        return s.D * s.D;
    return cmod2(h_jw(w));
}

// The selected component z at w (F_k(jw), or H(jw) when k = n) and its
// derivative dz/dw.
void component_and_deriv(double w, complex *z, complex *dz)
{
    int k = pks.component;
    if (k < fst.ana_ss.n) {
        *z = f_elem_jw(w, k);
        *dz = df_elem_jw(w, k);
    } else {
        *z = h_jw(w);
        *dz = dh_jw(w);
    }
}

// d/dw of component_sq at w: 2 Re(conj(z) dz/dw).
double component_sq_slope(double w)
{
    complex z, dz;
    component_and_deriv(w, &z, &dz);
    return 2.0 * (z.re * dz.re + z.im * dz.im);
}

// |det A|^(1/n) of the analysis copy: the geometric mean of the pole
// magnitudes, so that x = 1/2 lies at that frequency.
void set_w0()
{
    int n = fst.ana_ss.n;
    if (n < 1)
        return;
    pks.w0 = freq_scale(fst.ana_ss.A);
}

// The refined top of the selected component in [lo, hi]; the point found
// goes to *xp, or -1 when the minimiser did not converge.
double refine(double lo, double hi, double *xp)
{
    double mid = 0.5 * (lo + hi);
    double x, f;
    if (bracket_min(lo, mid, hi, peak_f, peak_tol, peak_maxit, &x, &f) != 0) {
        f = peak_f(mid);
        x = -1.0;
    }
    *xp = x;
    return std::sqrt(-f);
}

// The walk's samples of the selected component's square and the top that
// the grid found at the mapped point x: the top, or the walk's candidate
// when that beats it.
double walk_top(const std::vector<double> &w, const double *v, int stride, double top, double x)
{
    peak_known known{top * top, NAN, 0.0, 0.0};
    if (x >= 0.0 && x < 1.0) {
        known.w = map_freq(x);
        known.slope = component_sq_slope(known.w);
        // the minimiser stops when its bracket is about 4 tol x wide
        known.window = 4.0 * peak_tol * x * map_freq_deriv(x);
    }
    return better_top(top, walk_peak(w, v, stride, component_sq, known));
}

}  // namespace

double better_top(double top, double cand_sq)
{
    double c = std::sqrt(cand_sq);
    return c > top * (1.0 + walk_better) ? c : top;
}

double freq_scale(const matrix &A)
{
    int n = A.rows;
    if (n < 1)
        return 0.0;
    double m = 0.0;
    for (int k = 0; k < n * A.cols; k++)
        m = std::fmax(m, std::fabs(A.data[k]));
    if (!(m > 0.0) || !std::isfinite(m))
        return m;
    matrix S = mscale(1.0 / m, A);
    double d = det(S);
    freem(&S);
    return m * std::pow(std::fabs(d), 1.0 / n);
}

double map_freq(double x) { return pks.w0 * x / (1.0 - x); }

double map_freq_deriv(double x) { return pks.w0 / ((1.0 - x) * (1.0 - x)); }

void peak_fdf(double x, double *f, double *df)
{
    if (x == 1.0) {
        *f = 0.0;
        *df = 0.0;
        return;
    }
    double w = map_freq(x);
    int k = pks.component;
    complex z, dz;
    component_and_deriv(w, &z, &dz);
    *f = -(z.re * z.re + z.im * z.im);
    *df = map_freq_deriv(x) * (-2.0) * (z.re * dz.re + z.im * dz.im);
    if (pks.trace >= 3)
        fprintf(ist.out_fp, "index %3d , x=%g, x2=%g, f=%g deriv=%g\n", k, x, w, *f, *df);
}

double peak_f(double x)
{
    double f, df;
    if (pks.trace >= 3 || x == 1.0) {
        peak_fdf(x, &f, &df);
        return f;
    }
    // the value alone: no derivative of the resolvent needed
    double w = map_freq(x);
    int k = pks.component;
    complex z = k < fst.ana_ss.n ? f_elem_jw(w, k) : h_jw(w);
    return -(z.re * z.re + z.im * z.im);
}

ivector linf_grid_scan()
{
    int n = fst.ana_ss.n;
    int N = ist.scale_grid;
    ivector idx = new_ivector(n + 1);
    std::vector<double> w(N > 0 ? N : 0), sq;
    for (int g = 0; g < N; g++)
        w[g] = map_freq((double)g / N);
    f_sq_at(w, sq);
    std::vector<double> best(n, 0.0);
    for (int g = 0; g < N; g++)
        for (int i = 0; i < n; i++) {
            double m = sq[g * n + i];
            if (m > best[i]) {
                best[i] = m;
                idx.data[i] = g;
            }
        }
    idx.data[n] = N;
    return idx;
}

namespace {

// The walk of the analysis data last asked about: the searches come back to
// it with every candidate seen through a similarity view.
struct kept_walk {
    bool valid = false;
    unsigned generation = 0, eigen_generation = 0;
    std::vector<double> w;
};
kept_walk walk_kept;

std::vector<double> walk_frequencies();

}  // namespace

std::vector<double> pole_walk()
{
    kept_walk &k = walk_kept;
    if (!k.valid || k.generation != fst.ana_generation || k.eigen_generation != fst.expat_generation) {
        k.w = walk_frequencies();
        k.valid = true;
        k.generation = fst.ana_generation;
        k.eigen_generation = fst.expat_generation;
    }
    return k.w;
}

namespace {

std::vector<double> walk_frequencies()
{
    std::vector<double> w;
    const ss &s = fst.ana_ss;
    int n = s.n;
    if (n < 1)
        return w;
    // the poles as (|Re p|, |Im p|): for w >= 0 a pole and its mirror image
    // -conj(p) lie at the same distance from jw. They are taken block by
    // block: on a high-order cascade the eigenvalues of the whole matrix
    // move the lightly damped poles at the band edge by more than their
    // damping, and the walk would step over their resonances.
    for (int k = 0; k < n * n; k++)
        if (!std::isfinite(s.A.data[k]))
            return w;
    matrix E = evc_blocks(s.A);
    std::vector<double> re, im;
    double R = 0.0, pmin = INFINITY;
    for (int k = 0; k < n; k++) {
        double pr = E.data[k], pi = E.data[n + k];
        double m = std::hypot(pr, pi);
        if (!std::isfinite(m))
            continue;
        re.push_back(std::fabs(pr));
        im.push_back(std::fabs(pi));
        R = std::fmax(R, m);
        if (m > 0.0)
            pmin = std::fmin(pmin, m);
    }
    freem(&E);
    if (!(R > 0.0))
        return w;
    double end = walk_reach * R;
    // a pole on the axis draws the steps together geometrically; the bound
    // keeps a degenerate filter from running long
    size_t most = 200 + 100 * re.size();
    double x = 0.0;
    for (;;) {
        w.push_back(x);
        if (x >= end || w.size() >= most)
            break;
        double d = INFINITY, sigma = 0.0;
        for (size_t k = 0; k < re.size(); k++) {
            double dk = std::hypot(x - im[k], re[k]);
            if (dk < d) {
                d = dk;
                sigma = re[k];
            }
        }
        double c = d <= walk_near * sigma ? walk_step : walk_far;
        x += std::fmax(c * d, walk_floor * std::fmax(x, pmin));
    }
    return w;
}

}  // namespace

double walk_peak(const std::vector<double> &w, const double *v, int stride, double (*val)(double),
                 const peak_known &known)
{
    int m = (int)w.size();
    if (m < 2)
        return 0.0;
    auto at = [&](int j) { return v[j * stride]; };
    // local maxima of the samples (of equal neighbours the first), each with
    // an estimate of its peak: near a resonance 1 / |z|^2 is close to a
    // parabola in w, so the one through the sample and its neighbours has
    // its vertex close to 1 / peak
    struct cand {
        int j;
        double est;
        double lead;  // leading coefficient of that parabola, 0 when none
    };
    std::vector<cand> cands;
    for (int j = 0; j < m; j++) {
        double vj = at(j);
        if (!(vj > 0.0))
            continue;
        if ((j > 0 && !(vj > at(j - 1))) || (j < m - 1 && !(vj >= at(j + 1))))
            continue;
        cand c{j, vj, 0.0};
        double q, sl;
        if (j > 0 && j < m - 1 && at(j - 1) > 0.0 && at(j + 1) > 0.0 &&
            parabola(w[j - 1], w[j], w[j + 1], 1.0 / at(j - 1), 1.0 / vj, 1.0 / at(j + 1), &q, &sl)) {
            c.lead = q;
            double vertex = 1.0 / vj - sl * sl / (4.0 * q);
            c.est = vertex > 0.0 ? std::fmax(vj, 1.0 / vertex) : INFINITY;
        }
        cands.push_back(c);
    }
    std::stable_sort(cands.begin(), cands.end(), [](const cand &a, const cand &b) { return a.est > b.est; });
    double best = known.sq > 0.0 ? known.sq : 0.0;
    double found = 0.0;
    // the bracket of the best refined candidate, the sample in it and the
    // point found
    double blo = 0.0, bw = 0.0, bhi = 0.0, bat = 0.0;
    bool bflat = false;
    for (const cand &c : cands) {
        if (c.est < keep_ratio * best)
            break;
        int j = c.j;
        double lo = j == 0 ? w[0] : w[j - 1];
        double hi = j == m - 1 ? 2.0 * w[j] : w[j + 1];
        // The known top is this local peak when it lies in the bracket, the
        // minimiser's last bracket was narrow against the peak, and the slope
        // there leaves no room: with 1 / |z|^2 close to 1 / sq* + lead
        // (w - w*)^2 the square falls short of its peak by about
        // slope^2 / (4 lead sq^3), relatively. The slope also vanishes in the
        // dip between two humps of a flat top, so the known point must also
        // stand above the sample and above the points a quarter step to
        // either side. At w = 0 the slope vanishes by symmetry: a known top
        // there is the peak of the first bracket when it stands above the
        // point a quarter step up.
        double q = 0.125 * (hi - lo);
        if (known.w >= lo && known.w <= hi && known.sq >= at(j)) {
            double sq = known.sq;
            if (j == 0 && known.w <= q && val(q) <= sq)
                continue;
            if (j > 0 && c.lead > 0.0 && c.lead * known.window * known.window * sq < cert_window &&
                known.slope * known.slope / (4.0 * c.lead * sq * sq * sq) < cert_tol &&
                val(std::fmax(0.0, known.w - q)) <= sq && val(known.w + q) <= sq)
                continue;
        }
        double wr;
        double r = refine_walk(lo, w[j], hi, at(j), val, &wr);
        if (j == m - 1)
            r = std::fmax(r, val(INFINITY));
        if (r > found) {
            found = r;
            blo = lo;
            bw = w[j];
            bhi = hi;
            bflat = j > 0 && j < m - 1 && std::fmin(at(j - 1), at(j + 1)) >= flat_top * at(j);
            bat = wr;
        }
        best = std::fmax(best, r);
    }
    // A flat top, where the samples next to the winner's lie within a
    // percent of it (a lone resonance falls by some 6 % over a step), may
    // hold two humps in one bracket, the sample between them: the minimiser
    // climbs one, so the winner's other side is searched too.
    if (bflat && found >= (1.0 - 4.0 * walk_better) * known.sq) {
        // from the middle of that side: its end at the sample may stand on
        // the hump already climbed
        double lo = bat > bw ? blo : bw, hi = bat > bw ? bw : bhi, mid = 0.5 * (lo + hi), wr;
        if (bat != bw)
            found = std::fmax(found, refine_walk(lo, mid, hi, val(mid), val, &wr));
    }
    return found;
}

vector linf_peaks()
{
    pks.trace = bla_level();
    int n = fst.ana_ss.n;
    vector tops = newvector(n);
    if (n < 1)
        return tops;
    set_w0();
    ivector idx = linf_grid_scan();
    int N = idx.data[n];
    std::vector<double> xs(n);
    for (int k = 0; k < n; k++) {
        pks.component = k;
        int g = idx.data[k];
        double lo = g == 0 ? 0.0 : (double)(g - 1) / N;
        double hi = g == N ? 1.0 : (double)(g + 1) / N;
        tops.data[k] = refine(lo, hi, &xs[k]);
    }
    free_ivector(&idx);

    // the walk over the resonances: one F a frequency serves every integrator
    std::vector<double> w = pole_walk();
    std::vector<double> v;
    f_sq_at(w, v);
    for (int k = 0; k < n && !w.empty(); k++) {
        pks.component = k;
        tops.data[k] = walk_top(w, v.data() + k, n, tops.data[k], xs[k]);
    }
    return tops;
}

double linf_peak_h()
{
    int n = fst.ana_ss.n;
    if (n < 1)
        return 0.0;
    // the scale follows the filter searched, so a stale w0 of an earlier
    // filter cannot put the whole grid on one side of its passband
    set_w0();
    int N = ist.scale_grid;
    int gbest = 0;
    double best = 0.0;
    for (int g = 0; g < N; g++) {
        complex h = h_jw(map_freq((double)g / N));
        double m = cmod2(h);
        if (m > best) {
            best = m;
            gbest = g;
        }
    }
    double lo = gbest == 0 ? 0.0 : (double)(gbest - 1) / N;
    double hi = (double)(gbest + 1) / N;
    pks.component = n;
    double x;
    double t = refine(lo, hi, &x);

    std::vector<double> w = pole_walk();
    if (w.empty())
        return t;
    std::vector<double> v(w.size());
    for (size_t j = 0; j < w.size(); j++)
        v[j] = cmod2(h_jw(w[j]));
    return walk_top(w, v.data(), 1, t, x);
}

void peak_dump(int k)
{
    pks.component = k;
    FILE *fp = out_open("ftest.plot");
    if (!fp) {
        error("cannot open %s", "ftest.plot");
        return;
    }
    fprintf(fp, "%14s %14s %14s\n", "x", "f", "g");
    for (int i = 0; i < 100; i++) {
        double x = i / 100.0, f, df;
        peak_fdf(x, &f, &df);
        fprintf(fp, "%14g %14g %14g\n", x, f, df);
    }
    out_commit(fp);
}
