#include "filter/columns.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/error.h"
#include "base/eval.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "base/vars.h"
#include "filter/bias_level.h"
#include "filter/capdiv.h"
#include "filter/current.h"
#include "filter/gramian.h"
#include "filter/report.h"
#include "filter/timeresp.h"
#include "filter/transfer.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"

phase_state phase_st;

static const double two_pi = 6.283185307179586;

void reset_phase()
{
    phase_st.phase_started = 0;
}

double unwrap_phase(complex z)
{
    double p = std::atan2(z.im, z.re);
    double mz = cmod_scaled(z);
    // A zero value, or the infinite value at a pole, has no direction:
    // write the phase reached so far and leave the state as it was, so the
    // next point goes on from there.
    if (mz == 0.0 || !std::isfinite(mz))
        return phase_st.phase_started ? phase_st.prev_phase : p;
    double result;
    if (!phase_st.phase_started) {
        result = p;
        phase_st.phase_started = 1;
    } else {
        complex q = phase_st.prev;
        double mq = phase_st.prev_mod;
        double s = (z.im / mz) * (q.re / mq) - (z.re / mz) * (q.im / mq);
        // Rounding can push the sine of the turn just past 1.
        if (s > 1.0)
            s = 1.0;
        else if (s < -1.0)
            s = -1.0;
        double d = std::asin(s);
        result = p + two_pi * std::floor(0.5 + (phase_st.prev_phase + d - p) / two_pi);
    }
    phase_st.prev = z;
    phase_st.prev_mod = mz;
    phase_st.prev_phase = result;
    return result;
}

