// Exact rational polynomials: records, conversions, arithmetic and printing.
#include "algebra/rational.h"

#include <cmath>

#include "algebra/buchberger_impl.h"
#include "algebra/order.h"
#include "base/error.h"

namespace {

int exp_at(const term_q &t, int k)
{
    return k < t.n ? t.exp[k] : 0;
}

bool is_zero(mpq_srcptr q)
{
    return mpq_cmp_ui(q, 0, 1) == 0;
}

void append_term_q(termlist_q *f, term_q &&t)
{
    sp_resize(&f->t, static_cast<std::size_t>(f->n) + 1, "polynomial term");
    f->t[f->n++] = std::move(t);
}

// The exponents of t combined with u's by op over the longer length.
template <class Op>
term_q combine_exps(const term_q &t, const term_q &u, Op op)
{
    int n = t.n > u.n ? t.n : u.n;
    term_q r = new_term_q(n);
    for (int k = 0; k < n; k++)
        r.exp[k] = op(exp_at(t, k), exp_at(u, k));
    return r;
}

}  // namespace

// ---- records ----

term_q new_term_q(int n)
{
    term_q t;
    if (n > 0) {
        sp_resize(&t.exp, n, "polynomial sub term");
        t.n = n;
    }
    return t;
}

void free_term_q(term_q *t)
{
    std::vector<int>().swap(t->exp);
    t->n = 0;
    mpq_set_ui(t->coef.get(), 0, 1);
}

void free_termlist_q(termlist_q *f)
{
    std::vector<term_q>().swap(f->t);
    f->n = 0;
}

void free_eq_array_q(eq_array_q *E)
{
    std::vector<termlist_q>().swap(E->eq);
    E->n = 0;
}

// ---- conversions ----

namespace {

// The denominator of the simplest fraction in [lo, hi] (0 < lo <= hi): the
// continued fraction that lo and hi share, closed by the smallest partial
// quotient that takes the fraction inside. The simplest fraction of an
// interval has the smallest denominator of all the fractions in it.
void simplest_denominator(mpz_t den, const mpq_t lo_in, const mpq_t hi_in)
{
    mpq_t lo, hi, t;
    mpz_t a, q0, q1, tmp;
    mpq_inits(lo, hi, t, nullptr);
    mpz_inits(a, q0, q1, tmp, nullptr);
    mpq_set(lo, lo_in);
    mpq_set(hi, hi_in);
    // Denominators of the convergents so far: q0 the one before, q1 the last.
    mpz_set_ui(q0, 1);
    mpz_set_ui(q1, 0);
    for (;;) {
        mpz_cdiv_q(a, mpq_numref(lo), mpq_denref(lo));  // ceil(lo)
        mpq_set_z(t, a);
        const bool integer_inside = mpq_cmp(t, hi) <= 0;
        if (!integer_inside)
            mpz_fdiv_q(a, mpq_numref(lo), mpq_denref(lo));  // floor(lo)
        // q = a q1 + q0 is the next convergent's denominator.
        mpz_mul(tmp, a, q1);
        mpz_add(tmp, tmp, q0);
        mpz_set(q0, q1);
        mpz_set(q1, tmp);
        if (integer_inside)
            break;
        // lo < hi < lo's integer part + 1: go on with 1/(hi - a), 1/(lo - a).
        mpq_set_z(t, a);
        mpq_sub(lo, lo, t);
        mpq_sub(hi, hi, t);
        mpq_inv(t, lo);
        mpq_inv(lo, hi);
        mpq_set(hi, t);
    }
    mpz_set(den, q1);
    mpq_clears(lo, hi, t, nullptr);
    mpz_clears(a, q0, q1, tmp, nullptr);
}

}  // namespace

int double_to_rational(mpq_ptr q, double x, double eps)
{
    if (!(eps > 0 && eps < 1))
        return 0;
    if (!std::isfinite(x)) {
        error("double_to_rational: the value is not a finite number");
        return 0;
    }
    if (x == 0) {
        mpq_set_ui(q, 0, 1);
        return 1;
    }
    // The exact value of |x| and the interval of relative width eps around it.
    mpq_t ax, lo, hi, e;
    mpq_inits(ax, lo, hi, e, nullptr);
    mpq_set_d(ax, std::fabs(x));
    mpq_set_d(e, eps);
    mpq_mul(e, e, ax);
    mpq_sub(lo, ax, e);
    mpq_add(hi, ax, e);
    // The smallest denominator with a fraction inside, and over it the
    // numerator nearest to |x|.
    mpz_t d, num;
    mpz_inits(d, num, nullptr);
    simplest_denominator(d, lo, hi);
    mpz_mul(num, mpq_numref(ax), d);
    mpz_mul_2exp(num, num, 1);
    mpz_add(num, num, mpq_denref(ax));
    mpz_fdiv_q(num, num, mpq_denref(ax));
    mpz_fdiv_q_2exp(num, num, 1);  // floor(|x| d + 1/2)
    if (x < 0)
        mpz_neg(num, num);
    mpz_set(mpq_numref(q), num);
    mpz_set(mpq_denref(q), d);
    mpq_canonicalize(q);
    mpz_clears(d, num, nullptr);
    mpq_clears(ax, lo, hi, e, nullptr);
    return 1;
}

