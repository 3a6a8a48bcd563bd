// Complex matrices: column-major like matrix, with the same ownership rules
// (a copy shares the elements; produced matrices belong to the caller, who
// frees them with cfreem).
#pragma once

#include <cstdio>

#include "numeric/types.h"

cmatrix cnewm(int r, int c);
void cfreem(cmatrix *m);
cmatrix null_cmatrix();
int cmindex(const cmatrix &m, int i, int j);
complex celem(const cmatrix &m, int i, int j);
void cmatrix_set(cmatrix &m, int i, int j, double re, double im);
void cmatrix_cset(cmatrix &m, int i, int j, complex z);

// re + i im, from two real matrices of the same size.
cmatrix cm_compl(const matrix &re, const matrix &im);
matrix cm_real(const cmatrix &c);
matrix cm_imag(const cmatrix &c);
cmatrix c_of_real(const matrix &r);
cmatrix ccopy(const cmatrix &c);
void ccopy_into(const cmatrix &a, cmatrix &b);

cmatrix cmmul_cr(const cmatrix &c, const matrix &r);
cmatrix cmmul_rc(const matrix &r, const cmatrix &c);
cmatrix cmmul(const cmatrix &a, const cmatrix &b);
cmatrix cscalem(complex z, const cmatrix &c);
// Conjugate transpose.
cmatrix cadjoint(const cmatrix &c);
cmatrix ctranspose(const cmatrix &c);
// Frobenius norm.
double cnorm(const cmatrix &c);
complex ctr(const cmatrix &c);
// a x + b y with real a and b.
cmatrix cmadd(double a, const cmatrix &x, double b, const cmatrix &y);

// The inverse; a singular matrix ends the program.
cmatrix cinv(const cmatrix &a);
// Inverts the n x n array in place: 0, or 1 after "cinvc: error".
int cinvc(int rows, int cols, complex *data);
// Eigenvalues of a complex square matrix as an n x 1 complex matrix.
cmatrix evcm(const cmatrix &c);

void print_cmatrix(FILE *fp, const cmatrix &c);
