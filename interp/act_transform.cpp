// Actions of the items `do`, `scale`, `scalew` and `scalek` of `transform:`.
#include "interp/act_transform.h"

#include <cmath>

#include "dynrange/optimize.h"
#include "dynrange/scale.h"
#include "filter/capdiv.h"
#include "filter/current.h"
#include "filter/report.h"
#include "filter/ss.h"
#include "filter/transform.h"
#include "filter/transform_check.h"
#include "base/error.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/efficiency.h"
#include "numeric/matrix.h"

namespace {

// Divides ctot over the integrators again when ctot exists, W is cached and
// the capacitor values follow ctot.
void re_divide()
{
    if (varlist_find(ist.vars, "ctot") && fst.cur_W.cols != 0 && ist.evalc_flag == 1)
        divide_caps(fst.cur_filter, fst.cur_W, ist.optc_flag);
}

// The scaled record s with its Gramians becomes the current filter.
void install_scaled(ss s, matrix W, matrix K)
{
    take_realisation(s);
    fst.cur_W = W;
    fst.cur_K = K;
    settle_gramians(fst);
}

void print_total(FILE *fp, double t)
{
    fprintf(fp, "Total filter efficiency: %f", t);
    if (t > 0)
        fprintf(fp, " (%1.2f dB)", 10 * std::log10(t));
    fprintf(fp, ".\n\n");
}

}  // namespace

void act_tr_do()
{
    FILE *fp = ist.out_fp;
    int per_line = per_line_count(getvar("fmax"));
    int level = bla_level();
    if (!filter_defined())
        return;
    if (level > 0)
        print_title(fp, "Optimization of Dynamic Range:", 80);
    ensure_w(fst);
    ensure_k(fst);
    if (fst.cur_W.cols == 0 || fst.cur_K.cols == 0) {
        error("cannot optimize: the Gramians of this filter cannot be determined");
        return;
    }
    matrix &K = fst.cur_K;
    matrix &W = fst.cur_W;
    if (level > 1) {
        fprintf(fp, "W =\n");
        print_matrix(fp, W, per_line);
        fprintf(fp, "K =\n");
        print_matrix(fp, K, per_line);
    }
    if (level > 0)
        fprintf(fp, "Efficiencies before optimization:\n\n");
    if (level > 1) {
        fprintf(fp, "e(K) = %f\n", e(K));
        fprintf(fp, "e(W) = %f\n", e(W));
        fprintf(fp, "e0 = %f.\n\n", e2(K, W));
    }
    if (level > 0)
        print_total(fp, e0(K, W));

    optimal_result r;
    if (!optimal_realisation(fst.cur_filter, K, W, &r, fp, ist.som_flag, per_line))
        return;  // reported by the optimiser; the filter stays as it was
    matrix P = r.P;

    transfer_reference ref = transfer_reference_of(fst, frequency_map{});
    if (!transformed_realises(fst, "do", ref, r.filter)) {
        free_ss(&r.filter);
        freem(&r.K);
        freem(&r.W);
        freem(&P);
        return;
    }
    take_realisation(r.filter);
    freem(&fst.cur_K);
    freem(&fst.cur_W);
    fst.cur_K = r.K;
    fst.cur_W = r.W;
    settle_gramians(fst);
    re_divide();

    if (level > 0) {
        fprintf(fp, "\nOptimized filter:\n\n");
        print_ss(fp, fst.cur_filter, per_line);
        fprintf(fp, "\nEfficiencies after optimization:\n\n");
    }
    if (level > 1) {
        fprintf(fp, "P' = K' = W' =\n");
        print_matrix(fp, P, per_line);
        fprintf(fp, "e(P) = %f.\n\n", e(P));
        fprintf(fp, "e0 = %f.\n\n", e2(P, P));
    }
    if (level > 0)
        print_total(fp, e0(P, P));
    freem(&P);
}

// Scaling works in place on the record it is given: the current filter's
// copy with copies of its cached Gramians is scaled, checked, and then takes
// the current filter's place.
void act_tr_scale()
{
    if (!filter_defined())
        return;
    transfer_reference ref = transfer_reference_of(fst, frequency_map{});
    ss s = copy_ss(fst.cur_filter);
    matrix W = fst.cur_W.cols != 0 ? mcopy(fst.cur_W) : matrix();
    matrix K = fst.cur_K.cols != 0 ? mcopy(fst.cur_K) : matrix();
    // the copy's own analysis data, for its peaks
    analysis_ctx a;
    analysis_prep(a, s);
    if (do_scale(a, s, W, &K, ist.num_flag, ist.sfr_flag, 1.0) != 0 || !transformed_realises(fst, "scale", ref, s))
        return;
    install_scaled(s, W, K);
    re_divide();
}

namespace {

// scalew (on W) and scalek (on K). do_scalew and do_scalek replace the
// record and both Gramians they are given: handed the current filter's
// handles, they leave the current filter alone until the result is checked.
void common_factor_item(expr_node *kappa, bool on_w)
{
    double k;
    if (!take_arg_value(kappa, &k) || !filter_defined())
        return;
    if (on_w)
        ensure_w(fst);
    else
        ensure_k(fst);
    if ((on_w ? fst.cur_W : fst.cur_K).cols == 0) {
        // a pole on the jw axis: no Gramian to scale by; the run goes on
        error(on_w ? "cannot scale: W of this filter cannot be determined"
                   : "cannot scale: K of this filter cannot be determined");
        return;
    }
    transfer_reference ref = transfer_reference_of(fst, frequency_map{});
    ss s = fst.cur_filter;
    matrix W = fst.cur_W, K = fst.cur_K;
    analysis_ctx a;
    (on_w ? do_scalew : do_scalek)(a, &s, &W, &K, k);
    // the same record: the factor was unusable ("cannot scale")
    if (s.A.data != fst.cur_filter.A.data && transformed_realises(fst, on_w ? "scalew" : "scalek", ref, s))
        install_scaled(s, W, K);
}

}  // namespace

void act_tr_scalew(expr_node *kappa) { common_factor_item(kappa, true); }

void act_tr_scalek(expr_node *kappa) { common_factor_item(kappa, false); }

void act_transform_end() {}
