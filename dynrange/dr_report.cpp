// The dynamic-range report: output noise, maximum output level under L2 or
// L-infinity scaling, and the dynamic range they give.
#include "dynrange/dr_report.h"

#include <cmath>
#include <cstdlib>

#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "dynrange/peaks.h"
#include "filter/capdiv.h"
#include "filter/current.h"
#include "filter/report.h"
#include "numeric/vector.h"

double u_out_max_inf()
{
    double umax = u_max();
    vector t = linf_peaks();
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

double out_max_inf()
{
    double top = linf_peak_h();
    return top * u_out_max_inf();
}

void print_dr(FILE *fp)
{
    if (!filter_defined())
        return;
    double noise = 0.0;
    fprintf(fp, "\n");
    if (ist.optc_flag == 1)
        fprintf(fp, "Capacitance is divided optimally.\n");
    double *ct = getvar("ctot");
    if (ct) {
        ensure_w();
        if (fst.cur_W.cols == 0) {
            error("the noise needs W, which cannot be determined for this filter");
            return;
        }
        if (ist.evalc_flag == 1 && !divide_caps(fst.cur_filter, fst.cur_W, ist.optc_flag))
            return;
        if (!caps_set(fst.cur_filter)) {
            report_caps_not_set();
            return;
        }
        noise = noise_total(fst.cur_filter, fst.cur_W);
        if (!(noise >= 0.0) || !std::isfinite(noise)) {
            error("the output noise level cannot be computed for this filter");
            return;
        }
        fprintf(fp, "Output noise level: %e V.\n", std::sqrt(noise));
    }
    double u, u2;
    if (ist.linf_flag == 1) {
        fprintf(fp, "Scaling is L-infinity.\n");
        u = out_max_inf();
        u2 = u * u;
    } else {
        fprintf(fp, "Scaling is L2.\n");
        ensure_k();
        if (fst.cur_K.cols == 0) {
            error("the maximum output level needs K, which cannot be determined for this filter");
            return;
        }
        u2 = Usq_out_max(fst.cur_K, fst.cur_filter.C);
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