term_q term_q_from_double(int n, const int *exp, long double c, double eps)
{
    term_q t = new_term_q(n);
    for (int k = 0; k < t.n; k++)
        t.exp[k] = exp[k];
    double_to_rational(t.coef.get(), static_cast<double>(c), eps);
    return t;
}

termlist_q termlist_q_from_termlist(const termlist &f, double eps)
{
    termlist_q r;
    for (int i = 0; i < f.n; i++)
        append_term_q(&r, term_q_from_double(f.t[i].n, f.t[i].exp.data(), f.t[i].coef, eps));
    return r;
}

eq_array_q eq_array_q_from_eq_array(const eq_array &E, double eps)
{
    eq_array_q R;
    sp_resize(&R.eq, E.n, "equation array");
    R.n = E.n;
    for (int i = 0; i < E.n; i++)
        R.eq[i] = termlist_q_from_termlist(E.eq[i], eps);
    return R;
}

namespace {

// x = m 2^e with the 64-bit integer mantissa m, taken over exactly.
void ld_to_rational(mpq_ptr q, long double x)
{
    mpq_set_ui(q, 0, 1);
    if (x == 0 || !std::isfinite(static_cast<double>(x)))
        return;
    int e;
    long double m = std::frexp(x < 0 ? -x : x, &e);
    unsigned long long M = static_cast<unsigned long long>(std::ldexp(m, 64));
    mpz_t z;
    mpz_init(z);
    mpz_import(z, 1, 1, sizeof M, 0, 0, &M);
    mpq_set_z(q, z);
    mpz_clear(z);
    if (e - 64 >= 0)
        mpq_mul_2exp(q, q, static_cast<unsigned long>(e - 64));
    else
        mpq_div_2exp(q, q, static_cast<unsigned long>(64 - e));
    if (x < 0)
        mpq_neg(q, q);
}

}  // namespace

eq_array_q eq_array_q_exact(const eq_array &E)
{
    eq_array_q R;
    sp_resize(&R.eq, E.n, "equation array");
    R.n = E.n;
    for (int i = 0; i < E.n; i++)
        for (int j = 0; j < E.eq[i].n; j++) {
            const poly_term &t = E.eq[i].t[j];
            term_q q = new_term_q(t.n);
            for (int k = 0; k < t.n; k++)
                q.exp[k] = t.exp[k];
            ld_to_rational(q.coef.get(), t.coef);
            append_term_q(&R.eq[i], std::move(q));
        }
    return R;
}

poly_term term_q_to_ld(const term_q &t)
{
    return make_term(t.n, t.exp.data(), static_cast<long double>(mpq_get_d(t.coef.get())));
}

termlist termlist_to_ld(const termlist_q &f)
{
    termlist r = new_termlist(f.n);
    for (int i = 0; i < f.n; i++)
        r.t[i] = term_q_to_ld(f.t[i]);
    return r;
}

eq_array eq_array_to_ld(const eq_array_q &E)
{
    eq_array R = new_eq_array(E.n);
    for (int i = 0; i < E.n; i++)
        R.eq[i] = termlist_to_ld(E.eq[i]);
    return R;
}

// ---- operations ----

term_q copy_term_q(const term_q &t)
{
    return t;
}

termlist_q copy_termlist_q(const termlist_q &f)
{
    return f;
}

term_q term_q_from_subterm(int n, const int *exp)
{
    term_q t = new_term_q(n);
    for (int k = 0; k < t.n; k++)
        t.exp[k] = exp[k];
    return t;
}

int monomial_equal_q(const term_q &t, const term_q &u)
{
    return subterm_equal(t.n, t.exp.data(), u.n, u.exp.data());
}

int subterm_divides_q(const term_q &t, const term_q &u)
{
    int n = t.n > u.n ? t.n : u.n;
    for (int k = 0; k < n; k++)
        if (exp_at(t, k) < exp_at(u, k))
            return 0;
    return 1;
}

