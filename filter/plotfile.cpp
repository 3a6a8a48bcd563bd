#include "filter/plotfile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "filter/bias_level.h"
#include "filter/current.h"
#include "filter/gramian.h"
#include "filter/report.h"
#include "filter/sweep.h"
#include "filter/timeresp.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/eval.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "base/outfile.h"
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
    double mz = cmod(z);
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

static void name_col(FILE *fp, const char *name)
{
    fprintf(fp, "%15s", name);
}

// Per-integrator name such as "magn(F1)".
static void name_int(FILE *fp, const char *prefix, int i)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%s%1d%1s", prefix, i, ")");
    fprintf(fp, "%15s", buf);
}

static void num_col(FILE *fp, double x)
{
    fprintf(fp, "%15e", x);
}

static void star_col(FILE *fp)
{
    fprintf(fp, "%15s", "*");
}

// The Gramian of a W column is usable only when it is n x n; an undetermined
// W (a pole on the imaginary axis) gives "*" in those columns.
static int w_usable(int n)
{
    return fst.cur_W.rows == n && fst.cur_W.cols == n && n > 0;
}

static void names_of_response(FILE *fp, int cols, char r, int n)
{
    static const struct {
        int bit;
        const char *kind;
    } kinds[] = {{COL_MAGN, "magn"}, {COL_PHASE, "phase"}, {COL_DELAY, "delay"}, {COL_DB, "db"}};
    for (int i = 1; i <= n; i++) {
        for (auto &k : kinds) {
            if (cols & k.bit) {
                std::string prefix = std::string(k.kind) + "(" + r;
                name_int(fp, prefix.c_str(), i);
            }
        }
        if (cols & COL_REIM) {
            name_int(fp, (std::string("real(") + r).c_str(), i);
            name_int(fp, (std::string("imag(") + r).c_str(), i);
        }
    }
}

// One row's fields of the F or G columns: z holds the n values, delays the
// 1 x n group delays (only read when the delay bit is set).
static void values_of_response(FILE *fp, int cols, const cmatrix &z, const matrix &delays, int n)
{
    for (int i = 0; i < n; i++) {
        complex v = z.data[i];
        if (cols & COL_MAGN)
            num_col(fp, cmod(v));
        if (cols & COL_PHASE)
            num_col(fp, std::atan2(v.im, v.re));
        if (cols & COL_DELAY)
            num_col(fp, delays.data[i]);
        if (cols & COL_DB)
            num_col(fp, cdb(v));
        if (cols & COL_REIM) {
            num_col(fp, v.re);
            num_col(fp, v.im);
        }
    }
}

// A Gramian for the pair columns: the cached one, or one solved for them.
static matrix pair_gramian(int want_k)
{
    const matrix &cached = want_k ? fst.cur_K : fst.cur_W;
    if (cached.cols > 0)
        return mcopy(cached);
    return want_k ? calc_k(fst.cur_filter, 0, 0) : calc_w(fst.cur_filter, 0);
}

static void pair_fields(FILE *fp, cmatrix prod, const char *label, double factor)
{
    if (prod.rows != 1 || prod.cols != 1) {
        fprintf(stderr, "Error: %s not (1x1).\n", label);
        exit(1);
    }
    fprintf(fp, "%15e%15e", factor * prod.data[0].re, factor * prod.data[0].im);
}

// F^H M F (f_side) or G M G^H, M real n x n.
static cmatrix quad_form(const cmatrix &v, const matrix &M, int f_side)
{
    cmatrix res;
    if (f_side) {
        cmatrix vh = cadjoint(v);
        cmatrix t = cmmul_cr(vh, M);
        res = cmmul(t, v);
        cfreem(&vh);
        cfreem(&t);
    } else {
        cmatrix vh = cadjoint(v);
        cmatrix t = cmmul_cr(v, M);
        res = cmmul(t, vh);
        cfreem(&vh);
        cfreem(&t);
    }
    return res;
}