namespace {

using ps = plot_settings;

// The value of response c.resp at integrator i (H has one).
complex response(const freq_column &c, const freq_eval &e, int i)
{
    if (c.resp == 'H')
        return e.h;
    return c.resp == 'F' ? e.F.data[i] : e.G.data[i];
}

bool magn(const freq_column &c, freq_eval &e, int i, double *out)
{
    out[0] = cmod_scaled(response(c, e, i));
    return true;
}

// H has a continuous phase along the table; F and G take atan2 as it is.
// An infinite value (at a pole) has no phase.
bool phase(const freq_column &c, freq_eval &e, int i, double *out)
{
    complex v = response(c, e, i);
    if (!std::isfinite(v.re) || !std::isfinite(v.im))
        return false;
    out[0] = c.resp == 'H' ? unwrap_phase(v) : std::atan2(v.im, v.re);
    return true;
}

bool delay(const freq_column &c, freq_eval &e, int i, double *out)
{
    if (c.resp == 'H')
        out[0] = delay_h(e.fs.ana, e.w);
    else
        out[0] = (c.resp == 'F' ? e.delay_F : e.delay_G).data[i];
    return true;
}

bool db(const freq_column &c, freq_eval &e, int i, double *out)
{
    out[0] = cdb_scaled(response(c, e, i));
    return true;
}

bool reim(const freq_column &c, freq_eval &e, int i, double *out)
{
    complex v = response(c, e, i);
    out[0] = v.re;
    out[1] = v.im;
    return true;
}

bool current(const freq_column &, freq_eval &e, int i, double *out)
{
    if (!caps_set(e.fs.cur_filter))
        return false;
    out[0] = bias_level(e.fs.ana, e.fs.cur_filter, e.w, i);
    return true;
}

bool drfact(const freq_column &, freq_eval &e, int, double *out)
{
    if (!e.have_w)
        return false;
    out[0] = drfact_jw(e.fs.ana, e.w, e.fs.cur_W);
    return true;
}

// The plot file reads epsrel at every point, and a missing one leaves its
// cell "*"; the window reads it once, before its curves.
bool dropfact_value(const freq_column &, freq_eval &e, int, double *out)
{
    double *eps = e.reader == col_reader::file ? getvar("epsrel") : &e.epsrel;
    if (!eps || !e.have_w)
        return false;
    out[0] = dropfact(e.fs.ana, e.w, e.fs.cur_W, *eps, e.k == 0);
    return true;
}

bool drscfact(const freq_column &, freq_eval &e, int, double *out)
{
    if (!e.have_w)
        return false;
    out[0] = drscfact_jw(e.fs.ana, e.w, e.fs.cur_W);
    return true;
}

bool relsens(const freq_column &, freq_eval &e, int, double *out)
{
    out[0] = relsens_jw(e.fs.ana, e.w, pst.relsens_col);
    return true;
}

bool sens(const freq_column &, freq_eval &e, int, double *out)
{
    out[0] = sens_jw(e.fs.ana, e.w, pst.sens_col);
    return true;
}

bool abssens(const freq_column &, freq_eval &e, int, double *out)
{
    out[0] = abssens_jw(e.fs.ana, e.w, pst.abssens_col);
    return true;
}

// The output noise density; the plot file writes its square root.
bool onoise(const freq_column &, freq_eval &e, int, double *out)
{
    if (!caps_set(e.fs.cur_filter))
        return false;
    double v = onoise_jw(e.fs.ana, e.w, e.fs.cur_filter.cap);
    out[0] = e.reader == col_reader::file ? std::sqrt(v) : v;
    return true;
}

bool dr(const freq_column &, freq_eval &e, int, double *out)
{
    if (!e.have_w || !caps_set(e.fs.cur_filter))
        return false;
    // the noise only for a W of the filter's order, as dr_jw takes it
    const matrix &W = e.fs.cur_W;
    int n = e.fs.ana.ana_ss.n;
    double noise = n > 0 && W.rows == n && W.cols == n ? noise_total(e.fs.cur_filter, W) : NAN;
    out[0] = 10.0 * std::log10(dr_jw(e.fs.ana, e.w, noise, W, e.umax));
    return true;
}

// F^H M F (f_side) or G M G^H, M real n x n: a 1 x 1 value, times factor.
void pair_value(const cmatrix &v, const matrix &M, bool f_side, const char *label, double factor,
                double *out)
{
    cmatrix vh = cadjoint(v);
    cmatrix prod = f_side ? cmmul(cmmul_cr(vh, M), v) : cmmul(cmmul_cr(v, M), vh);
    if (prod.rows != 1 || prod.cols != 1) {
        fprintf(stderr, "Error: %s not (1x1).\n", label);
        exit(1);
    }
    out[0] = factor * prod.data[0].re;
    out[1] = factor * prod.data[0].im;
}

bool fkinvf(const freq_column &, freq_eval &e, int, double *out)
{
    pair_value(e.F, e.K_inv, true, "fkf", 0.5, out);
    return true;
}

bool gwinvg(const freq_column &, freq_eval &e, int, double *out)
{
    pair_value(e.G, e.W_inv, false, "gwg", 0.5, out);
    return true;
}

bool fwf(const freq_column &, freq_eval &e, int, double *out)
{
    pair_value(e.F, e.W_pair, true, "fwf", 1.0, out);
    return true;
}

bool gkg(const freq_column &, freq_eval &e, int, double *out)
{
    pair_value(e.G, e.K_pair, false, "gkg", 1.0, out);
    return true;
}

// A named column: the variable's definition with fr at this w; no value
// when it does not come out as a number.
bool named(const freq_column &, freq_eval &e, int i, double *out)
{
    free_expr(e.fr->definition);
    e.fr->definition = new_numb(e.w);
    expr_node *r = eval_expr(ist.vars, pst.plot_vars->entries[i]->definition);
    bool ok = is_number(r);
    if (ok)
        out[0] = r->value;
    free_expr(r);
    return ok;
}

freq_column response_column(const char *item, char resp, int bit, const std::string &name,
                            const std::string &name2, int need,
                            bool (*value)(const freq_column &, freq_eval &, int, double *))
{
    int ps::*sel = resp == 'H' ? &ps::h_cols : resp == 'F' ? &ps::f_cols : &ps::g_cols;
    int source = resp == 'H' ? NEED_H : resp == 'F' ? NEED_F : NEED_G;
    return {item, resp, sel, bit, resp == 'H' ? ONE_CELL : PER_INTEGRATOR, name2.empty() ? 1 : 2,
            {name, name2}, source | need, true, value};
}

std::vector<freq_column> make_freq_columns()
{
    std::vector<freq_column> t;
    // H, F and G: magnitude, phase, delay, dB, real and imaginary part.
    const struct {
        const char *item;
        int bit;
        const char *name, *name2;  // the word before the response, as in "magn(H)"
        bool (*value)(const freq_column &, freq_eval &, int, double *);
    } kinds[] = {{"magn", COL_MAGN, "magn(", nullptr, magn},
                 {"phase", COL_PHASE, "phase(", nullptr, phase},
                 {"delay", COL_DELAY, "delay(", nullptr, delay},
                 {"db", COL_DB, "db(", nullptr, db},
                 {"", COL_REIM, "real(", "imag(", reim}};
    for (char r : {'H', 'F', 'G'})
        for (auto &k : kinds) {
            const char *end = r == 'H' ? "H)" : r == 'F' ? "F" : "G";
            std::string n1 = std::string(k.name) + end;
            std::string n2 = k.name2 ? std::string(k.name2) + end : "";
            int delay_need = k.bit != COL_DELAY || r == 'H' ? 0 : r == 'F' ? NEED_DELAY_F : NEED_DELAY_G;
            t.push_back(response_column(k.item, r, k.bit, n1, n2, delay_need, k.value));
        }
    // The rest, in file order.
    t.push_back({"outputcurrents", 0, &ps::current_col, 0, PER_INTEGRATOR, 1, {"current(", ""},
                 NEED_CAPS, true, current});
    t.push_back({"drfact", 0, &ps::drfact_col, 0, ONE_CELL, 1, {"drfact", ""}, NEED_W, true, drfact});
    t.push_back({"dropfact", 0, &ps::dropfact_col, 0, ONE_CELL, 1, {"dropfact", ""},
                 NEED_W | NEED_EPSREL, true, dropfact_value});
    t.push_back({"drscfact", 0, &ps::drscfact_col, 0, ONE_CELL, 1, {"drscfact", ""}, NEED_W, true,
                 drscfact});
    t.push_back({"relsens", 0, &ps::relsens_col, 0, ONE_CELL, 1, {"relsens", ""}, 0, true, relsens});
    t.push_back({"sens", 0, &ps::sens_col, 0, ONE_CELL, 1, {"sens", ""}, 0, true, sens});
    t.push_back({"abssens", 0, &ps::abssens_col, 0, ONE_CELL, 1, {"abssens", ""}, 0, true, abssens});
    t.push_back({"onoise", 0, &ps::onoise_col, 0, ONE_CELL, 1, {"onoise", ""}, NEED_CAPS, true, onoise});
    t.push_back({"dr", 0, &ps::dr_col, 0, ONE_CELL, 1, {"dr", ""}, NEED_W | NEED_CAPS | NEED_UMAX, true, dr});
    // The pair columns; no item selects them.
    t.push_back({"", 0, &ps::fkinvf_col, 0, ONE_CELL, 2, {"re(F*KinvF)/2", "im(F*KinvF)/2"},
                 NEED_F | NEED_K_PAIR | NEED_K_INV, false, fkinvf});
    t.push_back({"", 0, &ps::gwinvg_col, 0, ONE_CELL, 2, {"re(GWinvG*)/2", "im(GWinvG*)/2"},
                 NEED_G | NEED_W_PAIR | NEED_W_INV, false, gwinvg});
    t.push_back({"", 0, &ps::fwf_col, 0, ONE_CELL, 2, {"re(F*WF)", "im(F*WF)"}, NEED_F | NEED_W_PAIR, false, fwf});
    t.push_back({"", 0, &ps::gkg_col, 0, ONE_CELL, 2, {"re(GKG*)", "im(GKG*)"}, NEED_G | NEED_K_PAIR, false, gkg});
    // The named columns, selected by their names.
    t.push_back({"", 0, nullptr, 0, PER_NAMED, 1, {"", ""}, NEED_FR, false, named});
    return t;
}

std::vector<time_column> make_time_columns()
{
    // The rows of one table come from one time_rows, which carries the
    // state of an evenly spaced table from row to row.
    return {{"impulse", 'H', &ps::h_time, COL_IMPULSE, ONE_CELL, "impulse(H)",
             [](const time_rows &r, int) { return r.h; }},
            {"step", 'H', &ps::h_time, COL_STEP, ONE_CELL, "step(H)",
             [](const time_rows &r, int) { return r.hs; }},
            {"impulse", 'F', &ps::f_time, COL_IMPULSE, PER_INTEGRATOR, "impulse(F",
             [](const time_rows &r, int i) { return r.f[i]; }},
            {"step", 'F', &ps::f_time, COL_STEP, PER_INTEGRATOR, "step(F",
             [](const time_rows &r, int i) { return r.fs[i]; }},
            {"impulse", 'G', &ps::g_time, COL_IMPULSE, PER_INTEGRATOR, "impulse(G",
             [](const time_rows &r, int i) { return r.g[i]; }},
            {"step", 'G', &ps::g_time, COL_STEP, PER_INTEGRATOR, "step(G",
             [](const time_rows &r, int i) { return r.gs[i]; }}};
}

// "%s%1d%1s" of the prefix, i counted from 1, and ")".
std::string indexed(const char *prefix, int i)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%s%1d%1s", prefix, i, ")");
    return buf;
}

