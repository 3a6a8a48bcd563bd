// Groebner bases over the exact rationals: S-polynomials, reduction,
// inter-reduction and Buchberger's algorithm on the shared pair machinery.
#include "algebra/buchberger_impl.h"
#include "algebra/order.h"
#include "algebra/rational.h"
#include "base/error.h"

namespace {

// Marks the run as too large when a coefficient of f has outgrown the bit
// limit; returns whether the run is to stop.
bool outgrown(const termlist_q &f)
{
    if (algst.exact_too_large)
        return true;
    for (int i = 0; i < f.n; i++) {
        mpq_srcptr c = f.t[i].coef.get();
        if (static_cast<long>(mpz_sizeinbase(mpq_numref(c), 2)) > algst.exact_bit_limit ||
            static_cast<long>(mpz_sizeinbase(mpq_denref(c), 2)) > algst.exact_bit_limit) {
            algst.exact_too_large = true;
            return true;
        }
    }
    return false;
}

bool has_terms(const termlist_q &f)
{
    return f.n > 0;
}

// *p -= (term k of p / LT(e)) * e; the term cancels exactly.
bool reduce_term_q(termlist_q *p, int k, const termlist_q &e)
{
    if (!has_terms(e) || !subterm_divides_q(p->t[k], e.t[0]))
        return false;
    term_q q;
    if (!divide_term_q(p->t[k], e.t[0], &q))
        return false;
    termlist_q qe = mul_termlist_term_q(e, q);
    mpq_owner one, minus_one;
    mpq_set_ui(one.get(), 1, 1);
    mpq_set_si(minus_one.get(), -1, 1);
    *p = lincomb_q(one.get(), *p, minus_one.get(), qe);
    cleanup_q(p);
    sort_terms_q(p);
    return true;
}

void make_all_monic(eq_array_q *E)
{
    for (int i = 0; i < E->n; i++)
        make_monic_q(&E->eq[i]);
}

// Reduces the terms of E_l from the index first on by E_k until none is
// divisible; returns whether anything changed.
bool reduce_equation_q(eq_array_q *E, int l, int k, int first)
{
    bool changed = false;
    termlist_q &el = E->eq[l];
    for (int i = first; i < el.n;)
        if (reduce_term_q(&el, i, E->eq[k]))
            changed = true;
        else
            i++;
    return changed;
}

// The inter-reduction of reduce_basis_q (tails only, by later equations)
// and of prereduce_q (every term, by every equation but the first). Whole
// sweeps repeat until one changes nothing: reducing a tail by one equation
// can bring in powers that an equation further down reduces, and a sweep
// that is already past that equation leaves them standing.
void interreduce_q(eq_array_q *E, bool whole)
{
    sort_eq_array_q(E);
    bool changed = true;
    // Exact reduction always ends; the bound only guards the loop.
    for (int pass = 0; changed && pass < 100000 && !algst.work_exceeded && !algst.exact_too_large; pass++) {
        changed = false;
        for (int k = E->n - 1; k >= 1 && !algebra_work(E->n); k--) {
            for (int l = whole ? E->n - 1 : k - 1; l >= 0 && k < E->n; l--) {
                if (l == k || l >= E->n)
                    continue;
                if (reduce_equation_q(E, l, k, whole ? 0 : 1))
                    changed = true;
                if (outgrown(E->eq[l]))
                    return;
                if (E->eq[l].n == 0) {
                    remove_equation_q(E, l);
                    if (l < k)
                        k--;
                }
            }
        }
    }
    make_all_monic(E);
    sort_eq_array_q(E);
}

struct q_ops {
    using eqs = eq_array_q;
    using list = termlist_q;
    static constexpr int count_verbosity = 0;
    static void sort_eqs(eq_array_q *E) { sort_eq_array_q(E); }
    static int add_unique(eq_array_q *E, const termlist_q &f) { return append_equation_q(E, f); }
    static termlist_q spoly(termlist_q *f, termlist_q *g) { return qs_poly(f, g); }
    static termlist_q reduce(const eq_array_q &E, const termlist_q &f) { return reduce_poly_q(E, f); }
    static void print_eqs(const eq_array_q &E, FILE *fp) { print_eq_array_q(E, fp); }
    static void print_list(const termlist_q &f, FILE *fp) { print_termlist_q(f, fp); }
    static bool stopped() { return algst.exact_too_large; }
};

}  // namespace

