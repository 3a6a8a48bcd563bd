// A similarity transformation of a filter by an ill-conditioned matrix,
// computed in MPFR so that the result realises the same transfer function.
#pragma once

#include "filter/ss.h"

// The filter (T^-1 A T, T^-1 B, C T, D) of s, with T = th + tl (two n x n
// column-major arrays of doubles, a double-double matrix) taken at `bits`
// bits, factorised by Gaussian elimination with partial pivoting and solved
// at that precision; the result is rounded to double. False, with *out
// untouched, when T is singular at that precision or when its pivots span
// so many binary orders that `bits` leaves fewer than 64 bits for the
// result: *need then holds the precision that would.
bool similarity_exact(const ss &s, const double *th, const double *tl, int bits, ss *out, int *need);