bool selected(int ps::*sel, int bit)
{
    return bit ? (pst.*sel & bit) != 0 : pst.*sel != 0;
}

// A Gramian for the pair columns: the cached one, or one solved for them.
matrix pair_gramian(filter_state &f, bool want_k)
{
    const matrix &cached = want_k ? f.cur_K : f.cur_W;
    if (cached.cols > 0)
        return mcopy(cached);
    return want_k ? calc_k(f.ana, f.cur_filter, 0, 0) : calc_w(f.ana, f.cur_filter, 0);
}

}  // namespace

const std::vector<freq_column> freq_columns = make_freq_columns();

bool cell_value(const freq_cell &cell, freq_eval &e, double *out)
{
    const freq_column &c = *cell.col;
    if (!c.value(c, e, cell.i, out))
        return false;
    for (int j = 0; j < c.width; j++)
        if (!std::isfinite(out[j]))
            return false;
    return true;
}
const std::vector<time_column> time_columns = make_time_columns();

bool column_selected(const freq_column &c)
{
    if (c.shape == PER_NAMED)
        return pst.plot_vars && !pst.plot_vars->entries.empty();
    return selected(c.sel, c.bit);
}

bool column_selected(const time_column &c)
{
    return selected(c.sel, c.bit);
}

std::vector<time_cell> selected_time_cells(int n)
{
    std::vector<time_cell> cells;
    for (const time_column &c : time_columns)
        if (column_selected(c))
            for (int i = 0; i < (c.shape == PER_INTEGRATOR ? n : 1); i++)
                cells.push_back({&c, i});
    return cells;
}

