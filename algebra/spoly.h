// Symbolic polynomials: polynomials in the ladder values B0, B1, ... with
// extended-precision coefficients, and polynomials in s whose coefficients
// are such polynomials.
//
// Every record owns its arrays and copies deeply (the std::vector members
// are the owners). The counts are kept beside the arrays as the routines
// use them:
//   - subterm and poly_term: exp holds exactly n exponents;
//   - termlist: t is the allocated term array and n <= t.size() the terms
//     in use. A list whose array is gone (t empty) prints as "0"; a list
//     that still has an array but no terms in use prints nothing;
//   - spoly: coef holds order + 1 lists (order -1: freed);
//   - eq_array: eq holds exactly n equations.
#pragma once

#include <cstdio>
#include <limits>
#include <vector>

// The coefficients are x87 extended precision: the thresholds and the
// cancellation tests below are tuned to its 64-bit mantissa.
static_assert(std::numeric_limits<long double>::digits == 64 &&
                  sizeof(long double) >= 10,
              "long double must be the 80-bit x87 extended format");

// Below this a coefficient counts as zero (the machine epsilon of double).
constexpr double SP_EPS = 2.220446049250313e-16;
// Relative size below which a coefficient counts as cancelled.
constexpr double SP_CANCEL = 1e-11;

// An exponent vector: exp[k] is the power of Bk; entries past n count as 0.
struct subterm {
    int n = 0;
    std::vector<int> exp;
};

// One term: a monomial with its coefficient. n 0 is a constant.
//
// size is the magnitude of what went into the coefficient: the sum of the
// absolute values of the contributions that were added to form it, carried
// through products and divisions. A coefficient far below its size is what
// is left of a cancellation, and rounding of the contributions alone may
// have made it; 0 stands for |coef| (a term read or built directly).
struct poly_term {
    int n = 0;
    std::vector<int> exp;
    long double coef = 0;
    long double size = 0;
};

// The size of a term: at least |coef|.
inline long double term_size(const poly_term &t)
{
    long double a = t.coef < 0 ? -t.coef : t.coef;
    return t.size > a ? t.size : a;
}

// The sizes of the product and of the quotient of two coefficients x and
// y of sizes sx and sy: the first-order bound of how rounding in x and y
// carries over (exact operands, sx = |x| and sy = |y|, give |xy| and |x/y|).
inline long double product_size(long double x, long double sx, long double y, long double sy)
{
    long double ax = x < 0 ? -x : x, ay = y < 0 ? -y : y;
    long double s = ax * sy + sx * ay - ax * ay;
    return s > ax * ay ? s : ax * ay;
}
inline long double quotient_size(long double x, long double sx, long double y, long double sy)
{
    long double ax = x < 0 ? -x : x, ay = y < 0 ? -y : y;
    long double q = ax / ay, s = sx / ay + q * (sy / ay) - q;
    return s > q ? s : q;
}

// A polynomial: the sum of its terms; no terms is the zero polynomial.
struct termlist {
    int n = 0;
    std::vector<poly_term> t;
};

// A polynomial in s: coef[k] multiplies s^k, k = 0 .. order.
struct spoly {
    int order = -1;
    std::vector<termlist> coef;
};

// A system of equations eq[i] = 0.
struct eq_array {
    int n = 0;
    std::vector<termlist> eq;
};

// Resizes an owner array; a failed allocation ends the program with the
// given label (a size of 0 is no failure).
template <class V>
void sp_resize(V *v, std::size_t n, const char *label);

// Construction and destruction. A record is released by leaving its scope
// and copied by a plain copy; the free_ routines empty a record in place.
subterm new_subterm(int n);
// Releases the exponents: the empty subterm (the monomial 1) is left.
void free_subterm(subterm *st);
poly_term new_term(int n);
poly_term const_term(long double c);
poly_term make_term(int n, const int *exp, long double c);
// Releases the exponents and zeroes n and the coefficient.
void free_term(poly_term *t);
// The n exponents at exp, as a subterm.
subterm subterm_copy(int n, const int *exp);
termlist new_termlist(int n);
// Releases the terms: the list is empty afterwards and has no array.
void free_termlist(termlist *L);
// The n terms at t, as a list of exactly n terms (no array when n is 0).
termlist termlist_copy(int n, const poly_term *t);
termlist const_termlist(long double c);
spoly new_spoly(int order);
// Releases the coefficient lists: the order is -1 afterwards.
void free_spoly(spoly *S);
// A copy of S, as spoly T = S.
spoly spoly_copy(const spoly &S);
eq_array new_eq_array(int n);
// Releases the equations: n is 0 afterwards.
void free_eq_array(eq_array *E);

