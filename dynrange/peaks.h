// Peak searches over frequency: the L-infinity norms of the F_i and of H of
// the filter of an analysis context. The axis [0, infinity) is mapped onto
// [0, 1), scanned on a grid and each peak refined by the minimiser.
#pragma once

#include <functional>
#include <vector>

#include "filter/analysis.h"
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
void peak_fdf(analysis_ctx &a, double x, double *f, double *df);
double peak_f(analysis_ctx &a, double x);
// For each integrator the grid index of its largest |F_i|, and in the last
// place the grid size N (n + 1 entries).
ivector linf_grid_scan(analysis_ctx &a);
// Frequencies from w = 0 to far above the largest pole of the analysis copy,
// each step a fraction of the distance from jw to the nearest pole, so that
// no resonance, however narrow, lies between two of them unsampled. Empty
// when A has no pole off the origin.
std::vector<double> pole_walk(analysis_ctx &a);
// A peak found before the walk: its square sq and, when it was refined to a
// local peak inside the axis, the frequency w where it lies, the slope of
// the square there and the width of the minimiser's last bracket around it
// (w NaN otherwise).
struct peak_known {
    double sq;
    double w;
    double slope;
    double window;
};
// The largest square of a peak quantity among the local maxima of its
// samples v[j * stride] at the walk frequencies w[j], each refined by the
// minimiser between its neighbours; val(w) is the square at w (val(INFINITY)
// its limit). Maxima whose estimated peak lies well below the known square
// are not refined, nor the one that holds the known peak when its slope
// shows it to be that peak. 0 when nothing was refined.
// The square of a peak quantity at a frequency.
using peak_value = std::function<double(double)>;
double walk_peak(const std::vector<double> &w, const double *v, int stride, const peak_value &val,
                 const peak_known &known);
// The top that the peak searches report from the grid's top and the best
// walk candidate (a square): the candidate only when it beats the grid's top
// by more than one part in a million, else the grid's top unchanged.
double better_top(double top, double cand_sq);
// Tops max over w of |F_i(jw)|, one per integrator; the caller frees it.
// Sets w0 from the filter of a.
vector linf_peaks(analysis_ctx &a);
// max over w of |H(jw)|; sets w0 from the filter of a.
double linf_peak_h(analysis_ctx &a);
// Writes the objective of component k on [0, 1) to "ftest.plot".
void peak_dump(analysis_ctx &a, int k);
