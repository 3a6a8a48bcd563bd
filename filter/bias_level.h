// Bias level of an integrator.
//
// Each integrator drives a current into the capacitors it feeds, its own
// included. Per unit input signal at angular frequency w that current is
//     bias_level(w, j) = |F_j(jw)| sqrt(S_j^2 + w^2 c_j^2),
// with S_j = sum over i of |A_ij| c_i (column j of A weighted by the
// capacitor of each row) and c_j the integrator's own capacitor.
#pragma once

#include "filter/analysis.h"
#include "filter/ss.h"

// The square of bias_level(w, j).
double bias_level_sq(analysis_ctx &a, const cap_ss &f, double w, int j);
// Bias level of integrator j (counted from 0) of the filter f at the angular
// frequency w, F from a, the analysis data of f. 0 when j is not an
// integrator of the filter.
double bias_level(analysis_ctx &a, const cap_ss &f, double w, int j);
