#include "interp/act_xplot.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dynrange/bias.h"
#include "filter/current.h"
#include "filter/plotfile.h"
#include "filter/report.h"
#include "filter/sweep.h"
#include "filter/timeresp.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/getvar.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/matrix.h"
#include "xplot/plot_array.h"
#include "xplot/xplot.h"

namespace {

const double two_pi = 6.283185307179586;
const double no_value = std::nan("");

// Appends one curve with its own copy of the label; returns its index.
int add_curve(plot_array *pa, const char *label)
{
    plot_array_add(pa, 1);
    int j = pa->ncurves - 1;
    pa->labels[j] = strdup(label);
    check_alloc(pa->labels[j], "plot array");
    return j;
}

std::string indexed(const char *prefix, int i)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%s%1d%1s", prefix, i, ")");
    return buf;
}

// W is usable by the dynamic-range curves only when it is n x n; an
// undetermined W leaves those curves without values.
bool w_usable(int n)
{
    return n > 0 && fst.cur_W.rows == n && fst.cur_W.cols == n;
}

// Curve indices of the H, F or G selections: first[b] is the first curve of
// bit b (one curve per integrator, two for real and imaginary part).
struct resp_curves {
    int first[5] = {-1, -1, -1, -1, -1};  // magn, phase, delay, db, re/im
};

const char *const kind_names[4] = {"magn", "phase", "delay", "db"};

void add_resp_curves(plot_array *pa, int cols, char r, int n, resp_curves *rc)
{
    for (int b = 0; b < 4; b++)
        if (cols & (1 << b)) {
            std::string prefix = std::string(kind_names[b]) + "(" + r;
            for (int i = 1; i <= n; i++) {
                int j = add_curve(pa, indexed(prefix.c_str(), i).c_str());
                if (i == 1)
                    rc->first[b] = j;
            }
        }
    if (cols & COL_REIM)
        for (int i = 1; i <= n; i++) {
            int j = add_curve(pa, indexed((std::string("real(") + r).c_str(), i).c_str());
            add_curve(pa, indexed((std::string("imag(") + r).c_str(), i).c_str());
            if (i == 1)
                rc->first[4] = j;
        }
}

void fill_resp(plot_array *pa, const resp_curves &rc, int cols, int k, const cmatrix &z,
               const matrix &delays, int n)
{
    for (int i = 0; i < n; i++) {
        complex v = z.data[i];
        if (cols & COL_MAGN)
            pa->y[rc.first[0] + i][k] = cmod(v);
        if (cols & COL_PHASE)
            pa->y[rc.first[1] + i][k] = std::atan2(v.im, v.re);
        if (cols & COL_DELAY)
            pa->y[rc.first[2] + i][k] = delays.data[i];
        if (cols & COL_DB)
            pa->y[rc.first[3] + i][k] = cdb(v);
        if (cols & COL_REIM) {
            pa->y[rc.first[4] + 2 * i][k] = v.re;
            pa->y[rc.first[4] + 2 * i + 1][k] = v.im;
        }
    }
}

