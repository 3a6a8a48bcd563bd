// The dynamic-range report of the current filter and the maximum output
// level under L-infinity scaling, which needs the peak searches.
#pragma once

#include <cstdio>

#include "filter/current.h"

// umax divided by the largest L-infinity top of the F_i of the filter of a.
double u_out_max_inf(analysis_ctx &a);
// Top of H times u_out_max_inf(a): the maximum output level under
// L-infinity scaling.
double out_max_inf(analysis_ctx &a);
// The dynamic-range report of the filter f (noise, maximum output level,
// dynamic range), computing the missing Gramians first. Reports "no filter
// defined" when there is no current filter.
void print_dr(FILE *fp, filter_state &f);
