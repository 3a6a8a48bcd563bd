#include "interp/act_realise.h"

#include <cstdio>

#include "filter/capdiv.h"
#include "filter/current.h"
#include "filter/report.h"
#include "filter/ss.h"
#include "filter/transform.h"
#include "filter/transform_check.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/matrix.h"

namespace {

int per_line() { return per_line_count(getvar("fmax")); }

// The transform's result s, checked against the transfer function of the
// current filter mapped by m, becomes the current filter keeping the
// capacitor array; false (the filter unchanged) when the check refuses it.
bool checked(const char *item, const frequency_map &m, ss s)
{
    if (s.n < 1)
        return false;
    transfer_reference ref = transfer_reference_of(fst, m);
    if (!transformed_realises(fst, item, ref, s))
        return false;
    take_realisation(s);
    return true;
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
    frequency_map m;
    m.kind = frequency_map::bandpass;
    m.w0 = w0;
    m.bw = bw;
    if (!checked("bandpass", m, bandpass_ss(fst.cur_filter, w0, bw)))
        return;
    new_caps(&fst.cur_filter, fst.cur_filter.n);
    pair_up(&fst.cur_K, bw);
    pair_up(&fst.cur_W, 1.0 / bw);
    settle_gramians(fst);
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
    frequency_map m;
    m.kind = frequency_map::lowpass;
    m.f = f;
    if (!checked("lowpass", m, lowpass_ss(fst.cur_filter, f)))
        return;
    scale_cached(&fst.cur_K, f);
    scale_cached(&fst.cur_W, 1.0 / f);
    settle_gramians(fst);
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
    install_checked("orthogonal", orthogonal_ss(fst.ana));
}

void act_tr_transpose()
{
    if (!filter_defined())
        return;
    install_checked("transpose", transpose_ss(fst.cur_filter));
}
