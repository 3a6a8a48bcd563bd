// Reports on the current filter: framed titles, output noise, maximum output
// level, dynamic range, poles and zeros.
#pragma once

#include <cstdio>

#include "numeric/types.h"

#include "filter/ss.h"

// A framed title line: stars, the text between four blanks on each side,
// stars; width characters when the text fits; then an empty line.
void print_title(FILE *fp, const char *text, int width);
// Output noise power (V^2) of the filter with its capacitor values, from W.
double noise_total(const cap_ss &filter, matrix W);
// Output noise density at angular frequency w, on the analysis copy of the
// filter, with the capacitor values and branch weights of the given filter.
double onoise_jw(double w, const cap_ss &filter);
// Square of the maximum output level under L2 scaling: umax^2 C K C^T / max K_ii.
double Usq_out_max(matrix K, matrix C);
// umax divided by the largest L-infinity top of the F_i.
double u_out_max_inf();
// Top of H times u_out_max_inf(): the maximum output level under L-infinity
// scaling.
double out_max_inf();
// Eigenvalues of A of the filter, one line each.
void printpoles(FILE *fp, ss filter);
// Roots of the numerator polynomial of the analysis data.
void printzeros(FILE *fp);
// The dynamic-range report of the current filter (noise, maximum output
// level, dynamic range), computing the missing Gramians first. Reports
// "no filter defined" when there is none.
void print_dr(FILE *fp);