// Comparison.
int subterm_equal(int n1, const int *e1, int n2, const int *e2);
int monomial_equal(const poly_term &t, const poly_term &u);
int termlist_proportional(const termlist &P, const termlist &Q);
int var_max_degree(const termlist &P, int k);

// Arithmetic; results are new lists except for the in-place routines.
// termlist_lincomb: a P + b Q with Q's monomials first, then those of P
// that Q lacks, in P's order; coefficients that cancel (coef_cancelled)
// become exactly 0 and stay. termlist_lincomb_sorted is the same sum with
// its terms sorted: a merge of the two when both are strictly sorted under
// the order in force (the Groebner routines keep them so).
termlist termlist_lincomb(long double a, const termlist &P, long double b, const termlist &Q);
termlist termlist_lincomb_sorted(long double a, const termlist &P, long double b, const termlist &Q);
// P - Q for strictly sorted P and Q, which it takes apart: the merge of the
// Groebner reduction, moving the terms rather than copying them. The terms
// of P before index from are left out, and so is every coefficient that
// cancels.
termlist termlist_sub_sorted(termlist &&P, termlist &&Q, int from = 0);
void termlist_add_term(termlist *L, long double a, int n, const int *exp, long double c);
void termlist_add_const(termlist *L, long double c);
void termlist_scale_inplace(termlist *L, long double c);
termlist termlist_scaled_copy(const termlist &L, long double c);
poly_term term_mul(const poly_term &t, const poly_term &u);
termlist termlist_mul_term(const poly_term &t, const termlist &L);
void subterm_add_exp(subterm *st, int k, int d);
void subterm_add_exp(poly_term *t, int k, int d);
void termlist_mul_var(termlist *L, int k, int d);
spoly spoly_mul_var(const spoly &S, int k, int d);
spoly spoly_lincomb(long double a, const spoly &S1, long double b, const spoly &S2);
// p[0..d] are the coefficients of a real polynomial in s (as in `poly`).
spoly spoly_mul_poly(const double *p, int d, const spoly &S);
void spoly_add_poly(spoly *S, long double a, const double *p, int d);

// Clean-up.
void cleanup_term2(termlist *L);
void drop_small_terms(termlist *L, double scale);
// Removes the terms whose coefficient is exactly 0 (an emptied list loses
// its array).
void drop_zero_terms(termlist *L);
// 1 when a coefficient of the given size is no more than the rounding
// noise of the cancellation that formed it: |c| <= 1e4 * precision * size,
// precision being the relative precision of the data (algst.precision).
int coef_cancelled(long double c, long double size);
// Removes the terms whose coefficient is 0 or cancelled (as above); an
// emptied list loses its array.
void drop_cancelled_terms(termlist *L);
// 1 when the terms stand in strictly descending order under the order in
// force (sorted, and no monomial twice).
int termlist_strictly_sorted(const termlist &L);

// Printing.
void print_subterm(int n, const int *exp, FILE *fp);
void print_term(int n, const int *exp, long double coef, int index, FILE *fp);
void print_termlist(const termlist &L, FILE *fp);
void print_eq_array(const eq_array &E, FILE *fp);

// Further routines of the polynomial layer.
void print_term_ld(int n, const int *exp, long double coef, FILE *fp);
void spoly_scale_inplace(spoly *S, long double c);
// free_termlist: the terms go with their array.
void free_termlist_array(termlist *L);
// A copy of E, as eq_array C = E.
eq_array eq_array_copy(const eq_array &E);
// free_spoly: the lists go with their array.
void free_spoly_array(spoly *S);
spoly spoly_from_poly(const double *p, int d);
void print_spoly(const spoly &S, FILE *fp);
// The coefficients of s^(n-2) down to s^0, each as "... = 0".
void print_spoly_equations(const spoly &S, int n, FILE *fp);
termlist termlist_mul(const termlist &P, const termlist &Q);
// The terms of L holding the highest power m of Bk, with Bk^m divided out,
// into *out; returns m (0 and an empty list when Bk does not occur).
int extract_top_power(const termlist &L, int k, termlist *out);
void remove_common_factors(termlist *L);
int count_variables(const eq_array &E);
spoly test_spoly();

// ---- template definition ----
#include "base/error.h"

// The arrays of the records grow through checked_resize.
template <class V>
void sp_resize(V *v, std::size_t n, const char *label)
{
    checked_resize(*v, n, label);
}
