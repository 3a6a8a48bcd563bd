// The noise cost of a realisation, the figure that the dynamic-range searches
// minimise: the lower the cost, the better the dynamic range.
#pragma once

#include "filter/analysis.h"
#include "filter/current.h"
#include "filter/ss.h"
#include "numeric/types.h"

// Status of one cost evaluation.
enum dr_status {
    dr_ok = 0,
    dr_no_convergence = 1,  // the ladder synthesis did not converge
    dr_no_w = 2,            // W cannot be computed
    dr_no_solution = 3,     // the ladder synthesis gave no solution
    dr_no_scale = 5,        // the record cannot be scaled
};

// With g_i = |B_i| + sum_j |A_ij| and t_i = W_ii g_i: (sum_i sqrt t_i)^2 when
// the capacitance is divided optimally (`set: optc;`), else sum_i t_i.
double filter_cost_sum(const ss &s, const matrix &W);
// Scales the filter f in place (its cached K and W follow) with the
// target peak from the variable sf (1 without it), solves W when it is not
// cached and returns the cost of the scaled filter; 0 when the filter cannot
// be scaled or W cannot be found.
double filter_cost(filter_state &f);
// Cost of one candidate record: its own analysis data are prepared for its
// peak search, it is scaled in place from empty Gramians with the target
// peak pks.dr_scale, and W is solved; the analysis data are dropped after
// (they would be stale: the scaled record is not prepared again). A failure gives the largest double and *status dr_no_scale or
// dr_no_w (also for a cost that is not positive and finite); success gives
// dr_ok.
double dr_of_filter(ss &s, int *status);
// The same when the Gramians of the unscaled record are known already (a
// record reached by a similarity transformation from one whose Gramians
// were solved): W and K, when not empty, are scaled with the record instead
// of being solved again. Both handles are released.
double dr_of_filter_with(ss &s, matrix W, matrix K, int *status);
// The same for the record (T^-1 A T, T^-1 B, C T, D), T^-1 = Ti, with W and
// K those of that record (or empty; both released): its peaks are found
// through a similarity view of a, the analysis data of s (prepared when
// they are not), so that the candidates of a search over T need no
// preparation of their own. a stays that of s.
double dr_of_similar(analysis_ctx &a, const ss &s, const matrix &T, const matrix &Ti, matrix W, matrix K,
                     int *status);
// The target peak of the scaling in the costs of a search (pks.dr_scale)
// from the variable sf, or 1 when it gives no number.
void dr_scale_from_sf();
// 10 log10(cost0 / cost): the change of dynamic range from cost0 to cost.
double dr_change_db(double cost0, double cost);
// True for a start cost that a search can be measured against: positive,
// finite and not the failure value of dr_of_filter.
bool usable_cost(double cost);
