// Bias levels of the integrators.
//
// Each integrator drives a current into the capacitors it feeds, its own
// included. Per unit input signal at angular frequency w that current is
//     bias_level(w, j) = |F_j(jw)| sqrt(S_j^2 + w^2 c_j^2),
// with S_j = sum over i of |A_ij| c_i (column j of A weighted by the
// capacitor of each row) and c_j the integrator's own capacitor. The peak of
// it over frequency, times the largest input level that keeps every
// integrator within umax, is the smallest bias current the stage needs.
#pragma once

#include <cstdio>

#include "numeric/types.h"

// Program-wide state of the bias search.
struct bias_state {
    int index = 0;  // integrator of the bias search, counted from 0
};
extern bias_state bst;

// Bias level of integrator j (counted from 0) of the current filter at the
// angular frequency w; F is evaluated on the analysis copy. 0 when j is not
// an integrator of the filter.
double bias_level(double w, int j);
// Objective of the bias search over the mapped frequency x in [0, 1]:
// -(bias_level(map_freq(x), bst.index))^2. At x = 1 (w infinite) it returns
// its limit -(B_k c_k)^2.
double bias_level_neg(double x);
// The n x 1 column of the peaks over frequency of bias_level(w, j),
// j = 0 .. n-1, for the current filter. Sets the frequency scale of the
// mapping to |det A|^(1/n). The caller frees the result.
matrix max_input_level();
// The report of `output: bias;`: the maximal input level and the minimum
// output bias current of every integrator, on the given stream.
void print_bias(FILE *fp);
// Debugging aid: the objective of the bias search for integrator k over
// x = 0, 0.01, .., 0.99, written to "ftest.plot".
void level_dump(int k);
