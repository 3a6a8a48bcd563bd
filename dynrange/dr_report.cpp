// The dynamic-range report: output noise, maximum output level under L2 or
// L-infinity scaling, and the dynamic range they give.
#include "dynrange/dr_report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "dynrange/peaks.h"
#include "filter/capdiv.h"
#include "filter/current.h"
#include "filter/gramian.h"
#include "filter/report.h"
#include "numeric/vector.h"

double u_out_max_inf(analysis_ctx &a)
{
    double umax = u_max();
    vector t = linf_peaks(a);
    double m = 0.0;
    for (int i = 0; i < t.n; i++)
        if (t.data[i] > m)
            m = t.data[i];
    if (m == 0.0) {
        fprintf(stderr, "Error in u_out_max_inf(): maxF is zero.\n");
        exit(1);
    }
    freevector(&t);
    return umax / m;
}

double out_max_inf(analysis_ctx &a)
{
    double top = linf_peak_h(a);
    return top * u_out_max_inf(a);
}

namespace {

// "%.1e" of x, for a message.
std::string short_number(double x)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.1e", x);
    return b;
}

// The Gramian (K when k) of the current filter for a line of the report,
// with a bound e of the relative error of the figure that figure_error
// computes from its entry bounds; false after an error naming the figure
// when the Gramian is missing or its bound is above gramian_figure_tol.
template <class E>
bool gramian_for(filter_state &f, bool k, const char *figure, E figure_error)
{
    const char *name = k ? "K" : "W";
    matrix err;
    gramian_check c = checked_gramian(f, k, &err);
    if (c == gram_none) {
        error("%s needs %s, which cannot be determined for this filter", figure, name);
        return false;
    }
    if (c == gram_unsure) {
        error("%s cannot be computed for this filter: the solution for %s does not settle under refinement, "
              "so it has no error bound",
              figure, name);
        return false;
    }
    if (c == gram_checked) {
        double e = figure_error(err);
        if (!(e <= gramian_figure_tol)) {
            error("%s cannot be computed for this filter: %s is known only to a relative error of %s in it", figure,
                  name, short_number(e).c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

void print_dr(FILE *fp, filter_state &f)
{
    if (!filter_defined())
        return;
    double noise = 0.0;
    fprintf(fp, "\n");
    if (ist.optc_flag == 1)
        fprintf(fp, "Capacitance is divided optimally.\n");
    double *ct = getvar("ctot");
    if (ct) {
        // the noise with the capacitance divided as it will be; an optimal
        // division makes the noise stationary in the capacitor values, so
        // the bounds of W alone bound its error
        bool refused = false;
        auto noise_error = [&refused, &f](const matrix &err) {
            if (ist.evalc_flag == 1 && !divide_caps(f.cur_filter, f.cur_W, ist.optc_flag)) {
                refused = true;  // reported by the division
                return 0.0;
            }
            if (!caps_set(f.cur_filter))
                return 0.0;  // reported below
            return noise_relative_error(f.cur_filter, f.cur_W, err);
        };
        if (!gramian_for(f, false, "the noise", noise_error) || refused)
            return;
        if (ist.evalc_flag == 1 && !divide_caps(f.cur_filter, f.cur_W, ist.optc_flag))
            return;
        if (!caps_set(f.cur_filter)) {
            report_caps_not_set();
            return;
        }
        noise = noise_total(f.cur_filter, f.cur_W);
        if (!(noise >= 0.0) || !std::isfinite(noise)) {
            error("the output noise level cannot be computed for this filter");
            return;
        }
        fprintf(fp, "Output noise level: %e V.\n", std::sqrt(noise));
    }
    double u, u2;
    if (ist.linf_flag == 1) {
        fprintf(fp, "Scaling is L-infinity.\n");
        u = out_max_inf(f.ana);
        u2 = u * u;
    } else {
        fprintf(fp, "Scaling is L2.\n");
        auto level_error = [&f](const matrix &err) { return usq_relative_error(f.cur_K, err, f.cur_filter.C); };
        if (!gramian_for(f, true, "the maximum output level", level_error))
            return;
        u2 = Usq_out_max(f.cur_K, f.cur_filter.C);
        u = std::sqrt(u2);
    }
    if (!std::isfinite(u)) {
        error("the maximum output level cannot be computed for this filter");
        return;
    }
    fprintf(fp, "Maximum output level: %e V.\n", u);
    if (noise > 0.0) {
        double r = u2 / noise;
        if (r > 0.0)
            fprintf(fp, "Dynamic range: %e (%.2f dB).\n\n", std::sqrt(r), 10.0 * std::log10(r));
    }
}
