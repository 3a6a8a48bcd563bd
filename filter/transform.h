// Frequency transformations and other realisations of a filter, and the
// rules by which cached Gramians follow a similarity transformation.
#pragma once

#include "numeric/types.h"

#include "filter/analysis.h"
#include "filter/ss.h"

// Lowpass-to-bandpass: every integrator becomes a pair resonating at w0, the
// lowpass couplings scaled by bw. New record of order 2n. A centre or a
// bandwidth not above 0 is refused with an error and an order-0 record.
ss bandpass_ss(const ss &s, double w0, double bw);
// Frequency scaling H'(s) = H(s / f): new record (f A, f B, C, D). A factor
// not above 0 is refused with an error and an order-0 record.
ss lowpass_ss(const ss &s, double f);
// Tridiagonal realisation of the transfer function of the filter of a
// (ana_num / ana_den with the direct term of ana_ss). A denominator that has no such realisation (not Hurwitz: a negative
// continued-fraction value or a pole at the origin) is refused with an error
// and an order-0 record.
ss orthogonal_ss(analysis_ctx &a);
// The dual realisation (A^T, C^T, B^T, D); order-0 record for order < 1.
ss transpose_ss(const ss &s);
// K := T^-1 K T^-T; the old handle is released. An empty K stays empty.
void transform_k(const matrix &T, matrix *K);
// W := T^T W T; the old handle is released. An empty W stays empty.
void transform_w(const matrix &T, matrix *W);
