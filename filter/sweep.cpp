#include "filter/sweep.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "base/error.h"
#include "base/expr.h"
#include "base/globals.h"

plot_settings pst;

namespace {

// A table has at most this many points: each costs an evaluation of every
// requested column, and a log sweep of 2^31 - 1 points per decade would run
// for hours (a million points take about a second).
constexpr double max_sweep_points = 1000000;

// Point k of p intervals from start to stop: k (stop - start) / p + start,
// or, where k (stop - start) alone would overflow, the same point with the
// fraction taken first.
double lin_point(int k, int p, double start, double stop)
{
    double span = stop - start, d = k * span;
    return std::isfinite(d) ? d / p + start : span * ((double)k / p) + start;
}

// Decades between two positive bounds, |log10(stop / start)|. Where the
// quotient overflows or underflows (1e-300 to 1e300, or a subnormal bound)
// it is the difference of the two logarithms instead.
double sweep_decades(double start, double stop)
{
    double q = stop / start;
    if (std::isnormal(q))
        return std::fabs(std::log10(q));
    return std::fabs(std::log10(stop) - std::log10(start));
}

}  // namespace

int set_freq_sweep(double start, double stop, int points, int log)
{
    if (points < 1) {
        error(log ? "number of points per decade zero or negative"
                  : "number of frequency intervals zero or negative");
        return 0;
    }
    if (log && (!(start > 0.0) || !(stop > 0.0))) {
        error("logarithmic frequency sweep with negative frequency requested");
        return 0;
    }
    if (!std::isfinite(start) || !std::isfinite(stop)) {
        error("frequency sweep bound not finite");
        return 0;
    }
    if (!std::isfinite(stop - start)) {
        error("frequency sweep range too large");
        return 0;
    }
    double total = log ? sweep_decades(start, stop) * points : points;
    if (total > max_sweep_points) {
        error("frequency sweep of more than 1000000 points");
        return 0;
    }
    pst.freq_start = start;
    pst.freq_stop = stop;
    pst.freq_points = points;
    pst.freq_log = log;
    pst.freq_defined = 1;
    return 1;
}

int set_time_sweep(double start, double stop, int points)
{
    if (points < 1) {
        error("number of time intervals zero or negative");
        return 0;
    }
    if (!std::isfinite(start) || !std::isfinite(stop)) {
        error("time sweep bound not finite");
        return 0;
    }
    if (!std::isfinite(stop - start)) {
        error("time sweep range too large");
        return 0;
    }
    if (points > max_sweep_points) {
        error("time sweep of more than 1000000 points");
        return 0;
    }
    pst.time_start = start;
    pst.time_stop = stop;
    pst.time_points = points;
    pst.time_defined = 1;
    return 1;
}

void clear_sweeps()
{
    pst.freq_requested = 0;
    pst.freq_defined = 0;
    pst.time_requested = 0;
    pst.time_defined = 0;
}

void init_plot_settings()
{
    pst.h_cols = pst.f_cols = pst.g_cols = 0;
    pst.drfact_col = pst.dropfact_col = pst.drscfact_col = 0;
    pst.sens_col = pst.abssens_col = pst.relsens_col = 0;
    pst.onoise_col = pst.dr_col = 0;
    pst.fkinvf_col = pst.gwinvg_col = pst.fwf_col = pst.gkg_col = 0;
    pst.current_col = 0;
    pst.h_time = pst.f_time = pst.g_time = 0;
    free_varlist(pst.plot_vars);
    pst.plot_vars = new_varlist();
}

void clear_plot_columns()
{
    free_varlist(pst.plot_vars);
    pst.plot_vars = nullptr;
    pst.freq_values = std::vector<double>();
}

void freq_table_lin()
{
    int p = pst.freq_points;
    if (p < 1)
        fatal("number of frequency intervals zero or negative");
    // The sweep has p + 1 points, and that count must fit an int.
    if (p == INT_MAX)
        check_alloc(nullptr, "frequency table");
    std::vector<double> &v = pst.freq_values;
    checked_resize(v, (size_t)p + 1, "frequency table");
    for (int i = 0; i <= p; i++)
        v[i] = lin_point(i, p, pst.freq_start, pst.freq_stop);
    pst.freq_last = p;
}

