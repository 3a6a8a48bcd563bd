// Bias levels of the integrators and the report of the minimum output bias
// currents.
#include "dynrange/bias.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "dynrange/minimize.h"
#include "dynrange/peaks.h"
#include "filter/bias_level.h"
#include "filter/capdiv.h"
#include "filter/current.h"
#include "filter/gramian.h"
#include "dynrange/dr_report.h"
#include "filter/report.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "base/outfile.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"

bias_state bst;

namespace {

const int bias_maxit = 100;

// The square of the bias level of the integrator of the bias search at w;
// at w infinite its limit (B_k c_k)^2.
double bias_sq(analysis_ctx &a, const cap_ss &f, double w)
{
    if (std::isinf(w))
        return -bias_level_neg(a, f, 1.0);
    return bias_level_sq(a, f, w, bst.index);
}

}  // namespace

double bias_level_neg(analysis_ctx &a, const cap_ss &f, double x)
{
    int k = bst.index;
    if (x >= 1.0) {
        // As w grows, jw F_k(jw) tends to B_k, so the level tends to
        // |B_k| c_k: the integrator charges only its own capacitor.
        if (k < 0 || k >= f.n || !f.cap)
            return 0.0;
        double b = elem(f.B, k, 0) * f.cap[k];
        return -(b * b);
    }
    return -bias_level_sq(a, f, map_freq(x), k);
}

matrix max_input_level(analysis_ctx &a, const cap_ss &f)
{
    int n = f.n;
    if (n > 0)
        pks.w0 = freq_scale(f.A);
    matrix m = newm(n, 1);
    // The single search from the middle of the axis finds the peak that lies
    // downhill from there; a peak elsewhere is found from the walk over the
    // resonances of the filter.
    std::vector<double> w = pole_walk(a);
    auto sq = [&a, &f](double u) { return bias_sq(a, f, u); };
    std::vector<double> v(w.size());
    for (int j = 0; j < n; j++) {
        bst.index = j;
        double x, fx;
        if (bracket_min(0.0, 0.5, 1.0, [&a, &f](double u) { return bias_level_neg(a, f, u); }, 0.0, bias_maxit, &x,
                        &fx) != 0)
            error("No convergence");
        double top = std::sqrt(-fx);
        for (size_t i = 0; i < w.size(); i++)
            v[i] = sq(w[i]);
        if (!w.empty())
            top = better_top(top, walk_peak(w, v.data(), 1, sq, peak_known{top * top, NAN, 0.0, 0.0}));
        matrix_set(m, j, 0, top);
    }
    return m;
}

void print_bias(FILE *fp, filter_state &f)
{
    double u = u_out_max_inf(f.ana);
    double total = 0.0;
    if (ist.evalc_flag == 1) {
        if (ist.optc_flag == 1 && getvar("ctot") && !w_for_division(f))
            return;
        if (!divide_caps(f.cur_filter, f.cur_W, ist.optc_flag))
            return;
    }
    // The currents charge the capacitors: without capacitor values they
    // have none.
    if (!caps_set(f.cur_filter)) {
        report_caps_not_set();
        return;
    }
    matrix m = max_input_level(f.ana, f.cur_filter);
    // A pole on the jw axis makes a peak of F infinite: the input level is
    // then 0 and the currents have no value (0 times an infinite peak).
    bool finite = std::isfinite(u);
    for (int i = 0; finite && i < m.rows; i++)
        finite = std::isfinite(elem(m, i, 0) * u);
    if (!finite) {
        freem(&m);
        error("the bias currents cannot be computed for this filter");
        return;
    }
    fprintf(fp, "Bias information:\n\n");
    fprintf(fp, "Maximal input signal level: %g\n", u);
    fprintf(fp, "Minimum output bias currents:\n");
    for (int i = 0; i < m.rows; i++) {
        double mi = elem(m, i, 0);
        fprintf(fp, "Integrator %d: %15g A\n", i + 1, mi * u);
        total += mi;
    }
    freem(&m);
    fprintf(fp, "Total bias current: %g A.\n\n", total * u);
}

void level_dump(analysis_ctx &a, const cap_ss &f, int k)
{
    bst.index = k;
    FILE *fp = out_open("ftest.plot");
    if (!fp) {
        error("cannot open ftest.plot");
        return;
    }
    fprintf(fp, "%14s %14s\n", "x", "f");
    for (int i = 0; i < 100; i++) {
        double x = i / 100.0;
        fprintf(fp, "%14g %14g\n", x, bias_level_neg(a, f, x));
    }
    out_commit(fp);
}
