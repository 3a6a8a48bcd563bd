// The plot file NAME.plot: the frequency table, then the time table, each
// with a "#" header line of column names and one "%15e" row per sweep point.
#pragma once

#include <cstdio>

#include "numeric/types.h"

// Continuous phase along a frequency table: the branch of atan2 nearest to
// the previous phase turned by the angle between the two values.
struct phase_state {
    int phase_started = 0;
    complex prev{0.0, 0.0};
    double prev_phase = 0.0;
    double prev_mod = 0.0;  // |prev|
};
extern phase_state phase_st;

// Final action of `plot:`: checks the request, then rewrites NAME.plot.
void plot_cmd();
void write_freq_table(FILE *fp);
void write_time_table(FILE *fp);
void reset_phase();
double unwrap_phase(complex z);