int share_variable_q(const term_q &t, const term_q &u)
{
    int n = t.n < u.n ? t.n : u.n;
    for (int k = 0; k < n; k++)
        if (t.exp[k] != 0 && u.exp[k] != 0)
            return 1;
    return 0;
}

term_q lcm_term_q(const term_q &t, const term_q &u)
{
    term_q r = combine_exps(t, u, [](int a, int b) { return a > b ? a : b; });
    mpq_set_ui(r.coef.get(), 1, 1);
    return r;
}

subterm lcm_subterm_q(const term_q &t, const term_q &u)
{
    term_q l = lcm_term_q(t, u);
    return subterm_copy(l.n, l.exp.data());
}

int degree_termlist_q(const termlist_q &f)
{
    return groebner_impl::list_degree(f);
}

int cmp_monomial_q(const term_q &t, const term_q &u)
{
    return cmp_monomial(t.n, t.exp.data(), u.n, u.exp.data());
}

void sort_terms_q(termlist_q *f)
{
    stable_sort_desc(f->t, f->n, [](const term_q &a, const term_q &b) { return cmp_monomial_q(a, b) > 0; });
}

void make_monic_q(termlist_q *f)
{
    if (f->n == 0)
        return;
    if (is_zero(f->t[0].coef.get()))
        cleanup_q(f);
    if (f->n == 0)
        return;
    mpq_owner lc(f->t[0].coef);
    for (int i = 1; i < f->n; i++)
        mpq_div(f->t[i].coef.get(), f->t[i].coef.get(), lc.get());
    mpq_set_ui(f->t[0].coef.get(), 1, 1);
}

void sort_eq_array_q(eq_array_q *E)
{
    for (int i = 0; i < E->n; i++) {
        sort_terms_q(&E->eq[i]);
        make_monic_q(&E->eq[i]);
    }
    stable_sort_desc(E->eq, E->n, [](const termlist_q &a, const termlist_q &b) {
        if (a.n == 0)
            return false;
        return b.n == 0 || cmp_monomial_q(a.t[0], b.t[0]) > 0;
    });
}

int divide_term_q(const term_q &t, const term_q &d, term_q *quotient)
{
    *quotient = combine_exps(t, d, [](int a, int b) { return a - b; });
    int divides = 1;
    for (int k = 0; k < quotient->n; k++)
        if (quotient->exp[k] < 0)
            divides = 0;
    if (is_zero(d.coef.get()))
        return 0;  // no quotient of a zero term; the coefficient stays 0
    mpq_div(quotient->coef.get(), t.coef.get(), d.coef.get());
    return divides;
}

term_q mul_term_q(const term_q &t, const term_q &u)
{
    term_q r = combine_exps(t, u, [](int a, int b) { return a + b; });
    mpq_mul(r.coef.get(), t.coef.get(), u.coef.get());
    return r;
}

void add_term_q(termlist_q *f, mpq_srcptr c, const term_q &t)
{
    mpq_owner ct;
    mpq_mul(ct.get(), c, t.coef.get());
    for (int i = 0; i < f->n; i++)
        if (monomial_equal_q(f->t[i], t)) {
            mpq_add(f->t[i].coef.get(), f->t[i].coef.get(), ct.get());
            return;
        }
    term_q n = t;
    n.coef = std::move(ct);
    append_term_q(f, std::move(n));
}

termlist_q mul_termlist_term_q(const termlist_q &f, const term_q &t)
{
    termlist_q r;
    mpq_owner one;
    mpq_set_ui(one.get(), 1, 1);
    for (int i = 0; i < f.n; i++)
        add_term_q(&r, one.get(), mul_term_q(f.t[i], t));
    return r;
}

termlist_q mul_termlist_q(const termlist_q &f, const termlist_q &g)
{
    termlist_q r;
    mpq_owner one;
    mpq_set_ui(one.get(), 1, 1);
    for (int i = 0; i < f.n; i++)
        for (int j = 0; j < g.n; j++)
            add_term_q(&r, one.get(), mul_term_q(f.t[i], g.t[j]));
    return r;
}

termlist_q lincomb_q(mpq_srcptr c1, const termlist_q &f, mpq_srcptr c2, const termlist_q &g)
{
    termlist_q r;
    const int m = is_zero(c2) ? 0 : g.n;
    for (int j = 0; j < m; j++) {
        term_q t = g.t[j];
        mpq_mul(t.coef.get(), t.coef.get(), c2);
        append_term_q(&r, std::move(t));
    }
    if (is_zero(c1))
        return r;
    mpq_owner prod;
    for (int i = 0; i < f.n; i++) {
        const term_q &p = f.t[i];
        if (is_zero(p.coef.get()))
            continue;
        mpq_mul(prod.get(), p.coef.get(), c1);
        int j = 0;
        while (j < m && !monomial_equal_q(r.t[j], p))
            j++;
        if (j < m) {
            mpq_add(r.t[j].coef.get(), r.t[j].coef.get(), prod.get());
        } else {
            term_q t = p;
            mpq_set(t.coef.get(), prod.get());
            append_term_q(&r, std::move(t));
        }
    }
    return r;
}

