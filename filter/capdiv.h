// Division of the total capacitance ctot over the integrators of a filter.
#pragma once

#include "filter/ss.h"
#include "numeric/types.h"

// Equal division (optimal == 0): ctot / n each. Optimal division: c_i in
// proportion to sqrt(W_ii g_i), g_i = sum_j |A_ij| + |B_i|. Nothing changes
// without ctot; an optimal division without a usable W is refused with an
// error and leaves the values as they were.
void divide_caps(cap_ss &filter, const matrix &W, int optimal);
