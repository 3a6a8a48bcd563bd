// Optimal realisation by second-order modes.
#pragma once

#include <cstdio>

#include "filter/ss.h"
#include "numeric/types.h"

// The similarity transformation T0 that brings both Gramians K and W of the
// filter s to one matrix P' with equal diagonal entries (the mean of the second-order modes).
// K and W are not changed. P' is handed to the caller through P. With som
// nonzero the second-order modes are printed on fp; per_line is the number
// of elements per printed line of the traces.
// A W that is not positive definite, or second-order modes that are all 0,
// are reported as errors: the result and *P are then empty matrices.
matrix optimize(const ss &s, const matrix &K, const matrix &W, matrix *P, FILE *fp, int som, int per_line);

// The optimal realisation of the filter s, whose Gramians are K and W.
struct optimal_result {
    ss filter;  // T0^-1 A T0, T0^-1 B, C T0, D
    matrix K;   // its Gramians
    matrix W;
    matrix P;   // P', the equalised diagonal of the modes
};
// With Gramians solved from s (neither `num` nor `sfr` set), the balancing
// is made in extended precision and the realisation is a similarity solved
// so that its transfer function is that of s (balanced again up to twice
// where the smallest modes are near the limit of that precision); K and W
// of the result are P' where it solves the result's Lyapunov equations to
// the rounding of its matrices, else solved afresh from them. Otherwise T0 comes as from optimize, with
// its inverse from the same factors, and K and W are the given ones
// transformed. Prints as optimize does; false, reported, when no
// realisation can be had (r then holds nothing).
bool optimal_realisation(const ss &s, const matrix &K, const matrix &W, optimal_result *r, FILE *fp, int som,
                         int per_line);
