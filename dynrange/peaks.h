// Peak searches over frequency: the L-infinity norms of the F_i and of H on
// the analysis copy of the filter. The axis [0, infinity) is mapped onto
// [0, 1), scanned on a grid and each peak refined by the minimiser.
#pragma once

#include "numeric/types.h"

// Program-wide state of the peak searches.
struct peak_state {
    double w0 = 1.0;        // frequency scale of the mapping
    int component = 0;      // 0 .. n-1 selects F_i, n selects H
    int trace = 0;          // trace level, from the variable bla
    double dr_scale = 1.0;  // target peak of L-infinity scaling in the searches' costs
};
extern peak_state pks;

// |det A|^(1/n), the geometric mean of the pole magnitudes of the n x n A,
// formed as m |det(A / m)|^(1/n) with m the largest |A_ij|, so that a
// determinant beyond the range of a double (a high order or a very high or
// low frequency) neither overflows nor underflows. 0 for A = 0.
double freq_scale(const matrix &A);
// w0 x / (1 - x) and its derivative w0 / (1 - x)^2, for x in [0, 1).
double map_freq(double x);
double map_freq_deriv(double x);
// Value -|z|^2 and derivative of the objective at x for the selected
// component (z = F_k(jw) or H(jw), w = map_freq(x)).
void peak_fdf(double x, double *f, double *df);
double peak_f(double x);
// For each integrator the grid index of its largest |F_i|, and in the last
// place the grid size N (n + 1 entries).
ivector linf_grid_scan();
// Tops max over w of |F_i(jw)|, one per integrator; the caller frees it.
// Sets w0 from the analysis copy.
vector linf_peaks();
// max over w of |H(jw)|; sets w0 from the analysis copy.
double linf_peak_h();
// Writes the objective of component k on [0, 1) to "ftest.plot".
void peak_dump(int k);
