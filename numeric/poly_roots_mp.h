// All roots of a real polynomial whose roots double precision cannot
// resolve (the reverse Bessel polynomial of high order, whose coefficients
// span hundreds of decades, and the spectral polynomials of the Gaussian
// and elliptic approximations). The polynomial is built in MPFR at a
// precision chosen here, its roots found by the Ehrlich-Aberth iteration,
// and each root is proved to lie within 2^-64 of its size from a root of
// the polynomial before it is rounded to double.
#pragma once

#include <functional>
#include <vector>

#include "numeric/mp_array.h"
#include "numeric/types.h"

// Sets c[0..n] (c[k] multiplies x^k) at the precision the numbers carry.
using mp_poly_builder = std::function<void(mp_array &c)>;

// The n roots of the degree-n polynomial that `build` gives, rounded to
// double: a real root has imaginary part exactly 0, a complex one is listed
// with its exact conjugate. With `of_square` the roots u are taken as
// squares and each is replaced by its square root with real part <= 0 (a
// negative u gives real part exactly 0). False when the roots are not
// resolved to double within the precision limit (a multiple or nearly
// multiple root, a polynomial that the builder cannot give exactly enough,
// a leading coefficient 0 or a non-finite coefficient).
bool poly_roots_mp(int n, const mp_poly_builder &build, bool of_square, std::vector<complex> *roots);
