// Bias levels of the integrators: the peak over frequency of bias_level
// (filter/bias_level.h), times the largest input level that keeps every
// integrator within umax, is the smallest bias current the stage needs.
#pragma once

#include <cstdio>

#include "numeric/types.h"
#include "filter/bias_level.h"
#include "filter/current.h"

// Program-wide state of the bias search.
struct bias_state {
    int index = 0;  // integrator of the bias search, counted from 0
};
extern bias_state bst;

// Objective of the bias search over the mapped frequency x in [0, 1] for the
// filter f with its analysis data a: -(bias_level(map_freq(x), bst.index))^2.
// At x = 1 (w infinite) it returns its limit -(B_k c_k)^2.
double bias_level_neg(analysis_ctx &a, const cap_ss &f, double x);
// The n x 1 column of the peaks over frequency of bias_level(w, j),
// j = 0 .. n-1, for the filter f with its analysis data a. Sets the
// frequency scale of the mapping to |det A|^(1/n). The caller frees the
// result.
matrix max_input_level(analysis_ctx &a, const cap_ss &f);
// The report of `output: bias;` for the filter f: the maximal input level
// and the minimum output bias current of every integrator, on the given
// stream.
void print_bias(FILE *fp, filter_state &f);
// Debugging aid: the objective of the bias search for integrator k over
// x = 0, 0.01, .., 0.99, written to "ftest.plot".
void level_dump(analysis_ctx &a, const cap_ss &f, int k);