void write_freq_table(FILE *fp)
{
    int n = fst.cur_filter.n;
    reset_phase();
    int dropfact_first = 1;

    // Header.
    fprintf(fp, "#%14s", pst.hertz_flag ? "freq.(Hz)" : "freq.(rps)");
    if (pst.h_cols & COL_MAGN)
        name_col(fp, "magn(H)");
    if (pst.h_cols & COL_PHASE)
        name_col(fp, "phase(H)");
    if (pst.h_cols & COL_DELAY)
        name_col(fp, "delay(H)");
    if (pst.h_cols & COL_DB)
        name_col(fp, "db(H)");
    if (pst.h_cols & COL_REIM) {
        name_col(fp, "real(H)");
        name_col(fp, "imag(H)");
    }
    if (pst.f_cols)
        names_of_response(fp, pst.f_cols, 'F', n);
    if (pst.g_cols)
        names_of_response(fp, pst.g_cols, 'G', n);
    if (pst.current_col)
        for (int i = 1; i <= n; i++) {
            char buf[32];
            snprintf(buf, sizeof buf, "current(%d)", i);
            name_col(fp, buf);
        }
    if (pst.drfact_col)
        name_col(fp, "drfact");
    if (pst.dropfact_col)
        name_col(fp, "dropfact");
    if (pst.drscfact_col)
        name_col(fp, "drscfact");
    if (pst.relsens_col)
        name_col(fp, "relsens");
    if (pst.sens_col)
        name_col(fp, "sens");
    if (pst.abssens_col)
        name_col(fp, "abssens");
    if (pst.onoise_col)
        name_col(fp, "onoise");
    double umax = 0.0;
    if (pst.dr_col) {
        if (!getvar("ctot")) {
            pst.dr_col = 0;
        } else {
            double *u = getvar("umax");
            if (!u)
                pst.dr_col = 0;
            else {
                umax = *u;
                name_col(fp, "dr");
            }
        }
    }
    if (pst.fkinvf_col)
        fprintf(fp, "%15s%15s", "re(F*KinvF)/2", "im(F*KinvF)/2");
    if (pst.gwinvg_col)
        fprintf(fp, "%15s%15s", "re(GWinvG*)/2", "im(GWinvG*)/2");
    if (pst.fwf_col)
        fprintf(fp, "%15s%15s", "re(F*WF)", "im(F*WF)");
    if (pst.gkg_col)
        fprintf(fp, "%15s%15s", "re(GKG*)", "im(GKG*)");
    unsigned nvars = pst.plot_vars ? pst.plot_vars->count : 0;
    for (unsigned v = 0; v < nvars; v++)
        name_col(fp, pst.plot_vars->entries[v]->name);
    fprintf(fp, "\n");

    if (pst.freq_log)
        freq_table_log();
    else
        freq_table_lin();

    // Inverted Gramians of the pair columns, formed once for the table.
    matrix Kinv, Winv, Kp, Wp;
    if (pst.fkinvf_col || pst.gkg_col)
        Kp = pair_gramian(1);
    if (pst.gwinvg_col || pst.fwf_col)
        Wp = pair_gramian(0);
    if (pst.fkinvf_col)
        Kinv = minv(Kp);
    if (pst.gwinvg_col)
        Winv = minv(Wp);

    // The named columns put each w into fr; its own definition comes back
    // after the table.
    var *fr = nullptr;
    expr_node *fr_saved = nullptr;
    if (nvars > 0) {
        var **slot = varlist_find(ist.vars, "fr");
        if (!slot)
            fatal("variable fr is not defined");
        fr = *slot;
        fr_saved = fr->definition;
        fr->definition = nullptr;
    }

    int need_f = pst.f_cols || pst.fkinvf_col || pst.fwf_col;
    int need_g = pst.g_cols || pst.gwinvg_col || pst.gkg_col;
    for (int k = 0; k <= pst.freq_last; k++) {
        double f = pst.freq_values[k];
        double w = pst.hertz_flag ? f * two_pi : f;
        num_col(fp, f);
        if (pst.h_cols) {
            complex h = h_jw(w);
            if (pst.h_cols & COL_MAGN)
                num_col(fp, cmod(h));
            if (pst.h_cols & COL_PHASE)
                num_col(fp, unwrap_phase(h));
            if (pst.h_cols & COL_DELAY)
                num_col(fp, delay_h(w));
            if (pst.h_cols & COL_DB)
                num_col(fp, cdb(h));
            if (pst.h_cols & COL_REIM) {
                num_col(fp, h.re);
                num_col(fp, h.im);
            }
        }
        cmatrix F, G;
        if (need_f)
            F = f_jw(w);
        if (need_g)
            G = g_jw(w);
        if (pst.f_cols) {
            matrix d;
            if (pst.f_cols & COL_DELAY)
                d = delay_f(w, F);
            values_of_response(fp, pst.f_cols, F, d, n);
            freem(&d);
        }
        if (pst.g_cols) {
            matrix d;
            if (pst.g_cols & COL_DELAY)
                d = delay_g(w, G);
            values_of_response(fp, pst.g_cols, G, d, n);
            freem(&d);
        }
        if (pst.current_col)
            for (int j = 0; j < n; j++)
                num_col(fp, bias_level(w, j));
        if (pst.drfact_col) {
            if (w_usable(n))
                num_col(fp, drfact_jw(w, fst.cur_W));
            else
                star_col(fp);
        }
        if (pst.dropfact_col) {
            double *eps = getvar("epsrel");
            if (eps && w_usable(n))
                num_col(fp, dropfact(w, fst.cur_W, *eps, dropfact_first));
            else
                star_col(fp);
            dropfact_first = 0;
        }
        if (pst.drscfact_col) {
            if (w_usable(n))
                num_col(fp, drscfact_jw(w, fst.cur_W));
            else
                star_col(fp);
        }
        if (pst.relsens_col)
            num_col(fp, relsens_jw(w, pst.relsens_col));
        if (pst.sens_col)
            num_col(fp, sens_jw(w, pst.sens_col));
        if (pst.abssens_col)
            num_col(fp, abssens_jw(w, pst.abssens_col));
        if (pst.onoise_col)
            num_col(fp, std::sqrt(onoise_jw(w, fst.cur_filter)));
        if (pst.dr_col) {
            if (w_usable(n))
                num_col(fp, 10.0 * std::log10(dr_jw(w, fst.cur_filter, fst.cur_W, umax)));
            else
                star_col(fp);
        }
        if (pst.fkinvf_col) {
            cmatrix p = quad_form(F, Kinv, 1);
            pair_fields(fp, p, "fkf", 0.5);
            cfreem(&p);
        }
        if (pst.gwinvg_col) {
            cmatrix p = quad_form(G, Winv, 0);
            pair_fields(fp, p, "gwg", 0.5);
            cfreem(&p);
        }
        if (pst.fwf_col) {
            cmatrix p = quad_form(F, Wp, 1);
            pair_fields(fp, p, "fwf", 1.0);
            cfreem(&p);
        }
        if (pst.gkg_col) {
            cmatrix p = quad_form(G, Kp, 0);
            pair_fields(fp, p, "gkg", 1.0);
            cfreem(&p);
        }
        for (unsigned v = 0; v < nvars; v++) {
            free_expr(fr->definition);
            fr->definition = new_numb(w);
            expr_node *r = eval_expr(ist.vars, pst.plot_vars->entries[v]->definition);
            if (is_number(r))
                num_col(fp, r->value);
            else
                star_col(fp);
            free_expr(r);
        }
        cfreem(&F);
        cfreem(&G);
        fprintf(fp, "\n");
    }
    fprintf(fp, "\n");

    if (fr) {
        free_expr(fr->definition);
        fr->definition = fr_saved;
        // A K taken at a single frequency may have been computed while fr
        // held a sweep value: compute it afresh when it is needed next.
        if (ist.sfr_flag)
            drop_k();
    }
    freem(&Kinv);
    freem(&Winv);
    freem(&Kp);
    freem(&Wp);
}

