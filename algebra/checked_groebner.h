// Groebner bases in floating point that are either right or refused.
// Cancellation in floating point can leave noise where an exact
// computation has zero, or take away a term that belongs to the basis;
// either gives the basis of another ideal, most often {1} or the ideal of
// a single point. The checked basis is computed twice more to see that it
// does not depend on rounding.
#pragma once

#include <string>

#include "algebra/spoly.h"

// Replaces E by its reduced Groebner basis under the order in force and
// returns 1 when the basis holds up:
//   - the basis of the system with rescaled variables and equations,
//     scaled back, agrees with it to 1e-7 in every coefficient;
//   - the number of solutions it gives (standard monomials) is that of
//     the basis modulo a prime (modular_solution_count), which is exact;
//   - the basis {1} (no solution) is confirmed by the exact computation
//     on the coefficients as they are, within the exact road's size limit.
// It tries the zero tests at the precision in force, then at 2^-64 and at
// 2^-44, and takes the first basis that holds up. Otherwise E is left as it was, *why says what failed, and it returns 0;
// so also when the work bound (algst.work_limit) is passed in any run.
int checked_groebner_basis(eq_array *E, std::string *why);

// The number of monomials that no leading monomial of the basis G divides
// (the number of solutions, with multiplicity, of a zero-dimensional
// system in nv variables); -1 when it is infinite, -2 when it is past
// limit.
long standard_monomial_count(const eq_array &G, int nv, long limit);
