// Ladder drivers: the ladder target as a system of polynomial equations in
// the products B0 .. B(n-2), solved through a lexicographic Groebner basis
// and back substitution, keeping only the solutions whose ladder polynomial
// reproduces the target.
#pragma once

#include "algebra/spoly.h"
#include "numeric/types.h"

// sqrt(sum_k r_k^2) with r_k = 2 (x_k - y_k) / (x_k + y_k), k = 0..nx; a pair
// of zero coefficients adds 0. Polynomials of different order give 1.
double poly_rel_error(const double *x, int nx, const double *y, int ny);

// Every real solution of the ladder equations E in B0..B(n-2), n the ladder
// order: E is sorted, inter-reduced, replaced by its Groebner basis and
// back-substituted. One column per solution.
matrix groebner_solve(eq_array *E, int n);

// The columns of M whose ladder polynomial matches the target p within a
// relative error below 0.01, as a new matrix (possibly without columns).
matrix filter_ladder_solutions(const double *a, const double *p, int n, const matrix &M);

// The solutions b of P_n(a, b) = p (monic, order n) found by elimination,
// one column each; none when the elimination finds nothing.
matrix gladder_symbolic(const double *a, const double *p, int n);

// The n-1 ladder equations: the coefficients of s^0 .. s^(n-2) of P_n(a, B) - p.
eq_array ladder_eq_array(const double *a, const double *p, int n);