void write_time_table(FILE *fp)
{
    int n = fst.cur_filter.n;
    fprintf(fp, "#%14s", "time");
    if (pst.h_time & COL_IMPULSE)
        name_col(fp, "impulse(H)");
    if (pst.h_time & COL_STEP)
        name_col(fp, "step(H)");
    const struct {
        int *bits;
        int bit;
        const char *prefix;
    } groups[] = {{&pst.f_time, COL_IMPULSE, "impulse(F"},
                  {&pst.f_time, COL_STEP, "step(F"},
                  {&pst.g_time, COL_IMPULSE, "impulse(G"},
                  {&pst.g_time, COL_STEP, "step(G"}};
    for (auto &g : groups)
        if (*g.bits & g.bit)
            for (int i = 1; i <= n; i++)
                name_int(fp, g.prefix, i);
    fprintf(fp, "\n");

    time_table();
    time_rows rows(pst.time_values, pst.time_last + 1, pst.h_time, pst.f_time, pst.g_time);
    const std::vector<double> *values[4] = {&rows.f, &rows.fs, &rows.g, &rows.gs};
    for (int k = 0; k <= pst.time_last; k++) {
        rows.at(k);
        num_col(fp, pst.time_values[k]);
        if (pst.h_time & COL_IMPULSE)
            num_col(fp, rows.h);
        if (pst.h_time & COL_STEP)
            num_col(fp, rows.hs);
        for (int gi = 0; gi < 4; gi++) {
            if (!(*groups[gi].bits & groups[gi].bit))
                continue;
            for (int i = 0; i < n; i++)
                num_col(fp, (*values[gi])[i]);
        }
        fprintf(fp, "\n");
    }
    fprintf(fp, "\n");
}

void plot_cmd()
{
    if (!filter_defined())
        return;
    int want_freq = pst.freq_requested && pst.freq_defined;
    int want_time = pst.time_requested && pst.time_defined;
    if (!want_freq && !want_time) {
        error("plot requested without frequency or time specification");
        return;
    }
    std::string name = ist.base_name + ".plot";
    FILE *fp = out_open(name.c_str());
    if (!fp) {
        perror(name.c_str());
        exit(1);
    }
    if (want_freq)
        write_freq_table(fp);
    if (want_time)
        write_time_table(fp);
    out_commit(fp);
    pst.freq_requested = 0;
    pst.time_requested = 0;
}
