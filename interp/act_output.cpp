#include "interp/act_output.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dynrange/bias.h"
#include "dynrange/peaks.h"
#include "filter/capdiv.h"
#include "filter/current.h"
#include "filter/gramian.h"
#include "dynrange/dr_report.h"
#include "filter/report.h"
#include "filter/ss.h"
#include "base/error.h"
#include "base/eval.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"
#include "numeric/vector.h"

namespace {

// Numbers per printed line of a matrix, from the variable fmax.
int per_line() { return per_line_count(getvar("fmax")); }

void print_polynomial(const char *title, const poly &p)
{
    fprintf(ist.out_fp, "%s", title);
    print_poly(p.coef, p.degree, ist.out_fp);
    fprintf(ist.out_fp, "\n");
}

}  // namespace

namespace {

// `output: K;` (k) or `output: W;`: the Gramian when every printed entry is
// within gramian_figure_tol of the geometric mean of its two diagonal
// entries (each diagonal entry within that of itself).
void print_gramian(bool k)
{
    const char *name = k ? "K" : "W";
    int pl = per_line();
    if (!filter_defined())
        return;
    matrix err;
    gramian_check c = checked_gramian(k, &err);
    if (c == gram_none) {
        error("%s cannot be determined for this filter", name);
        return;
    }
    if (c == gram_unsure) {
        error("%s cannot be determined to the printed digits for this filter: its solution does not settle "
              "under refinement, so it has no error bound",
              name);
        return;
    }
    const matrix &X = k ? fst.cur_K : fst.cur_W;
    double e = c == gram_checked ? gramian_entry_error(X, err) : 0.0;
    if (!(e <= gramian_figure_tol)) {
        char b[32];
        std::snprintf(b, sizeof b, "%.1e", e);
        error("%s cannot be determined to the printed digits for this filter: the error bound of an entry is %s "
              "of the geometric mean of its two diagonal entries",
              name, b);
        return;
    }
    fprintf(ist.out_fp, "%s =\n", name);
    print_matrix(ist.out_fp, X, pl);
}

}  // namespace

void act_out_w() { print_gramian(false); }

void act_out_k() { print_gramian(true); }

void act_out_poles()
{
    if (!filter_defined())
        return;
    printpoles(ist.out_fp, fst.cur_filter);
}

void act_out_zeros()
{
    if (!filter_defined())
        return;
    printzeros(ist.out_fp);
}

void act_out_dr() { print_dr(ist.out_fp); }

void act_out_filter()
{
    print_ss(ist.out_fp, fst.cur_filter, per_line());
}

void act_out_name(char *name)
{
    var **v = varlist_find(ist.vars, name);
    if (v) {
        expr_node *r = eval_expr(ist.vars, (*v)->definition);
        // An evaluation cut off by a bound has said why and gives no value.
        if (r)
            print_expr(ist.out_fp, r);
        else
            fprintf(ist.out_fp, "%s has no value.", name);
        free_expr(r);
    } else {
        fprintf(ist.out_fp, "%s is undefined.", name);
    }
    fputs("\n", ist.out_fp);
    xfree(name);
}

void act_out_caps()
{
    if (!getvar("ctot"))
        return;
    if (ist.optc_flag == 1) {
        if (ist.evalc_flag != 1)
            ensure_w();
        else if (fst.cur_filter.n > 0 && !w_for_division())
            return;
    }
    if (ist.evalc_flag == 1 && !divide_caps(fst.cur_filter, fst.cur_W, ist.optc_flag))
        return;
    const cap_ss &f = fst.cur_filter;
    for (int i = 0; f.cap && i < f.n; i++)
        fprintf(ist.out_fp, "c%d = %e\n", i + 1, f.cap[i]);
    fprintf(ist.out_fp, "\n");
}

void act_out_string(const char *text)
{
    fprintf(ist.out_fp, "%s\n", text);
}

void act_out_denominator()
{
    if (!filter_defined())
        return;
    nmat_ready();
    print_polynomial("Denominator polynomial:\n\n", fst.ana_den);
}

void act_out_numerator()
{
    if (!filter_defined())
        return;
    nmat_ready();
    print_polynomial("Numerator polynomial:\n\n", fst.ana_num);
}

void act_out_top_h()
{
    if (!filter_defined())
        return;
    // a filter whose entries lie near the ends of the range of doubles (a
    // lowpass to 1e-310) can leave the search with no number at all
    double top = linf_peak_h();
    if (std::isnan(top)) {
        error("the top of H cannot be computed for this filter");
        return;
    }
    fprintf(ist.out_fp, "Top of H: %g\n", top);
}

void act_out_top_f()
{
    if (!filter_defined())
        return;
    vector v = linf_peaks();
    for (int i = 0; i < v.n; i++)
        if (std::isnan(v.data[i])) {
            error("the top of F_%d cannot be computed for this filter", i + 1);
            freevector(&v);
            return;
        }
    fprintf(ist.out_fp, "Tops of F:\n");
    for (int i = 0; i < v.n; i++)
        fprintf(ist.out_fp, "%g\n", v.data[i]);
    freevector(&v);
}

void act_out_bias()
{
    if (!filter_defined())
        return;
    print_bias(ist.out_fp);
}
