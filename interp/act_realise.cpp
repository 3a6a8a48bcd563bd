#include "interp/act_realise.h"

#include <cstdio>

#include "filter/capdiv.h"
#include "filter/current.h"
#include "filter/report.h"
#include "filter/ss.h"
#include "filter/transform.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/matrix.h"

namespace {

int per_line() { return per_line_count(getvar("fmax")); }

// Replaces the current filter by s, keeping the capacitor array, and
// prepares its analysis data.
void replace_filter(ss s)
{
    free_ss(&fst.cur_filter);
    static_cast<ss &>(fst.cur_filter) = s;
    analysis_prep(fst.cur_filter);
}

// s (I_2 (x) M): every element M(i, j) at (2i + a, 2j + a), a = 0, 1, so that
// both integrators of a resonating pair take the Gramian entries of the
// lowpass integrator they came from.
void pair_up(matrix *m, double s)
{
    if (m->cols == 0)
        return;
    matrix i2 = mid(2, 2);
    matrix k = kron(i2, *m);
    matrix r = mscale(s, k);
    freem(&i2);
    freem(&k);
    freem(m);
    *m = r;
}

void scale_cached(matrix *m, double s)
{
    if (m->cols == 0)
        return;
    matrix r = mscale(s, *m);
    freem(m);
    *m = r;
}

// The capacitance is divided again when ctot exists, W is cached and the
// values follow ctot.
void redivide()
{
    if (varlist_find(ist.vars, "ctot") && fst.cur_W.cols != 0 && ist.evalc_flag == 1)
        divide_caps(fst.cur_filter, fst.cur_W, ist.optc_flag);
}

}  // namespace

void act_tr_bandpass(expr_node *e1, expr_node *e2)
{
    int pl = per_line();
    int level = bla_level();
    double w0, bw;
    bool ok = take_arg_value(e1, &w0);
    if (ok)
        ok = take_arg_value(e2, &bw);
    else
        free_expr(e2);
    if (!ok || !filter_defined() || !order_allowed(2 * fst.cur_filter.n))
        return;
    if (level > 0)
        print_title(ist.out_fp, "Bandpass Transform:", 80);
    ss s = bandpass_ss(fst.cur_filter, w0, bw);
    if (s.n < 1)
        return;
    replace_filter(s);
    new_caps(&fst.cur_filter, s.n);
    pair_up(&fst.cur_K, bw);
    pair_up(&fst.cur_W, 1.0 / bw);
    if (level > 0) {
        fprintf(ist.out_fp, "\nBandpass filter:\n\n");
        print_ss(ist.out_fp, fst.cur_filter, pl);
    }
}

void act_tr_lowpass(expr_node *e)
{
    int pl = per_line();
    int level = bla_level();
    double f;
    if (!take_arg_value(e, &f) || !filter_defined())
        return;
    if (level > 0)
        print_title(ist.out_fp, "Lowpass Transform:", 80);
    ss s = lowpass_ss(fst.cur_filter, f);
    if (s.n < 1)
        return;
    replace_filter(s);
    scale_cached(&fst.cur_K, f);
    scale_cached(&fst.cur_W, 1.0 / f);
    redivide();
    if (level > 0) {
        fprintf(ist.out_fp, "\nTransformed Filter:\n\n");
        print_ss(ist.out_fp, fst.cur_filter, pl);
    }
}

void act_tr_orthogonal()
{
    if (!filter_defined())
        return;
    install_filter(orthogonal_ss(fst.cur_filter));
}

void act_tr_transpose()
{
    if (!filter_defined())
        return;
    install_filter(transpose_ss(fst.cur_filter));
}
