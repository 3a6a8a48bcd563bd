// Weighted monomial orders and the Groebner walk, which turns a grevlex
// Groebner basis step by step into one for a weighted order, changing the
// weight vector one facet at a time. The walk prints as it goes on the
// report stream.
#pragma once

#include "algebra/order.h"
#include "algebra/spoly.h"

// n weights (no array when n <= 0); the values are the caller's to set.
weight_factors new_weight_factors(int n);
// Releases the weights and zeroes n.
void free_weight_factors(weight_factors *w);
// The n weights at w, as a record.
weight_factors copy_weight_factors(const int *w, int n);
// Copies n weights into the global vector, whose count must be n.
void set_weight_factors(const int *w, int n);
int max_weighted_degree(const termlist &f);
// The terms of largest weighted degree, sorted.
termlist initial_form(const termlist &f);
eq_array initial_forms(const eq_array &E);
// The next weight vector of the walk into *w; 0 when there is none.
int next_weights(const eq_array &E, weight_factors *w);
// The whole walk from grevlex; E becomes the final basis.
void groebner_grevlex_walk(eq_array *E);
// A tracing variant of next_weights that sets the first variable against
// all the others.
int print_weighted_terms(const eq_array &E, weight_factors *w);
