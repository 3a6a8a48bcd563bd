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

double filter_cost(filter_state &f)
{
    double *v = getvar("sf");
    double sf = v ? *v : 1.0;
    if (f.cur_filter.n < 1)
        return 0.0;
    // the peak search reads the filter's analysis data: make sure they are its own
    if (f.ana.ana_ss.A.data != f.cur_filter.A.data || f.ana.ana_ss.n != f.cur_filter.n)
        analysis_prep(f.ana, f.cur_filter);
    if (do_scale(f.ana, f.cur_filter, f.cur_W, &f.cur_K, 0, 0, sf) != 0)
        return 0.0;
    if (f.cur_W.cols == 0)
        f.cur_W = calc_w(f.ana, f.cur_filter, 0);
    if (f.cur_W.cols == 0)
        return 0.0;
    return filter_cost_sum(f.cur_filter, f.cur_W);
}

double dr_of_filter(ss &s, int *status) { return dr_of_filter_with(s, matrix(), matrix(), status); }

namespace {

// The cost of s, scaled in place with W and K (released); a holds the
// analysis data of s, or sees s through a similarity view.
double scaled_cost(analysis_ctx &a, ss &s, matrix W, matrix K, int *status)
{
    int bad = try_scale(a, s, W, &K, 0, 0, pks.dr_scale, false);
    freem(&K);
    if (bad) {
        freem(&W);
        *status = dr_no_scale;
        return DBL_MAX;
    }
    if (W.cols == 0)
        W = calc_w(a, s, 0);
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
    // the candidate's own analysis data, dropped with it: the scaling
    // changes the record that they share
    analysis_ctx a;
    analysis_prep(a, s);
    return scaled_cost(a, s, W, K, status);
}

double dr_of_similar(analysis_ctx &a, const ss &s, const matrix &T, const matrix &Ti, matrix W, matrix K,
                     int *status)
{
    if (!analysis_of(a, s))
        analysis_prep(a, s);
    ss t = transform_ss2(T, Ti, s);
    set_similarity_view(a, T, Ti);
    double cost = scaled_cost(a, t, W, K, status);
    clear_similarity_view(a);
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
