// Ladder realisation of a transfer function N(s)/D(s).
//
// A ladder of order n has a tridiagonal state matrix: A(i,i) = a_i,
// A(i+1,i) = 1, A(i,i+1) = b_i, and C = (0, ..., 0, 1). Its characteristic
// polynomial is the ladder polynomial
//   P_0 = 1,  P_1 = s - a_0,  P_(k+1) = (s - a_k) P_k - b_(k-1) P_(k-1).
// The diagonal a is fixed from a weight vector (w_i is the share of the
// trace given to a_i); the n-1 products b then solve P_n(a, b) = D/d_n:
// in closed form up to order 3, by elimination with a Groebner basis at
// orders 4 and 5, and by root finding above that (or when the elimination
// finds nothing).
#pragma once

#include <vector>

#include "filter/ss.h"
#include "numeric/types.h"

// The synthesis for one monic target of order n.
struct gladder_result {
    std::vector<double> a;  // the n diagonal values
    matrix b;               // (n-1) x (number of solutions), column k = b_0..b_(n-2)
    int order = -1;         // n, or -1 when the numeric road failed
    int status = 0;         // 0, or the status of the numeric solver
    // the columns are distinct solutions, each refined to its own accuracy
    // (the search for every ladder): no two of them are one ladder
    bool distinct = false;
};

// The ladder records of one synthesis. The records share nothing with one
// another; free_ss releases a record, and the array frees itself.
struct ladder_result {
    std::vector<ss> systems;  // nsol records
    int nsol = 0;
    int status = 0;  // 0 on success; non-zero (with nsol 0) after a numeric failure
};

// How far the synthesis looks beyond its road.
enum class ladder_depth {
    // one candidate of a search among many: when the road finds no ladder,
    // 16 restarts and the homotopy solver up to order 6 (12 paths)
    candidate,
    // when the road finds no ladder, 160 restarts and the homotopy solver
    // up to order 8
    first,
    // every real ladder: at orders 6 to 8 the homotopy solve of all
    // solutions always runs beside the road (orders 4 and 5 have the
    // elimination, which gives every real solution)
    every,
};

// Every ladder realisation of N/D that the synthesis finds. N and D are only
// read. weights: nweights values (w_0 = 0.5 when none), extra ones ignored;
// split: the share of the off-diagonal sum given to b_0 in the equal-ends
// case of order 3; guess: nguess start values of the numeric road (in the
// scaled units of scale_gladder), overwritten with its last iterate.
ladder_result ladder(const poly &N, const poly &D, int nweights, const double *weights, double split,
                     int nguess, double *guess, ladder_depth depth = ladder_depth::every);

// Normalises the target p[0..n] (monic, then its roots scaled to about
// unit size), runs gladder and undoes the scaling on the result.
gladder_result scale_gladder(const double *weights, const double *p, int n, double split, int nguess,
                             double *guess, ladder_depth depth = ladder_depth::every);

// The synthesis for a monic target p[0..n]; weights holds n-1 values.
gladder_result gladder(const double *weights, const double *p, int n, double split, int nguess,
                       double *guess);

// The order of p[0..n] after dropping exactly-zero leading coefficients,
// never below 0 (-1 without coefficients).
int trimmed_order(const double *p, int n);
// The same, ending the program with empty_message when it is below 1.
int target_order(const double *p, int n, const char *empty_message);

// The ladder polynomial P_n(a, b) as a new polynomial of degree n.
poly lpoly(int n, const double *a, const double *b);

// Makes the monic p[0..n] into p(sc s)/sc^n in place and returns sc =
// target_frequency(p, n), so that the roots are of about unit size.
double scale_poly(double *p, int n);
// |p_0|^(1/n) of the monic p[0..n] (the geometric mean of the root
// moduli), or 1 when p_0 is 0 or that is not a finite positive number.
double target_frequency(const double *p, int n);

// The gate every solution passes before it is listed, costed or
// installed: the record s realises N/D, its characteristic polynomial and
// its numerator equal those of the target (D made monic) to 1e-6 relative
// per coefficient in the target's normalised frequency, and A is stable.
bool ladder_realises(const ss &s, const poly &N, const poly &D);

// Undoes scale_poly on a ladder: b times sc^2, the first `order` values of
// a times sc.
void unscale_ladder(double sc, double *a, matrix &b, int order);
void scale_b_matrix(matrix &b, double factor);
void scale_a_array(double *a, int n, double factor);
