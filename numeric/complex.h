// Complex scalars. None of these routines changes its arguments.
#pragma once

#include "numeric/types.h"

complex cmake(double re, double im);
void cset(complex *z, double re, double im);
complex cadd(complex x, complex y);
complex cmul(complex x, complex y);
// x / y; y == 0 ends the program.
complex crdiv(complex x, complex y);
// r / y for real r; y == 0 ends the program.
complex rcdiv(double r, complex y);
// z / r, no test.
complex cdivr(complex z, double r);
// a x + b y with real a and b.
complex crlincomb(double a, complex x, double b, complex y);
complex cscale(complex z, double t);
complex cconj_val(complex z);
double cmod2(complex z);
double cmod(complex z);
// 10 log10 |z|^2
double cdb(complex z);
// exp(z t)
complex cexp_t(complex z, double t);
// The square root with imaginary part >= 0.
complex c_sqroot(complex z);
// The square root with real part <= 0.
complex csqrt_wrap(complex z);
