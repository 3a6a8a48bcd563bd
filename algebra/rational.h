// Exact rational polynomials: the twin of the symbolic polynomial layer
// with GMP rationals as coefficients, the operations that Groebner bases
// need, and the conversions to and from the extended-precision records.
//
// Every record owns its arrays and copies deeply; each coefficient is held
// by an mpq_owner, which initialises and clears its mpq_t, so no copy
// clears a coefficient twice. In a termlist_q, t holds exactly n terms; a
// polynomial without terms prints as "0".
#pragma once

#include <gmp.h>

#include <cstdio>
#include <vector>

#include "algebra/pairs.h"
#include "algebra/spoly.h"

// One mpq_t, initialised to 0 on construction and cleared on destruction.
class mpq_owner {
public:
    mpq_owner() { mpq_init(v_); }
    mpq_owner(const mpq_owner &o)
    {
        mpq_init(v_);
        mpq_set(v_, o.v_);
    }
    mpq_owner(mpq_owner &&o) noexcept
    {
        mpq_init(v_);
        mpq_swap(v_, o.v_);
    }
    mpq_owner &operator=(const mpq_owner &o)
    {
        mpq_set(v_, o.v_);
        return *this;
    }
    mpq_owner &operator=(mpq_owner &&o) noexcept
    {
        mpq_swap(v_, o.v_);
        return *this;
    }
    ~mpq_owner() { mpq_clear(v_); }
    mpq_ptr get() { return v_; }
    mpq_srcptr get() const { return v_; }

private:
    mpq_t v_;
};

struct term_q {
    int n = 0;
    std::vector<int> exp;
    mpq_owner coef;
};

struct termlist_q {
    int n = 0;
    std::vector<term_q> t;
};

struct eq_array_q {
    int n = 0;
    std::vector<termlist_q> eq;
};

// Records.
term_q new_term_q(int n);
// Releases the exponents and sets the coefficient to 0.
void free_term_q(term_q *t);
// Releases the terms: the polynomial is empty afterwards and has no array.
void free_termlist_q(termlist_q *f);
// Releases the equations: n is 0 afterwards.
void free_eq_array_q(eq_array_q *E);

// Conversions. double_to_rational stores the simplest fraction within
// relative eps of x (eps in (0, 1)): the one of smallest denominator, with
// the numerator nearest to x over it; it returns 1. It stores nothing and
// returns 0 for an eps outside that range or an x that is not finite
// (reported as an error).
int double_to_rational(mpq_ptr q, double x, double eps);
// The tolerance of the exact roads: a coefficient becomes the simplest
// fraction within this of its double, so 0.1 is 1/10 and 1.0005 is
// 2001/2000, and two coefficients that differ in a printed digit stay apart.
constexpr double rational_tolerance = 1e-12;
term_q term_q_from_double(int n, const int *exp, long double c, double eps);
termlist_q termlist_q_from_termlist(const termlist &f, double eps);
eq_array_q eq_array_q_from_eq_array(const eq_array &E, double eps);
// The system with every coefficient turned into the rational that its
// long double value is, exactly (a non-finite value gives 0).
eq_array_q eq_array_q_exact(const eq_array &E);
poly_term term_q_to_ld(const term_q &t);
termlist termlist_to_ld(const termlist_q &f);
eq_array eq_array_to_ld(const eq_array_q &E);

// Operations.
// Copies, as term_q u = t and termlist_q g = f.
term_q copy_term_q(const term_q &t);
termlist_q copy_termlist_q(const termlist_q &f);
term_q term_q_from_subterm(int n, const int *exp);
int monomial_equal_q(const term_q &t, const term_q &u);
// 1 when u's monomial divides t's.
int subterm_divides_q(const term_q &t, const term_q &u);
int share_variable_q(const term_q &t, const term_q &u);
term_q lcm_term_q(const term_q &t, const term_q &u);
subterm lcm_subterm_q(const term_q &t, const term_q &u);
int degree_termlist_q(const termlist_q &f);
int cmp_monomial_q(const term_q &t, const term_q &u);
void sort_terms_q(termlist_q *f);
void sort_eq_array_q(eq_array_q *E);
void make_monic_q(termlist_q *f);
int divide_term_q(const term_q &t, const term_q &d, term_q *quotient);
term_q mul_term_q(const term_q &t, const term_q &u);
termlist_q mul_termlist_term_q(const termlist_q &f, const term_q &t);
termlist_q mul_termlist_q(const termlist_q &f, const termlist_q &g);
void add_term_q(termlist_q *f, mpq_srcptr c, const term_q &t);
termlist_q lincomb_q(mpq_srcptr c1, const termlist_q &f, mpq_srcptr c2, const termlist_q &g);
void scale_termlist_q(termlist_q *f, mpq_srcptr c);
termlist_q scaled_copy_q(const termlist_q &f, mpq_srcptr c);
void cleanup_q(termlist_q *f);
int proportional_q(const termlist_q &f, const termlist_q &g);
int append_equation_q(eq_array_q *E, const termlist_q &f);
void remove_equation_q(eq_array_q *E, int k);

// Groebner machinery.
termlist_q qs_poly(termlist_q *f, termlist_q *g);
termlist_q reduce_poly_q(const eq_array_q &E, const termlist_q &f);
void remove_redundant_q(eq_array_q *E);
void reduce_basis_q(eq_array_q *E);
void prereduce_q(eq_array_q *E);
int pair_sugar_q(const termlist_q &f, const termlist_q &g, subterm *lcm);
void update_pairs_q(const eq_array_q &E, p_pair_array *P);
void report_redundant_q(const eq_array_q &E, p_pair_array *P);
void add_equation_q(eq_array_q *E, const termlist_q &f, p_pair_array *P);
// Both stop early, with algst.exact_too_large set, when a coefficient
// outgrows algst.exact_bit_limit bits; what E then holds is no basis.
void buchberger_q(eq_array_q *E);
void groebner_basis_q(eq_array_q *E);

// Printing.
void print_term_q(const term_q &t, FILE *fp, int index);
void print_termlist_q(const termlist_q &f, FILE *fp);
void print_eq_array_q(const eq_array_q &E, FILE *fp);
void print_monomial_q(const term_q &t, FILE *fp);
