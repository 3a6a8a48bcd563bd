// Impulse and step responses of the analysis filter (fst.ana_ss), t in
// seconds. From the eigen-decomposition of A when its eigenvectors are well
// conditioned, otherwise from the matrix exponential by scaling and squaring.
#pragma once

#include "numeric/types.h"

// e^(A t), n x n.
matrix expAt(double t);
// Integral of e^(A tau) over tau from 0 to t, n x n.
matrix int_expAt(double t);
// Impulse responses (0 for t < 0): C e^(At) B (no Dirac term), e^(At) B
// (n x 1), C e^(At) (1 x n).
double h_t(double t);
matrix f_t(double t);
matrix g_t(double t);
// Step responses (0 for t < 0): C (integral) B + D, (integral) B, C (integral).
double hs_t(double t);
matrix fs_t(double t);
matrix gs_t(double t);
