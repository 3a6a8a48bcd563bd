// The plot file NAME.plot: the frequency table, then the time table, each
// with a "#" header line of column names and one "%15e" row per sweep point.
#pragma once

#include <cstdio>

#include "numeric/types.h"

// Final action of `plot:`: checks the request, then rewrites NAME.plot.
void plot_cmd();
void write_freq_table(FILE *fp);
void write_time_table(FILE *fp);
