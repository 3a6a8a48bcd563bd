// Value types of the numerical library.
//
// Every record is a small value passed and returned by value. A copy of a
// record shares its element array: the in-place routines (scaling of a
// filter, matrix_set, ...) write through any copy and every holder sees the
// change. The array itself is held by a shared owner, so it lives exactly as
// long as some record still refers to it: freeing one handle (freem and its
// twins) releases that handle only, and a record that goes out of scope
// without being freed does not leak.
#pragma once

#include <memory>

struct complex {
    double re;
    double im;
};

struct matrix {
    int rows = 0;
    int cols = 0;
    double *data = nullptr;           // column-major: (i, j) at data[j*rows + i]
    std::shared_ptr<double[]> store;  // keeps data alive while any copy holds it
};

struct cmatrix {
    int rows = 0;
    int cols = 0;
    complex *data = nullptr;
    std::shared_ptr<complex[]> store;
};

struct vector {
    int n = 0;
    double *data = nullptr;
    std::shared_ptr<double[]> store;
};

struct ivector {
    int n = 0;
    int *data = nullptr;
    std::shared_ptr<int[]> store;
};

struct poly {
    double *coef = nullptr;  // coef[k] multiplies s^k, k = 0 .. degree
    int degree = -1;         // -1: the empty polynomial
    std::shared_ptr<double[]> store;
};

struct rootlist {
    complex *roots = nullptr;
    int n = 0;
    std::shared_ptr<complex[]> store;
};
