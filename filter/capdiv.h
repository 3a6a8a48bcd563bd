// Division of the total capacitance ctot over the integrators of a filter.
#pragma once

#include "filter/ss.h"
#include "numeric/types.h"

// Equal division (optimal == 0): ctot / n each. Optimal division: c_i in
// proportion to sqrt(W_ii g_i), g_i = sum_j |A_ij| + |B_i|. Nothing changes
// without ctot. Every capacitor value must come out positive: a ctot that is
// not positive, an optimal division without a usable W or with an
// integrator that contributes no noise (it would get no capacitance) is
// refused with an error, leaves the values as they were and gives false.
bool divide_caps(cap_ss &filter, const matrix &W, int optimal);
// The index of the first of the n values at c that is not positive and
// finite (a capacitance), or -1 when all are.
int bad_cap_index(const double *c, int n);
// Whether the filter's capacitor values are set: all positive. A filter that
// has none yet (zeros, as a new filter has them until caps = or a division
// of ctot gives them) is reported with "the capacitor values of this filter
// are not set" by the readers that divide by them.
bool caps_set(const cap_ss &filter);
void report_caps_not_set();
