// Groebner bases modulo a prime on the shared Buchberger machinery. The
// coefficients are residues 0 .. p-1, held exactly in the long double
// coefficients of the extended-precision polynomials.
#include "algebra/modular_groebner.h"

#include <cstdint>

#include "algebra/buchberger_impl.h"
#include "algebra/checked_groebner.h"
#include "algebra/groebner.h"
#include "algebra/order.h"
#include "algebra/rational.h"

namespace {

const uint64_t kPrime = 2147483629ULL;

uint64_t res(long double c)
{
    return static_cast<uint64_t>(c);
}

uint64_t mulm(uint64_t a, uint64_t b)
{
    return a * b % kPrime;
}

uint64_t powm(uint64_t a, uint64_t e)
{
    uint64_t r = 1;
    for (; e; e >>= 1, a = mulm(a, a))
        if (e & 1)
            r = mulm(r, a);
    return r;
}

uint64_t invm(uint64_t a)
{
    return powm(a, kPrime - 2);
}

void monic(termlist *f)
{
    if (f->n == 0)
        return;
    uint64_t inv = invm(res(f->t[0].coef));
    for (int i = 0; i < f->n; i++)
        f->t[i].coef = static_cast<long double>(mulm(res(f->t[i].coef), inv));
}

// f - c x^m g for sorted f and g, sorted; zero coefficients dropped.
termlist sub_multiple(const termlist &f, uint64_t c, const poly_term &m, const termlist &g)
{
    termlist R = new_termlist(f.n + g.n);
    int i = 0, j = 0, k = 0;
    while (i < f.n || j < g.n) {
        poly_term u;
        int cmp;
        if (j < g.n) {
            u = term_mul(m, g.t[j]);
            u.coef = static_cast<long double>((kPrime - mulm(c, res(g.t[j].coef))) % kPrime);
            cmp = i == f.n ? -1 : cmp_term_monomials(f.t[i], u);
        } else {
            cmp = 1;
        }
        if (cmp > 0) {
            R.t[k++] = f.t[i++];
        } else if (cmp < 0) {
            j++;
            if (u.coef != 0)
                R.t[k++] = std::move(u);
        } else {
            uint64_t s = (res(f.t[i].coef) + res(u.coef)) % kPrime;
            if (s != 0) {
                u.coef = static_cast<long double>(s);
                R.t[k++] = std::move(u);
            }
            i++;
            j++;
        }
    }
    R.n = k;
    R.t.resize(k);
    return R;
}

termlist reduce_mod(const eq_array &E, const termlist &f)
{
    termlist r, p = f;
    while (p.n > 0 && !algebra_work(p.n)) {
        int i = 0;
        while (i < E.n && !(E.eq[i].n > 0 && monomial_divides(p.t[0], E.eq[i].t[0])))
            i++;
        if (i < E.n) {
            poly_term q;
            term_divide(p.t[0], E.eq[i].t[0], &q);
            p = sub_multiple(p, res(p.t[0].coef), q, E.eq[i]);
        } else {
            r.t.push_back(std::move(p.t[0]));
            r.n++;
            p.t.erase(p.t.begin());
            p.n--;
        }
    }
    return r;
}

struct mod_ops {
    using eqs = eq_array;
    using list = termlist;
    static constexpr int count_verbosity = 1 << 30;
    static void sort_eqs(eq_array *E)
    {
        for (int i = 0; i < E->n; i++) {
            sort_terms(&E->eq[i]);
            monic(&E->eq[i]);
        }
        stable_sort_desc(E->eq, E->n, [](const termlist &a, const termlist &b) {
            return a.n != 0 && (b.n == 0 || cmp_term_monomials(a.t[0], b.t[0]) > 0);
        });
    }
    static int add_unique(eq_array *E, const termlist &f)
    {
        termlist g = f;
        monic(&g);
        for (int i = 0; i < E->n; i++) {
            const termlist &e = E->eq[i];
            bool same = e.n == g.n;
            for (int j = 0; same && j < g.n; j++)
                same = monomial_equal(e.t[j], g.t[j]) && e.t[j].coef == g.t[j].coef;
            if (same)
                return 0;
        }
        E->eq.push_back(std::move(g));
        E->n++;
        return 1;
    }
    static termlist spoly(termlist *f, termlist *g)
    {
        subterm L = lcm_subterm(f->t[0].n, f->t[0].exp.data(), g->t[0].n, g->t[0].exp.data());
        poly_term m = monomial_term(L), u, v;
        term_divide(m, f->t[0], &u);
        term_divide(m, g->t[0], &v);
        u.coef = 1;
        termlist uf = new_termlist(f->n);
        for (int i = 0; i < f->n; i++)
            uf.t[i] = term_mul(u, f->t[i]);
        return sub_multiple(uf, 1, v, *g);  // both monic
    }
    static termlist reduce(const eq_array &E, const termlist &f) { return reduce_mod(E, f); }
    static void print_eqs(const eq_array &, FILE *) {}
    static void print_list(const termlist &, FILE *) {}
    static bool stopped() { return false; }
};

}  // namespace

long modular_solution_count(const eq_array &E, int nv, long limit)
{
    eq_array_q Q = eq_array_q_exact(E);
    eq_array M = new_eq_array(E.n);
    for (int i = 0; i < Q.n; i++) {
        for (int j = 0; j < Q.eq[i].n; j++) {
            const term_q &t = Q.eq[i].t[j];
            uint64_t num = mpz_fdiv_ui(mpq_numref(t.coef.get()), kPrime);
            uint64_t den = mpz_fdiv_ui(mpq_denref(t.coef.get()), kPrime);
            if (den == 0)
                return -3;
            if (num == 0)
                continue;
            termlist_add_term(&M.eq[i], 1, t.n, t.exp.data(), static_cast<long double>(mulm(num, invm(den))));
        }
    }
    // Residues add as integers in termlist_add_term only for distinct
    // monomials; the equations come with each monomial once.
    int verbosity = ist.verbosity;
    ist.verbosity = 0;
    groebner_impl::buchberger<mod_ops>(&M);
    ist.verbosity = verbosity;
    if (algst.work_exceeded)
        return -3;
    minimise_basis(&M);
    return standard_monomial_count(M, nv, limit);
}
