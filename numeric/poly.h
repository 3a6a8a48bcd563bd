// Real polynomials in s (coef[k] multiplies s^k) and lists of complex roots.
// Degree -1 is the empty polynomial. A copy of a record shares the
// coefficients; produced polynomials belong to the caller (freepoly).
#pragma once

#include <cstdio>

#include "numeric/types.h"

// Program-wide state of the numerical library.
struct numeric_state {
    int debug_level = 0;  // `.debug = n;`: traces of the continued-fraction expansion
};
extern numeric_state nst;

// d + 1 zero coefficients; d < 0 gives degree d without coefficients.
poly newpoly(int d);
// Releases this handle; the degree becomes -1. Harmless on the empty
// polynomial.
void freepoly(poly *p);
poly polycopy(const double *coef, int d);
// Degree d and coef[0..d] copied into p's existing array.
void poly_set(const double *coef, int d, poly *p);
// Drops exactly-zero leading coefficients (all zero: degree -1).
void poly_trim(poly *p);
poly poly_lincomb(double a, const poly &p, double b, const poly &q);
// *p := *p + a q in place; p's array must hold max(deg p, deg q) + 1.
void poly_axpy(poly *p, double a, const poly &q);
poly poly_mul(const poly &p, const poly &q);
// p q into r's existing array.
void poly_mul_into(const poly &p, const poly &q, poly *r);
// p(s) p(-s)
poly poly_mirror_product(const poly &p);
double poly_eval(const double *coef, int d, double x);
poly poly_deriv(const poly &p);
// The monic polynomial of a root list; an entry with a non-zero imaginary
// part stands for a conjugate pair.
poly poly_from_roots(const complex *roots, int n);
// The n roots of the degree-n polynomial coef[0..n], in LAPACK's order.
rootlist poly_root(const double *coef, int n);
// The reverse Bessel polynomial of order n.
poly BesselPoly(int n);
// The Chebyshev polynomial T_n.
poly ChebyshevPoly(int n);
// The n values of the continued-fraction expansion of the even part over
// the odd part of coef[0..n].
vector cauer_extract(const double *coef, int n);
// One term per line, highest power first.
void print_poly(const double *coef, int d, FILE *fp);
// Quotient of p by q; the remainder through *rem.
poly poly_div(const poly &p, const poly &q, poly *rem);

rootlist new_rootlist(int n);
void free_rootlist(rootlist *r);
rootlist copy_rootlist(const complex *roots, int n);
void print_roots(FILE *fp, const complex *roots, int n);
