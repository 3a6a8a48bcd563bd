// Monomial orders on exponent vectors over B0, B1, ... and the sorting of
// polynomials and equation arrays under the order in force.
#pragma once

#include <utility>
#include <vector>

#include "algebra/spoly.h"

// One integer weight per variable; no array when n <= 0.
struct weight_factors {
    std::vector<int> w;
    int n = 0;
};

// Program-wide state of the polynomial algebra.
struct algebra_state {
    // The order of cmp_monomial: 2 graded reverse lexicographic, 3 the
    // weighted order of the current weights, anything else lexicographic.
    // Only the Groebner walk changes it.
    int monomial_order = 1;
    // The weight vector of the weighted order.
    weight_factors weights;
    // A bound on the work of one Groebner basis (terms met in the pair
    // queue and in the reduction steps), 0 for none. When the work passes
    // it the basis stops early with work_exceeded set and is not a basis;
    // the caller reports it. The ladder road sets no bound.
    long work_limit = 0;
    long work_done = 0;
    bool work_exceeded = false;
    // A bound on the processor time of the paths of one polysys call, in
    // seconds (0 for none): a system whose paths take longer is refused.
    double path_seconds = 0;
    // What one unit of work weighs: a term of many unknowns costs more in
    // every comparison and division of monomials.
    long work_weight = 1;
    // Relative precision of the coefficients that the zero tests assume
    // (see coef_cancelled): that of double, in which the ladder data are
    // computed; a caller with exact data in extended precision sets 2^-64.
    long double precision = 0x1p-53L;
    // The exact road stops when a coefficient's numerator or denominator
    // grows past this many bits (the lex basis of the Katsura-5 system
    // would take tens of minutes), and records it in exact_too_large.
    long exact_bit_limit = 65536;
    bool exact_too_large = false;
};
extern algebra_state algst;

// Counts units of Groebner work; true once the bound is passed.
inline bool algebra_work(long units)
{
    if (algst.work_limit <= 0)
        return false;
    algst.work_done += units * algst.work_weight;
    if (algst.work_done > algst.work_limit)
        algst.work_exceeded = true;
    return algst.work_exceeded;
}

// +1, 0 or -1 as a is above, equal to or below b; missing entries count as 0.
int cmp_lex(int na, const int *a, int nb, const int *b);
int cmp_grevlex(int na, const int *a, int nb, const int *b);
int cmp_weighted(int na, const int *a, int nb, const int *b);
int cmp_monomial(int na, const int *a, int nb, const int *b);
int cmp_term_monomials(const poly_term &t, const poly_term &u);
// Sum of w_k e_k under the current weights (exponents beyond them weigh 0).
int weighted_degree(int n, const int *exp);

// Stable sort of v[0..n-1] that moves an element up while above(x, left
// neighbour) holds; the same order as passes of neighbour swaps until none
// is made.
template <class T, class Above>
void stable_sort_desc(std::vector<T> &v, int n, Above above)
{
    for (int i = 1; i < n; i++) {
        if (!above(v[i], v[i - 1]))
            continue;
        T x = std::move(v[i]);
        int j = i;
        while (j > 0 && above(x, v[j - 1])) {
            v[j] = std::move(v[j - 1]);
            j--;
        }
        v[j] = std::move(x);
    }
}

// Descending, stable: equal monomials keep their order.
void sort_terms(termlist *L);
// Sorts and normalises every equation, then orders the equations by
// descending leading monomial with the empty ones last.
void sort_eq_array(eq_array *E);
// Divides the later coefficients by the leading one, which becomes 1.
void normalise_lead(termlist *L);
