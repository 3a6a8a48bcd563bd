// Building blocks of Groebner bases over the extended-precision
// polynomials: divisibility, S-polynomials, full reduction, inter-reduction
// and the bookkeeping of equation arrays. The leading term of a sorted
// polynomial is its first term (LM its monomial, LC its coefficient).
#pragma once

#include "algebra/order.h"
#include "algebra/spoly.h"

// Monomials and terms.
subterm lcm_subterm(int na, const int *a, int nb, const int *b);
poly_term monomial_term(const subterm &m);
// q = t / u over the longer length; returns 1 when u divides t.
int term_divide(const poly_term &t, const poly_term &u, poly_term *q);
// 1 when b divides a (a_k >= b_k for every k).
int subterm_divides(int na, const int *a, int nb, const int *b);
int monomial_divides(const poly_term &t, const poly_term &u);
// 1 when some variable has a non-zero exponent in both; 0: coprime.
int monomials_share_variable(int na, const int *a, int nb, const int *b);
int monomials_share_variable2(int na, const int *a, int nb, const int *b);
int total_degree(const poly_term &m);
int subterm_degree(const subterm &m);
int max_total_degree(const termlist &L);

// Equation arrays.
void remove_equation(eq_array *E, int k);
int eq_array_has_proportional(const eq_array &E, const termlist &f);
// Appends a normalised copy of f unless E holds an equation proportional to
// it; returns whether it did.
int add_unique_equation(eq_array *E, const termlist &f);
// Removes the empty equations and those whose LM a later one's divides.
void minimise_basis(eq_array *E);
void remove_empty_equations(eq_array *E);
void sort_first_equations(eq_array *E);
void sort_all_terms(eq_array *E);

// Reduction. s_poly sorts its operands in place.
termlist s_poly(termlist *f, termlist *g);
termlist reduce_poly(const eq_array &E, const termlist &f);
void reduce_basis(eq_array *E);
void interreduce_all(eq_array *E);
// reduce_poly that also gives one quotient per equation in *quot.
termlist reduce_with_quotients(const eq_array &E, const termlist &f, eq_array *quot);

// Heuristics and counters.
void reduce_by_spolys(eq_array *E);
void lower_top_degree(eq_array *E);
int max_total_degree_eqs(const eq_array &E);
long bezout_number(const eq_array &E);
int max_terms(const eq_array &E);
int count_terms_of_degree(const termlist &L, int d);
int max_exponent(const termlist &L);
// 1 when the monomial is a single variable to the first power.
int is_single_variable(int n, const int *exp);
