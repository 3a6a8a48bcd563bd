// Scaling of a filter by a diagonal similarity transformation, in the L2 or
// L-infinity sense or to a given geometric mean of the diagonal of W or K.
#pragma once

#include "numeric/types.h"

#include "filter/analysis.h"
#include "filter/ss.h"

// t_i = sqrt(K_ii / kappa); kappa 0 is replaced by the mean of the diagonal.
vector Scale(const matrix &K, double kappa);
// Scales the record in place (its matrices are shared with the caller) so
// that every integrator carries the output power (L2) or the peak sf
// (L-infinity, by the linf_scale switch), prepares its analysis data a again
// and rescales the cached Gramians. a holds the analysis data of s (or of a
// record equal to it): its peaks give the factors. Returns 0 on success, 1 when it cannot
// scale (K of the wrong size, a factor 0, infinite or not a number); the
// filter is then unchanged.
int do_scale(analysis_ctx &a, ss &s, matrix &W, matrix *K, int num, int sfr, double sf);
// do_scale without reporting a failure: for the candidates of a search,
// which skip a record that cannot be scaled. Without prepare a is not
// prepared again: for a record that a sees through a similarity view (a
// candidate of a search), or one whose cost needs only the record and its
// Gramians after.
int try_scale(analysis_ctx &a, ss &s, matrix &W, matrix *K, int num, int sfr, double sf, bool prepare);
// K_ij / (t_i t_j) and W_ij t_i t_j in place; an empty matrix is left alone.
void rescale_w(const vector &t, matrix &W);
void rescale_k(const vector &t, matrix &K);
// One common factor so that the geometric mean of the diagonal of W (or K)
// becomes kappa; the record and both Gramians are updated, and a is
// prepared for the new record.
void do_scalew(analysis_ctx &a, ss *s, matrix *W, matrix *K, double kappa);
void do_scalek(analysis_ctx &a, ss *s, matrix *W, matrix *K, double kappa);