void frequency_window(int n)
{
    reset_phase();
    double factor = pst.hertz_flag ? two_pi : 1.0;
    if (pst.freq_log)
        freq_table_log();
    else
        freq_table_lin();
    plot_array pa = new_plot_array(pst.freq_last + 1);
    pa.xscale = pst.freq_log ? 'l' : 'f';
    for (int k = 0; k < pa.npoints; k++)
        pa.x[k] = pst.freq_values[k];

    // The curves, in the order of their legend.
    int h_curve[5] = {-1, -1, -1, -1, -1};
    const char *h_names[4] = {"magn(H)", "phase(H)", "delay(H)", "db(H)"};
    for (int b = 0; b < 4; b++)
        if (pst.h_cols & (1 << b))
            h_curve[b] = add_curve(&pa, h_names[b]);
    if (pst.h_cols & COL_REIM) {
        h_curve[4] = add_curve(&pa, "real(H)");
        add_curve(&pa, "imag(H)");
    }
    resp_curves f_rc, g_rc;
    if (pst.f_cols)
        add_resp_curves(&pa, pst.f_cols, 'F', n, &f_rc);
    if (pst.g_cols)
        add_resp_curves(&pa, pst.g_cols, 'G', n, &g_rc);
    int current_curve = -1;
    if (pst.current_col)
        for (int i = 1; i <= n; i++) {
            char buf[32];
            snprintf(buf, sizeof buf, "current(%d)", i);
            int j = add_curve(&pa, buf);
            if (i == 1)
                current_curve = j;
        }
    int drfact_curve = pst.drfact_col ? add_curve(&pa, "drfact") : -1;
    int dropfact_curve = -1;
    double epsrel = 0;
    if (pst.dropfact_col) {
        if (double *e = getvar("epsrel")) {
            epsrel = *e;
            dropfact_curve = add_curve(&pa, "dropfact");
        }
        else
            error("epsrel is not defined");
    }
    int drscfact_curve = pst.drscfact_col ? add_curve(&pa, "drscfact") : -1;
    int relsens_curve = pst.relsens_col ? add_curve(&pa, "relsens") : -1;
    int sens_curve = pst.sens_col ? add_curve(&pa, "sens") : -1;
    int abssens_curve = pst.abssens_col ? add_curve(&pa, "abssens") : -1;
    int onoise_curve = pst.onoise_col ? add_curve(&pa, "onoise") : -1;
    int dr_curve = -1;
    double umax = 0;
    if (pst.dr_col) {
        if (!getvar("ctot"))
            error("ctot is not defined");
        else if (double *u = getvar("umax")) {
            umax = *u;
            dr_curve = add_curve(&pa, "dr");
        }
        else
            error("umax is not defined");
    }

    bool have_w = w_usable(n);
    for (int k = 0; k < pa.npoints; k++) {
        double w = factor * pa.x[k];
        if (pst.h_cols) {
            complex h = h_jw(w);
            if (h_curve[0] >= 0)
                pa.y[h_curve[0]][k] = cmod(h);
            if (h_curve[1] >= 0)
                pa.y[h_curve[1]][k] = unwrap_phase(h);
            if (h_curve[2] >= 0)
                pa.y[h_curve[2]][k] = delay_h(w);
            if (h_curve[3] >= 0)
                pa.y[h_curve[3]][k] = cdb(h);
            if (h_curve[4] >= 0) {
                pa.y[h_curve[4]][k] = h.re;
                pa.y[h_curve[4] + 1][k] = h.im;
            }
        }
        if (pst.f_cols) {
            cmatrix F = f_jw(w);
            matrix d;
            if (pst.f_cols & COL_DELAY)
                d = delay_f(w, F);
            fill_resp(&pa, f_rc, pst.f_cols, k, F, d, n);
            freem(&d);
            cfreem(&F);
        }
        if (pst.g_cols) {
            cmatrix G = g_jw(w);
            matrix d;
            if (pst.g_cols & COL_DELAY)
                d = delay_g(w, G);
            fill_resp(&pa, g_rc, pst.g_cols, k, G, d, n);
            freem(&d);
            cfreem(&G);
        }
        if (current_curve >= 0)
            for (int j = 0; j < n; j++)
                pa.y[current_curve + j][k] = bias_level(w, j);
        if (drfact_curve >= 0)
            pa.y[drfact_curve][k] = have_w ? drfact_jw(w, fst.cur_W) : no_value;
        if (dropfact_curve >= 0)
            pa.y[dropfact_curve][k] = have_w ? dropfact(w, fst.cur_W, epsrel, k == 0) : no_value;
        if (drscfact_curve >= 0)
            pa.y[drscfact_curve][k] = have_w ? drscfact_jw(w, fst.cur_W) : no_value;
        if (relsens_curve >= 0)
            pa.y[relsens_curve][k] = relsens_jw(w, pst.relsens_col);
        if (sens_curve >= 0)
            pa.y[sens_curve][k] = sens_jw(w, pst.sens_col);
        if (abssens_curve >= 0)
            pa.y[abssens_curve][k] = abssens_jw(w, pst.abssens_col);
        if (onoise_curve >= 0)
            pa.y[onoise_curve][k] = onoise_jw(w, fst.cur_filter);
        if (dr_curve >= 0)
            pa.y[dr_curve][k] = have_w
                                    ? 10.0 * std::log10(dr_jw(w, fst.cur_filter, fst.cur_W, umax))
                                    : no_value;
    }

    tevo_xplot(pa);
    free_plot_array(&pa);
}

void time_window(int n)
{
    time_table();
    plot_array pa = new_plot_array(pst.time_last + 1);
    pa.xscale = 't';
    for (int k = 0; k < pa.npoints; k++)
        pa.x[k] = pst.time_values[k];

    int h_imp = pst.h_time & COL_IMPULSE ? add_curve(&pa, "impulse(H)") : -1;
    int h_step = pst.h_time & COL_STEP ? add_curve(&pa, "step(H)") : -1;
    // One row evaluator for the whole table, so that the rows of an evenly
    // spaced table share one e^(A dt) on the matrix-exponential route.
    time_rows rows(pst.time_values, pst.time_last + 1, pst.h_time, pst.f_time, pst.g_time);
    struct group {
        int bits, bit;
        const char *prefix;
        const std::vector<double> *values;
        int first;
    } groups[] = {{pst.f_time, COL_IMPULSE, "impulse(F", &rows.f, -1},
                  {pst.f_time, COL_STEP, "step(F", &rows.fs, -1},
                  {pst.g_time, COL_IMPULSE, "impulse(G", &rows.g, -1},
                  {pst.g_time, COL_STEP, "step(G", &rows.gs, -1}};
    for (auto &g : groups)
        if (g.bits & g.bit)
            for (int i = 1; i <= n; i++) {
                int j = add_curve(&pa, indexed(g.prefix, i).c_str());
                if (i == 1)
                    g.first = j;
            }

    for (int k = 0; k < pa.npoints; k++) {
        rows.at(k);
        if (h_imp >= 0)
            pa.y[h_imp][k] = rows.h;
        if (h_step >= 0)
            pa.y[h_step][k] = rows.hs;
        for (auto &g : groups) {
            if (g.first < 0)
                continue;
            for (int i = 0; i < n; i++)
                pa.y[g.first + i][k] = (*g.values)[i];
        }
    }

    tevo_xplot(pa);
    free_plot_array(&pa);
}

}  // namespace

void xplot_cmd()
{
    if (filter_defined()) {
        int n = fst.cur_filter.n;
        if (pst.freq_requested) {
            if (!pst.freq_defined)
                error("plot requested without frequency specification");
            else
                frequency_window(n);
        }
        if (pst.time_requested) {
            if (!pst.time_defined)
                error("plot requested without time specification");
            else
                time_window(n);
        }
    }
    pst.freq_requested = 0;
    pst.time_requested = 0;
}

void act_xplot_start()
{
    init_plot_settings();
}

void act_xplot_end()
{
    xplot_cmd();
    clear_plot_columns();
}