void freq_table_log()
{
    if (pst.freq_start <= 0.0 || pst.freq_stop <= 0.0)
        fatal("logarithmic frequency sweep with negative frequency requested");
    if (pst.freq_points <= 0)
        fatal("number of points per decade zero or negative");
    double r = pow(10.0, 1.0 / pst.freq_points);
    if (pst.freq_start > pst.freq_stop)
        r = 1.0 / r;
    double last = sweep_decades(pst.freq_start, pst.freq_stop) * pst.freq_points;
    // More points than an int can count cannot be held either.
    if (!(last < (double)INT_MAX))
        check_alloc(nullptr, "frequency table");
    pst.freq_last = (int)last;
    std::vector<double> &v = pst.freq_values;
    checked_resize(v, (size_t)pst.freq_last + 1, "frequency table");
    v[0] = pst.freq_start;
    for (int i = 1; i <= pst.freq_last; i++)
        v[i] = v[i - 1] * r;
}

void time_table()
{
    int p = pst.time_points;
    if (p < 1)
        fatal("number of time intervals zero or negative");
    if (p == INT_MAX)
        check_alloc(nullptr, "time table");
    std::vector<double> v;
    checked_resize(v, (size_t)p + 1, "time table");
    for (int k = 0; k <= p; k++)
        v[k] = lin_point(k, p, pst.time_start, pst.time_stop);
    pst.time_values = std::move(v);
    pst.time_last = p;
}

void print_freq_array()
{
    if (pst.freq_values.empty())
        return;
    for (int i = 0; i <= pst.freq_last; i++)
        printf("%d\t%e\n", i, pst.freq_values[i]);
}

void set_hertz_on() { pst.hertz_flag = 1; }
void set_hertz_off() { pst.hertz_flag = 0; }

static void freq_req() { pst.freq_requested = 1; }
static void time_req() { pst.time_requested = 1; }

void plot_h_magn() { pst.h_cols |= COL_MAGN; freq_req(); }
void plot_f_magn() { pst.f_cols |= COL_MAGN; freq_req(); }
void plot_g_magn() { pst.g_cols |= COL_MAGN; freq_req(); }
void plot_h_phase() { pst.h_cols |= COL_PHASE; freq_req(); }
void plot_f_phase() { pst.f_cols |= COL_PHASE; freq_req(); }
void plot_g_phase() { pst.g_cols |= COL_PHASE; freq_req(); }
void plot_h_delay() { pst.h_cols |= COL_DELAY; freq_req(); }
void plot_f_delay() { pst.f_cols |= COL_DELAY; freq_req(); }
void plot_g_delay() { pst.g_cols |= COL_DELAY; freq_req(); }
void plot_h_db() { pst.h_cols |= COL_DB; freq_req(); }
void plot_f_db() { pst.f_cols |= COL_DB; freq_req(); }
void plot_g_db() { pst.g_cols |= COL_DB; freq_req(); }
void plot_h_reim() { pst.h_cols |= COL_REIM; freq_req(); }
void plot_f_reim() { pst.f_cols |= COL_REIM; freq_req(); }
void plot_g_reim() { pst.g_cols |= COL_REIM; freq_req(); }
void plot_dropfact() { pst.dropfact_col = 1; freq_req(); }
void plot_drscfact() { pst.drscfact_col = 1; freq_req(); }
void plot_drfact() { pst.drfact_col = 1; freq_req(); }
void plot_relsens(int sel) { pst.relsens_col = sel; freq_req(); }
void plot_sens(int sel) { pst.sens_col = sel; freq_req(); }
void plot_abssens(int sel) { pst.abssens_col = sel; freq_req(); }
void plot_onoise() { pst.onoise_col = 1; freq_req(); }
void plot_dr() { pst.dr_col = 1; freq_req(); }
void plot_current() { pst.current_col = 1; freq_req(); }
void plot_h_impulse() { pst.h_time |= COL_IMPULSE; time_req(); }
void plot_f_impulse() { pst.f_time |= COL_IMPULSE; time_req(); }
void plot_g_impulse() { pst.g_time |= COL_IMPULSE; time_req(); }
void plot_h_step() { pst.h_time |= COL_STEP; time_req(); }
void plot_f_step() { pst.f_time |= COL_STEP; time_req(); }
void plot_g_step() { pst.g_time |= COL_STEP; time_req(); }
void plot_fkinvf() { pst.fkinvf_col = 1; freq_req(); }
void plot_gwinvg() { pst.gwinvg_col = 1; freq_req(); }
void plot_fwf() { pst.fwf_col = 1; freq_req(); }
void plot_gkg() { pst.gkg_col = 1; freq_req(); }

void plot_expression(const char *name)
{
    freq_req();
    if (!ist.vars || !name)
        return;
    var **slot = varlist_find(ist.vars, name);
    if (!slot)
        return;
    if (!pst.plot_vars)
        pst.plot_vars = new_varlist();
    varlist_add(pst.plot_vars, *slot);
}