int cell_count(const freq_column &c, int n)
{
    if (c.shape == PER_NAMED)
        return pst.plot_vars ? (int)pst.plot_vars->entries.size() : 0;
    return c.shape == PER_INTEGRATOR ? n : 1;
}

std::vector<std::string> cell_names(const freq_cell &cell)
{
    const freq_column &c = *cell.col;
    std::vector<std::string> names;
    for (int v = 0; v < c.width; v++) {
        if (c.shape == PER_NAMED)
            names.push_back(pst.plot_vars->entries[cell.i]->name);
        else if (c.shape == PER_INTEGRATOR)
            names.push_back(indexed(c.names[v].c_str(), cell.i + 1));
        else
            names.push_back(c.names[v]);
    }
    return names;
}

std::string cell_name(const time_column &c, int i)
{
    return c.shape == PER_INTEGRATOR ? indexed(c.name, i + 1) : c.name;
}

const freq_column *find_freq_column(const char *item, char resp)
{
    for (const freq_column &c : freq_columns)
        if (c.sel && c.resp == resp && std::strcmp(c.item, item) == 0 && (c.item[0] || resp))
            return &c;
    return nullptr;
}

const time_column *find_time_column(const char *item, char resp)
{
    for (const time_column &c : time_columns)
        if (c.resp == resp && std::strcmp(c.item, item) == 0)
            return &c;
    return nullptr;
}

void select_column(const freq_column &c, int value)
{
    if (c.bit)
        pst.*c.sel |= c.bit;
    else
        pst.*c.sel = value;
    pst.freq_requested = 1;
}

