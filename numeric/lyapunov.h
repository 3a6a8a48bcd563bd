// Lyapunov and Sylvester equations of a real square matrix, solved by the
// Schur method in O(n^3) time and O(n^2) memory: SLICOT's SB03MD
// (Bartels-Stewart) and SB03OD (the Cholesky factor of the solution,
// Hammarling), and LAPACK's dgees with dtrsyl for the cross form.
//
// Every solver gives the empty matrix when the equation is singular or so
// nearly singular that the library has to perturb it (two eigenvalues with
// l_i + l_j at or near 0: a pole at the origin, an undamped pair), when the
// Schur form cannot be computed, or when an entry of the arguments is not
// finite. The arguments are never changed.
#pragma once

#include "numeric/types.h"

// X with a X + X a^T + q = 0 (trans_left true) or a^T X + X a + q = 0
// (trans_left false); q symmetric, n x n.
matrix lyap_solve(const matrix &a, const matrix &q, bool trans_left);
// The upper-triangular factor U of the solution X >= 0 of
//   a X + X a^T + b b^T = 0 (b n x m), X = U U^T      when trans_left,
//   a^T X + X a + b^T b = 0 (b m x n), X = U^T U      otherwise;
// empty also when a is not stable (SB03OD requires it).
matrix lyap_factor(const matrix &a, const matrix &b, bool trans_left);
// X with a X + X a + q = 0 (q n x n, not necessarily symmetric).
matrix sylv_same(const matrix &a, const matrix &q);
// The balancing transformation of the system (a, b, c) by the square-root
// method: with K = Lk Lk^T and W = Rw^T Rw from lyap_factor and the singular
// value decomposition Rw Lk = U S V^T,
//   T = Lk V S^-1/2,  Ti = S^-1/2 U^T Rw  (Ti T = I),
// so that Ti K Ti^T = T^T W T = S. sigma gets the singular values (the
// second-order modes) in ascending order, the columns of T in the same
// order. False, with nothing set, when a factor cannot be computed, when
// Lk Lk^T or Rw^T Rw differs from the given K or W by more than 1e-8 of its
// largest entry (they are another system's Gramians), or when a singular
// value is not positive. Neither K nor W is formed, and no inverse
// taken: the modes keep their accuracy where W is too ill-conditioned for an
// eigenvalue test or a Cholesky step.
bool balancing_by_factors(const matrix &a, const matrix &b, const matrix &c, const matrix &K,
                          const matrix &W, matrix *T, matrix *Ti, matrix *sigma);
