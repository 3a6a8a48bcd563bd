// Reports on the current filter: framed titles, output noise, the maximum
// output level under L2 scaling, poles and zeros.
#pragma once

#include <cstdio>

#include "numeric/types.h"

#include "filter/analysis.h"
#include "filter/ss.h"

// A framed title line: stars, the text between four blanks on each side,
// stars; width characters when the text fits; then an empty line.
void print_title(FILE *fp, const char *text, int width);
// The setting umax, or 1 with the notice "Umax put to 1." when it is missing.
double u_max();
// Output noise power (V^2) of the filter with its capacitor values, from W.
double noise_total(const cap_ss &filter, const matrix &W);
// The bound of the relative error of noise_total(filter, W) that err, the
// bounds of the errors of the entries of W, give; infinite when a diagonal
// entry of W lies below 0 by more than its bound.
double noise_relative_error(const cap_ss &filter, const matrix &W, const matrix &err);
// Output noise density at angular frequency w of the filter of a, with its
// branch weights and the capacitor values cap (one per integrator).
double onoise_jw(analysis_ctx &a, double w, const double *cap);
// Square of the maximum output level under L2 scaling: umax^2 C K C^T / max K_ii.
double Usq_out_max(const matrix &K, const matrix &C);
// The bound of the relative error of Usq_out_max(K, C) that err, the bounds
// of the errors of the entries of K, give.
double usq_relative_error(const matrix &K, const matrix &err, const matrix &C);
// Eigenvalues of A of the filter, one line each.
void printpoles(FILE *fp, const ss &filter);
// Roots of the numerator polynomial of the filter of a.
void printzeros(FILE *fp, analysis_ctx &a);
