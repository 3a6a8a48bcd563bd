// Real matrices: construction, element access with bounds checks, copies,
// sums, products, Kronecker forms and the two printers.
//
// Storage is column-major: element (i, j) is data[j*rows + i]. A copy of a
// record shares the element array; every routine that produces a matrix
// gives a new array owned by the caller (free it with freem). Arguments are
// never freed, and only matrix_set, mresize and mcopy_into write into an
// array they are given. Dimension and index errors end the program.
#pragma once

#include <cstdio>

#include "numeric/types.h"

// rows x cols of zeros; null data when rows*cols == 0. Negative sizes end
// the program.
matrix newm(int rows, int cols);
// Releases this handle's hold on the elements; *m becomes the empty matrix.
void freem(matrix *m);
// The empty matrix {0, 0, null}: "not defined".
matrix null_matrix();
// Sets the number of columns to n in place (n < 1: no elements, cols 0).
// Leading columns keep their values; new columns are 0.
void mresize(matrix *m, int n);

int mindex(const matrix &m, int i, int j);
double elem(const matrix &m, int i, int j);
void matrix_set(matrix &m, int i, int j, double x);

matrix mcopy(const matrix &m);
// Copies the common leading block of a into b's elements.
void mcopy_into(const matrix &a, matrix &b);
matrix transpose(const matrix &m);
// Square matrix with the elements of the row or column vector v on its
// diagonal.
matrix mdiag(const matrix &v);
matrix mid(int r, int c);
matrix nil(int r, int c);
matrix mscale(double s, const matrix &m);
matrix madd(const matrix &a, const matrix &b);
matrix mdiff(const matrix &a, const matrix &b);
matrix mmul(const matrix &a, const matrix &b);
// a*(b*c)
matrix mmul3(const matrix &a, const matrix &b, const matrix &c);
double tr(const matrix &m);
// The (rows*cols) x 1 column of the elements in storage order.
matrix mvec(const matrix &m);
// A copy of the column v as a k x k matrix with k*k == v.rows; when v.rows
// is no square the copy keeps v's shape.
matrix munvec(const matrix &v);
// For a (m x n) and b (p x q): element (ib*m + ia, jb*n + ja) is
// a(ia, ja)*b(ib, jb), i.e. b (x) a in the usual notation.
matrix kron(const matrix &a, const matrix &b);
// kron(a, I) + kron(I, b): the matrix of X -> a X + X b^T on vec(X).
matrix kronsum(const matrix &a, const matrix &b);

// "(rows, cols)", then every row with "%15.6e", per_line numbers a line.
// A per_line below 1 counts as 8.
void print_matrix(FILE *fp, const matrix &m, int per_line);
// The matrix as numbers of the input statement, row by row, ";" after the
// last row; a line holds per_line + 1 numbers. A per_line below 1 counts as 8.
void print_matrix_e(FILE *fp, const matrix &m, int per_line);
void print_matrix_e(FILE *fp, int rows, int cols, const double *data, int per_line);

// Numbers per printed line from the value of a setting such as fmax: its
// integer part, or 8 when there is no value, it is not a number, or its
// integer part is below 1 or beyond the range of int.
int per_line_count(const double *value);
