// Efficiency measures of Gramians and the rotations that equalise a
// diagonal.
#pragma once

#include "numeric/types.h"

// Diagonal matrices of sqrt(M_ii) and of 1/sqrt(M_ii).
matrix Msqrt(const matrix &m);
matrix Misqrt(const matrix &m);
// sqrt(det M / prod M_ii)
double e(const matrix &m);
// Geometric over arithmetic mean of the products K_ii W_ii.
double e2(const matrix &k, const matrix &w);
// (e(K) e(W))^(2/n) e2(K, W)
double e0(const matrix &k, const matrix &w);
// Rotates the symmetric m in place until its diagonal entries lie within
// tol times their mean of each other; *t gets the rotation (M_new = T^T M T).
// Returns the number of steps.
int equal(matrix *t, matrix &m, double tol, int itmax);
// The same in n - 1 rotations, for an m that is diagonal on entry.
void equal2(matrix *t, matrix &m);
