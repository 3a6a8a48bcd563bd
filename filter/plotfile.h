// The plot file NAME.plot: the frequency table, then the time table, each
// with a "#" header line of column names and one "%15e" row per sweep point.
#pragma once

#include <cstdio>
#include <string>

#include "filter/current.h"

#include "numeric/types.h"

// Final action of `plot:` on the filter f: checks the request, then
// rewrites BASE_NAME.plot.
void plot_cmd(filter_state &f, const std::string &base_name);
// The frequency and the time table of the filter f.
void write_freq_table(FILE *fp, filter_state &f);
void write_time_table(FILE *fp, filter_state &f);
