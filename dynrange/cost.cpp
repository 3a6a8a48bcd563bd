// Noise cost of a realisation after scaling.
#include "dynrange/cost.h"

#include <cfloat>
#include <cmath>

#include "dynrange/peaks.h"
#include "dynrange/scale.h"
#include "filter/current.h"
#include "filter/gramian.h"
#include "filter/transfer.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/matrix.h"

double filter_cost_sum(const ss &s, const matrix &W)
{
    int n = s.n;
    double sum = 0.0;
    for (int i = 0; i < n; i++) {
        double g = std::fabs(s.B.data[i]);
        for (int j = 0; j < n; j++)
            g += std::fabs(s.A.data[j * n + i]);
        double t = W.data[i * n + i] * g;
        sum += ist.optc_flag == 1 ? std::sqrt(t) : t;
    }
    return ist.optc_flag == 1 ? sum * sum : sum;
}

double filter_cost()
{
    double *v = getvar("sf");
    double sf = v ? *v : 1.0;
    if (fst.cur_filter.n < 1)
        return 0.0;
    // the peak search works on the analysis copy: make sure it is this filter
    if (fst.ana_ss.A.data != fst.cur_filter.A.data || fst.ana_ss.n != fst.cur_filter.n)
        analysis_prep(fst.cur_filter);
    if (do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, sf) != 0)
        return 0.0;
    if (fst.cur_W.cols == 0)
        fst.cur_W = calc_w(fst.cur_filter, 0);
    if (fst.cur_W.cols == 0)
        return 0.0;
    return filter_cost_sum(fst.cur_filter, fst.cur_W);
}

double dr_of_filter(ss &s, int *status) { return dr_of_filter_with(s, matrix(), matrix(), status); }

namespace {

// The cost of s, scaled in place with W and K (released); the analysis data
// that the peak search reads is ready. With prepare the scaled record
// becomes the analysis copy.
double scaled_cost(ss &s, matrix W, matrix K, bool prepare, int *status)
{
    int bad = try_scale(s, W, &K, 0, 0, pks.dr_scale, prepare);
    freem(&K);
    if (bad) {
        freem(&W);
        *status = dr_no_scale;
        return DBL_MAX;
    }
    if (W.cols == 0)
        W = calc_w(s, 0);
    if (W.cols == 0) {
        *status = dr_no_w;
        return DBL_MAX;
    }
    double cost = filter_cost_sum(s, W);
    freem(&W);
    // A W whose diagonal comes out negative or undefined (an ill-conditioned
    // candidate) is no Gramian: its cost would look better than any real one.
    if (!(cost > 0.0) || !std::isfinite(cost)) {
        *status = dr_no_w;
        return DBL_MAX;
    }
    *status = dr_ok;
    return cost;
}

}  // namespace

double dr_of_filter_with(ss &s, matrix W, matrix K, int *status)
{
    analysis_prep(s);
    double cost = scaled_cost(s, W, K, false, status);
    // the scaling has changed the record that the analysis copy shares
    analysis_free();
    return cost;
}

double dr_of_similar(const ss &s, const matrix &T, const matrix &Ti, matrix W, matrix K, int *status)
{
    if (fst.ana_ss.A.data != s.A.data || fst.ana_ss.B.data != s.B.data || fst.ana_ss.C.data != s.C.data
        || fst.ana_ss.n != s.n || fst.ana_ss.D != s.D)
        analysis_prep(s);
    ss t = transform_ss2(T, Ti, s);
    set_similarity_view(T, Ti);
    double cost = scaled_cost(t, W, K, false, status);
    clear_similarity_view();
    free_ss(&t);
    return cost;
}

void dr_scale_from_sf()
{
    double *v = getvar("sf");
    pks.dr_scale = v ? *v : 1.0;
}

double dr_change_db(double cost0, double cost) { return 10.0 * std::log10(cost0 / cost); }

bool usable_cost(double cost) { return cost > 0.0 && cost < DBL_MAX; }
