// Complex scalars. None of these routines changes its arguments.
//
// The small ones are inline: the frequency and time evaluators call them in
// their inner loops.
#pragma once

#include <cmath>

#include "numeric/types.h"

inline complex cmake(double re, double im)
{
    return complex{re, im};
}

inline void cset(complex *z, double re, double im)
{
    z->re = re;
    z->im = im;
}

inline complex cadd(complex x, complex y)
{
    return complex{x.re + y.re, x.im + y.im};
}

inline complex cmul(complex x, complex y)
{
    return complex{x.re * y.re - x.im * y.im, x.re * y.im + x.im * y.re};
}

// x / y; y == 0 ends the program.
complex crdiv(complex x, complex y);
// r / y for real r; y == 0 ends the program.
complex rcdiv(double r, complex y);

// z / r, no test.
inline complex cdivr(complex z, double r)
{
    return complex{z.re / r, z.im / r};
}

// a x + b y with real a and b.
inline complex crlincomb(double a, complex x, double b, complex y)
{
    return complex{a * x.re + b * y.re, a * x.im + b * y.im};
}

inline complex cscale(complex z, double t)
{
    return complex{z.re * t, z.im * t};
}

inline complex cconj_val(complex z)
{
    return complex{z.re, -z.im};
}

inline double cmod2(complex z)
{
    return z.re * z.re + z.im * z.im;
}

inline double cmod(complex z)
{
    return std::sqrt(z.re * z.re + z.im * z.im);
}

// 10 log10 |z|^2
inline double cdb(complex z)
{
    return 10.0 * std::log10(z.re * z.re + z.im * z.im);
}

// exp(z t)
inline complex cexp_t(complex z, double t)
{
    double m = std::exp(z.re * t);
    return complex{m * std::cos(z.im * t), m * std::sin(z.im * t)};
}

// The square root with imaginary part >= 0.
complex c_sqroot(complex z);
// The square root with real part <= 0.
complex csqrt_wrap(complex z);