void scale_termlist_q(termlist_q *f, mpq_srcptr c)
{
    for (int i = 0; i < f->n; i++)
        mpq_mul(f->t[i].coef.get(), f->t[i].coef.get(), c);
}

termlist_q scaled_copy_q(const termlist_q &f, mpq_srcptr c)
{
    termlist_q r = f;
    scale_termlist_q(&r, c);
    return r;
}

void cleanup_q(termlist_q *f)
{
    int kept = 0;
    for (int i = 0; i < f->n; i++) {
        if (is_zero(f->t[i].coef.get()))
            continue;
        if (kept != i)
            f->t[kept] = std::move(f->t[i]);
        kept++;
    }
    if (kept == f->n)
        return;
    f->n = kept;
    f->t.resize(kept);
    if (kept == 0)
        std::vector<term_q>().swap(f->t);
}

int proportional_q(const termlist_q &f, const termlist_q &g)
{
    if (f.n != g.n)
        return 0;
    int ref = -1;
    for (int i = 0; i < f.n; i++) {
        if (!monomial_equal_q(f.t[i], g.t[i]))
            return 0;
        bool zf = is_zero(f.t[i].coef.get()), zg = is_zero(g.t[i].coef.get());
        if (zf != zg)
            return 0;
        if (!zf && ref < 0)
            ref = i;
    }
    if (ref < 0)
        return 1;
    // f_i g_ref == g_i f_ref for every i: one common ratio, no division.
    mpq_owner a, b;
    for (int i = 0; i < f.n; i++) {
        mpq_mul(a.get(), f.t[i].coef.get(), g.t[ref].coef.get());
        mpq_mul(b.get(), g.t[i].coef.get(), f.t[ref].coef.get());
        if (!mpq_equal(a.get(), b.get()))
            return 0;
    }
    return 1;
}

int append_equation_q(eq_array_q *E, const termlist_q &f)
{
    for (int i = 0; i < E->n; i++)
        if (proportional_q(E->eq[i], f))
            return 0;
    sp_resize(&E->eq, static_cast<std::size_t>(E->n) + 1, "equation array");
    E->eq[E->n] = f;
    make_monic_q(&E->eq[E->n]);
    E->n++;
    return 1;
}

void remove_equation_q(eq_array_q *E, int k)
{
    if (k < 0 || k >= E->n)
        return;
    E->eq.erase(E->eq.begin() + k);
    E->n--;
}

// ---- printing ----

namespace {

void print_factors_q(const term_q &t, bool written, FILE *fp)
{
    for (int k = 0; k < t.n; k++) {
        if (t.exp[k] == 0)
            continue;
        if (written)
            fputs(" * ", fp);
        fprintf(fp, "B%d", k);
        if (t.exp[k] > 1)
            fprintf(fp, "^%d", t.exp[k]);
        written = true;
    }
    if (!written)
        fputs("1", fp);
}

}  // namespace

void print_term_q(const term_q &t, FILE *fp, int index)
{
    bool negative = mpq_cmp_ui(t.coef.get(), 0, 1) < 0;
    if (negative)
        fputs(" - ", fp);
    else if (index > 0)
        fputs(" + ", fp);
    mpq_owner a;
    mpq_abs(a.get(), t.coef.get());
    bool written = false;
    if (mpq_cmp_ui(a.get(), 1, 1) != 0) {
        mpq_out_str(fp, 10, a.get());
        written = true;
    }
    print_factors_q(t, written, fp);
}

void print_termlist_q(const termlist_q &f, FILE *fp)
{
    if (f.n == 0) {
        fputs("0", fp);
        return;
    }
    for (int i = 0; i < f.n; i++)
        print_term_q(f.t[i], fp, i);
}

void print_eq_array_q(const eq_array_q &E, FILE *fp)
{
    for (int i = 0; i < E.n; i++) {
        fprintf(fp, "%3d   ", i);
        print_termlist_q(E.eq[i], fp);
        fputs("\n", fp);
    }
}

void print_monomial_q(const term_q &t, FILE *fp)
{
    bool written = false;
    if (mpq_cmp_ui(t.coef.get(), 1, 1) != 0) {
        mpq_out_str(fp, 10, t.coef.get());
        written = true;
    }
    print_factors_q(t, written, fp);
}