void select_column(const time_column &c)
{
    pst.*c.sel |= c.bit;
    pst.time_requested = 1;
}

freq_eval::~freq_eval()
{
    finish();
}

bool freq_eval::settings_ready(const freq_column &c)
{
    bool window = reader == col_reader::window;
    if ((c.needs & NEED_EPSREL) && window) {
        double *eps = getvar("epsrel");
        if (!eps) {
            error("epsrel is not defined");
            return false;
        }
        epsrel = *eps;
    }
    if (c.needs & NEED_UMAX) {
        if (!getvar("ctot")) {
            if (window)
                error("ctot is not defined");
            return false;
        }
        double *u = getvar("umax");
        if (!u) {
            if (window)
                error("umax is not defined");
            return false;
        }
        umax = *u;
    }
    // Columns that divide by the capacitor values, or multiply by them, have
    // no values without them: the window leaves them out, the file writes
    // "*"; said once per table.
    if ((c.needs & NEED_CAPS) && !caps_set(fs.cur_filter)) {
        if (!caps_reported)
            report_caps_not_set();
        caps_reported = true;
        return !window;
    }
    return true;
}

std::vector<freq_cell> freq_eval::select_cells()
{
    std::vector<freq_cell> cells;
    bool by_integrator = reader == col_reader::file;
    const size_t count = freq_columns.size();
    for (size_t j = 0; j < count; j++) {
        const freq_column &c = freq_columns[j];
        if (!column_selected(c) || (reader == col_reader::window && !c.in_window))
            continue;
        if (by_integrator && c.shape == PER_INTEGRATOR && c.resp) {
            // The selected columns of this response, integrator by integrator.
            size_t last = j;
            while (last + 1 < count && freq_columns[last + 1].resp == c.resp)
                last++;
            for (int i = 0; i < n; i++)
                for (size_t m = j; m <= last; m++)
                    if (column_selected(freq_columns[m]))
                        cells.push_back({&freq_columns[m], i});
            j = last;
            continue;
        }
        if (!settings_ready(c))
            continue;
        for (int i = 0; i < cell_count(c, n); i++)
            cells.push_back({&c, i});
    }
    return cells;
}

void freq_eval::begin(const std::vector<freq_cell> &cells)
{
    needs = 0;
    for (const freq_cell &cell : cells)
        needs |= cell.col->needs;
    have_w = n > 0 && fs.cur_W.rows == n && fs.cur_W.cols == n;
    if (needs & NEED_K_PAIR)
        K_pair = pair_gramian(fs, true);
    if (needs & NEED_W_PAIR)
        W_pair = pair_gramian(fs, false);
    if (needs & NEED_K_INV)
        K_inv = minv(K_pair);
    if (needs & NEED_W_INV)
        W_inv = minv(W_pair);
    if (needs & NEED_FR) {
        var **slot = varlist_find(ist.vars, "fr");
        if (!slot)
            fatal("variable fr is not defined");
        fr = *slot;
        fr_saved = fr->definition;
        fr->definition = nullptr;
    }
}

void freq_eval::at(int point, double omega)
{
    k = point;
    w = omega;
    free_point();
    if (needs & NEED_H)
        h = h_jw(fs.ana, w);
    if (needs & NEED_F)
        F = f_jw(fs.ana, w);
    if (needs & NEED_G)
        G = g_jw(fs.ana, w);
    if (needs & NEED_DELAY_F)
        delay_F = delay_f(fs.ana, w, F);
    if (needs & NEED_DELAY_G)
        delay_G = delay_g(fs.ana, w, G);
}

void freq_eval::free_point()
{
    F = cmatrix();
    G = cmatrix();
    delay_F = matrix();
    delay_G = matrix();
}

void freq_eval::finish()
{
    if (fr) {
        free_expr(fr->definition);
        fr->definition = fr_saved;
        fr = nullptr;
        // A K taken at a single frequency may have been computed while fr
        // held a sweep value: compute it afresh when it is needed next.
        if (ist.sfr_flag)
            drop_k();
    }
    free_point();
    K_pair = W_pair = K_inv = W_inv = matrix();
}