termlist_q qs_poly(termlist_q *f, termlist_q *g)
{
    if (f->n == 0 || g->n == 0)
        fatal("QS-poly: empty polynomial");
    cleanup_q(f);
    cleanup_q(g);
    if (f->n == 0 || g->n == 0)
        fatal("QS-poly: empty polynomial");
    sort_terms_q(f);
    sort_terms_q(g);
    term_q L = lcm_term_q(f->t[0], g->t[0]);
    term_q u, v;
    divide_term_q(L, f->t[0], &u);
    divide_term_q(L, g->t[0], &v);
    termlist_q uf = mul_termlist_term_q(*f, u);
    termlist_q vg = mul_termlist_term_q(*g, v);
    mpq_owner one, minus_one;
    mpq_set_ui(one.get(), 1, 1);
    mpq_set_si(minus_one.get(), -1, 1);
    termlist_q S = lincomb_q(one.get(), uf, minus_one.get(), vg);
    cleanup_q(&S);
    sort_terms_q(&S);
    return S;
}

// The work of one step on p: its terms and the limbs of their exact
// coefficients, which grow without bound in a long reduction.
static long q_work(const termlist_q &p)
{
    long w = p.n;
    for (int i = 0; i < p.n; i++) {
        mpq_srcptr c = p.t[i].coef.get();
        w += static_cast<long>(mpz_size(mpq_numref(c)) + mpz_size(mpq_denref(c)));
    }
    return w;
}

termlist_q reduce_poly_q(const eq_array_q &E, const termlist_q &f)
{
    termlist_q p = f, R;
    cleanup_q(&p);
    sort_terms_q(&p);
    while (p.n > 0 && !(algst.work_limit > 0 && algebra_work(q_work(p)))) {
        int k = 0;
        while (k < E.n && !(has_terms(E.eq[k]) && mpq_cmp_ui(E.eq[k].t[0].coef.get(), 0, 1) != 0 &&
                            subterm_divides_q(p.t[0], E.eq[k].t[0])))
            k++;
        if (k < E.n) {
            reduce_term_q(&p, 0, E.eq[k]);
            if (outgrown(p))
                return termlist_q();
        } else {
            sp_resize(&R.t, static_cast<std::size_t>(R.n) + 1, "polynomial term");
            R.t[R.n++] = std::move(p.t[0]);
            p.t.erase(p.t.begin());
            p.n--;
        }
        cleanup_q(&p);
        sort_terms_q(&p);
        cleanup_q(&R);
        sort_terms_q(&R);
    }
    return R;
}

void remove_redundant_q(eq_array_q *E)
{
    for (int i = E->n - 1; i >= 0; i--)
        if (E->eq[i].n == 0)
            remove_equation_q(E, i);
    bool removed = true;
    while (removed) {
        removed = false;
        for (int i = 0; i < E->n && !removed; i++)
            for (int j = i + 1; j < E->n; j++)
                if (subterm_divides_q(E->eq[i].t[0], E->eq[j].t[0])) {
                    remove_equation_q(E, i);
                    removed = true;
                    break;
                }
    }
}

void reduce_basis_q(eq_array_q *E)
{
    interreduce_q(E, false);
}

void prereduce_q(eq_array_q *E)
{
    interreduce_q(E, true);
}

int pair_sugar_q(const termlist_q &f, const termlist_q &g, subterm *lcm)
{
    return groebner_impl::pair_sugar(f, g, lcm);
}

void update_pairs_q(const eq_array_q &E, p_pair_array *P)
{
    groebner_impl::update_pairs(E, P);
}

void report_redundant_q(const eq_array_q &E, p_pair_array *P)
{
    groebner_impl::report_redundant(E, P);
}

void add_equation_q(eq_array_q *E, const termlist_q &f, p_pair_array *P)
{
    groebner_impl::add_equation<q_ops>(E, f, P);
}

void buchberger_q(eq_array_q *E)
{
    groebner_impl::buchberger<q_ops>(E);
}

void groebner_basis_q(eq_array_q *E)
{
    buchberger_q(E);
    if (algst.work_exceeded || algst.exact_too_large)
        return;
    remove_redundant_q(E);
    reduce_basis_q(E);
}
