// Groebner bases modulo a prime, to count the solutions of a system
// exactly and fast: for all but finitely many primes the basis modulo the
// prime has the leading monomials of the basis over the rationals, so it
// gives the same number of solutions.
#pragma once

#include "algebra/spoly.h"

// The number of standard monomials of the reduced basis of E modulo the
// prime 2147483629 under the order in force (see standard_monomial_count:
// -1 infinite, -2 past limit), the coefficients taken exactly as the
// rationals their values are; -3 when a coefficient's denominator is a
// multiple of the prime or the work bound was passed.
long modular_solution_count(const eq_array &E, int nv, long limit);
