// The state-space filter record: dx/dt = A x + B u, y = C x + D u, and the
// same record with one capacitor value per integrator.
#pragma once

#include <cstdio>
#include <memory>

#include "numeric/types.h"

// A copy of the record shares the matrices (and the capacitor array) of the
// original; free_ss releases the handles of one copy only.
struct ss {
    int n = 0;       // order (number of integrators); 0 means "no filter"
    matrix A;        // n x n
    matrix B;        // n x 1
    matrix C;        // 1 x n
    double D = 0.0;  // direct term
};

// The current filter is one of these. Passed where an `ss` is expected it is
// sliced to its five filter fields, still sharing the matrices.
struct cap_ss : ss {
    elem_ptr<double> cap = nullptr;  // n capacitor values
    std::shared_ptr<double[]> cap_store;
};

// Order-n record, A, B and C zeroed, D = 0.
ss new_ss(int n);
// Releases A, B and C when n != 0, then n := 0; D stays as it was.
void free_ss(ss *s);
// new_ss(n) plus n zeroed capacitor values.
cap_ss new_cap_ss(int n);
// free_ss, then releases the capacitor array and clears the pointer.
void free_cap_ss(cap_ss *s);
// A zeroed array of n capacitor values into s ("capacitor value storage");
// the old array is released first. n < 1 leaves no array.
void new_caps(cap_ss *s, int n);
void free_caps(cap_ss *s);

// New record (n, T^-1 A T, T^-1 B, C T, D).
ss transform_ss(const matrix &T, const ss &s);
// The same with the inverse supplied: (n, Ti A T, Ti B, C T, D).
ss transform_ss2(const matrix &T, const matrix &Ti, const ss &s);
// In place, through the shared storage: A_ij *= t_j / t_i, B_i /= t_i,
// C_i *= t_i (similarity transform with T = diag(t)).
void scale_ss(const vector &t, ss &s);
// Deep copy; an order-0 record for n < 1.
ss copy_ss(const ss &s);
// "A =", "B =", "C =" with the matrix printer, then "D = %e\n\n".
void print_ss(FILE *fp, const ss &s, int per_line);
