// Balancing of a filter by its second-order modes in extended precision.
#pragma once

#include "filter/ss.h"
#include "numeric/types.h"

// A filter whose Gramians K and W both equal diag(sigma).
struct balanced_filter {
    ss filter;     // T^-1 A T, T^-1 B, C T, D, with T^-1 B >= 0
    matrix sigma;  // n x 1: the second-order modes, ascending
    matrix T;      // the balancing transformation, rounded to double
};

// The balanced realisation of the stable filter s. K and W are solved in
// double and refined with residuals in double-double arithmetic; their
// factors (Cholesky with diagonal pivoting), the product of the factors and
// its singular value decomposition (one-sided Jacobi) are computed in
// double-double, so that modes down to some 1e-30 of the largest keep their
// digits; smaller ones come out at that level instead. The realisation
// itself is the similarity by the T of those factors, solved in MPFR, so
// that it has the transfer function of s to the rounding of its entries.
// False, with *out untouched, when A is not stable, when a diagonal entry of
// K or W is not positive (a state that the input never reaches or that
// never reaches the output) or when a step fails.
bool balance_extended(const ss &s, balanced_filter *out);
void free_balanced(balanced_filter *b);
