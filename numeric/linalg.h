// Inverse, linear solve, determinant and eigenproblems of real matrices,
// through LAPACK. The arguments are never changed (except by inv3c). A
// failed inverse or solve prints a message and gives the empty matrix; a
// failed eigen-decomposition and every shape error end the program.
#pragma once

#include "numeric/types.h"

matrix minv(const matrix &a);
// minv without the message: for callers that try many matrices and skip the
// singular ones.
matrix try_minv(const matrix &a);
// Inverts the n x n array in place: 0, or 1 after "inv3c: error".
int inv3c(int rows, int cols, double *data);
// X with a X = b, for every column of b.
matrix msolve(const matrix &a, const matrix &b);
double det(const matrix &a);
// Eigenvalues of a real square matrix, n x 2: real parts in column 0,
// imaginary parts in column 1, in LAPACK's order.
matrix evc(const matrix &a);
// Eigenvalues of a symmetric matrix (upper triangle read), n x 1 ascending.
matrix ev(const matrix &a);
// a = V D V^T: orthonormal eigenvectors in *v, the diagonal matrix of the
// ascending eigenvalues in *d.
void eigen(const matrix &a, matrix *v, matrix *d);
// The diagonal matrix of the eigenvalues; *v the complex eigenvectors, so
// that a V = V D.
cmatrix c_diag(const matrix &a, cmatrix *v);
