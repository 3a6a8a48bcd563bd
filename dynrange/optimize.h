// Optimal realisation by second-order modes.
#pragma once

#include <cstdio>

#include "numeric/types.h"

// The similarity transformation T0 that brings both Gramians to one matrix
// P' with equal diagonal entries (the mean of the second-order modes).
// K and W are not changed. P' is handed to the caller through P. With som
// nonzero the second-order modes are printed on fp; per_line is the number
// of elements per printed line of the traces.
// A W that is not positive definite, or second-order modes that are all 0,
// are reported as errors: the result and *P are then empty matrices.
matrix optimize(const matrix &K, const matrix &W, matrix *P, FILE *fp, int som, int per_line);
