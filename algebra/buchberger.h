// Groebner bases by Buchberger's algorithm: a queue of critical pairs
// ordered by sugar, thinned by the criteria of Gebauer and Moeller when a
// new basis element arrives. Traces go to the report stream as the
// verbosity (`bla = n;`) asks.
#pragma once

#include "algebra/pairs.h"
#include "algebra/spoly.h"

// The sugar of the pair (f, g), with the lcm of their leading monomials in
// *lcm; 0 and no lcm when either is empty.
int pair_sugar(const termlist &f, const termlist &g, subterm *lcm);
// Thins and extends the pairs for the newest equation E.eq[E.n - 1].
void update_pairs(const eq_array &E, p_pair_array *P);
void report_redundant(const eq_array &E, p_pair_array *P);
// Appends f (normalised) unless a proportional equation is there, then
// updates the pairs.
void add_equation(eq_array *E, const termlist &f, p_pair_array *P);
// Replaces E by a Groebner basis that is not reduced.
void buchberger(eq_array *E);
// Replaces E by its reduced Groebner basis under the current order.
void groebner_basis(eq_array *E);
