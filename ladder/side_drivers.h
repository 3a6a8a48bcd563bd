// Ladder drivers that no statement of the program reaches: the ladder
// equations handed to the polynomial-system driver, solved and verified,
// eliminated pairwise, or passed to a chosen method. They print only, to
// the report stream.
#pragma once

#include <cstdio>

// True for an order of 2 or more, the orders whose ladder equations have an
// unknown; otherwise an error report and false.
bool ladder_driver_order(int n);

// "s=", the symbolic ladder polynomial P_n(a, B) and a newline, unless the
// verbosity is negative.
void print_ladder_poly(const double *a, int n, FILE *fp);

// The shared preamble of ladder_by_polysys and ladder_symbolic_test: the
// target p[0..n] made monic and scaled to q[0..n] (roots of about unit size:
// q_k = p_k / sc^(n-k), sc = |p_0|^(1/n), or 1 when p_0 is 0 or not finite)
// and the diagonal a[0..n-1] from the weights (each weight takes its share
// of what is left of -q_(n-1); a_(n-1) the rest; without weights a_0 and
// a_(n-1) take half each). False, after an error report, for an order below
// 2 or a leading coefficient that is 0 or not finite.
bool ladder_preamble(int nweights, const double *weights, const double *p, int n, double *q, double *a);

// Solves the ladder equations of P_n(a, B) = p (p monic) through the
// Groebner basis, prints the solutions and, for each, its ladder polynomial
// with the relative error against p.
void ladder_by_groebner_verify(const double *a, const double *p, int n);

// Eliminates the variables of the ladder equations pairwise for at most two
// passes, then prints the Groebner basis of what remains.
void g_ladder_eliminate2(const double *a, const double *p, int n);

// The ladder equations of the preamble's diagonal and scaled target, solved
// by the homotopy road (polysys).
void ladder_by_polysys(int nweights, const double *weights, const double *p, int n);

// The preamble, the target and the scaled target (unless the verbosity is
// negative), then method 0 the rational pipeline, 1 the Groebner road with
// its verification, 2 the computer-algebra script; any other method does
// nothing more.
void ladder_symbolic_test(int nweights, const double *weights, const double *p, int n, int method);
