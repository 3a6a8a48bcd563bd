// L-infinity peaks of the F_i and of H over frequency. The axis [0, inf) is
// mapped onto [0, 1) by w = w0 x / (1 - x), scanned on a grid of scale_grid
// points and the best grid point refined by the minimiser on -|z|^2.
#include "dynrange/peaks.h"

#include <cmath>
#include <cstdio>

#include "dynrange/minimize.h"
#include "filter/current.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

peak_state pks;

namespace {

const double peak_tol = 1e-4;
const int peak_maxit = 100;

// |det A|^(1/n) of the analysis copy: the geometric mean of the pole
// magnitudes, so that x = 1/2 lies at that frequency.
void set_w0()
{
    int n = fst.ana_ss.n;
    if (n < 1)
        return;
    pks.w0 = freq_scale(fst.ana_ss.A);
}

// The refined top of the selected component from grid index g.
double refine(double lo, double hi)
{
    double mid = 0.5 * (lo + hi);
    double x, f;
    if (bracket_min(lo, mid, hi, peak_f, peak_tol, peak_maxit, &x, &f) != 0)
        f = peak_f(mid);
    return std::sqrt(-f);
}

}  // namespace

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
    int n = fst.ana_ss.n;
    int k = pks.component;
    complex z, dz;
    if (k < n) {
        cmatrix F = f_jw(w);
        cmatrix dF = df_jw(w);
        z = F.data[k];
        dz = dF.data[k];
        cfreem(&F);
        cfreem(&dF);
    } else {
        z = h_jw(w);
        dz = dh_jw(w);
    }
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
    complex z;
    if (k < fst.ana_ss.n) {
        cmatrix F = f_jw(w);
        z = F.data[k];
        cfreem(&F);
    } else {
        z = h_jw(w);
    }
    return -(z.re * z.re + z.im * z.im);
}

ivector linf_grid_scan()
{
    int n = fst.ana_ss.n;
    int N = ist.scale_grid;
    ivector idx = new_ivector(n + 1);
    vector best = newvector(n);
    for (int g = 0; g < N; g++) {
        double x = (double)g / N;
        cmatrix F = f_jw(map_freq(x));
        for (int i = 0; i < n; i++) {
            double m = cmod2(F.data[i]);
            if (m > best.data[i]) {
                best.data[i] = m;
                idx.data[i] = g;
            }
        }
        cfreem(&F);
    }
    freevector(&best);
    idx.data[n] = N;
    return idx;
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
    for (int k = 0; k < n; k++) {
        pks.component = k;
        int g = idx.data[k];
        double lo = g == 0 ? 0.0 : (double)(g - 1) / N;
        double hi = g == N ? 1.0 : (double)(g + 1) / N;
        tops.data[k] = refine(lo, hi);
    }
    free_ivector(&idx);
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
    return refine(lo, hi);
}

void peak_dump(int k)
{
    pks.component = k;
    FILE *fp = fopen("ftest.plot", "w");
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
    fclose(fp);
}
