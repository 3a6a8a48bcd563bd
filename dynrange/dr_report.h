// The dynamic-range report of the current filter and the maximum output
// level under L-infinity scaling, which needs the peak searches.
#pragma once

#include <cstdio>

// umax divided by the largest L-infinity top of the F_i.
double u_out_max_inf();
// Top of H times u_out_max_inf(): the maximum output level under L-infinity
// scaling.
double out_max_inf();
// The dynamic-range report of the current filter (noise, maximum output
// level, dynamic range), computing the missing Gramians first. Reports
// "no filter defined" when there is none.
void print_dr(FILE *fp);
