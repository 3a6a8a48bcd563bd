// Divisibility, S-polynomials, reduction and inter-reduction of the
// extended-precision polynomials, and the bookkeeping of equation arrays.
#include "algebra/groebner.h"

#include <utility>
#include <vector>

#include "base/error.h"

namespace {

int exp_at(int n, const int *e, int k)
{
    return k < n ? e[k] : 0;
}

// A usable divisor: a non-empty equation whose leading coefficient is not 0.
bool has_lead(const termlist &e)
{
    return e.n > 0 && e.t[0].coef != 0;
}

// *p -= q * e, where q * LT(e) has the monomial of target. That monomial
// cancels exactly, as the division means it to, whatever the rounding (and
// also for a coefficient that is not finite), so every reduction step
// removes its term and reductions always end. What else cancels to
// rounding noise of its size is zero too and is dropped.
// p_sorted: the caller keeps *p strictly sorted. Returns whether the
// result is strictly sorted.
// e_sorted: the caller knows e to be strictly sorted.
bool subtract_multiple(termlist *p, const poly_term &q, const termlist &e, const poly_term &target,
                       bool p_sorted = false, bool e_sorted = false)
{
    termlist r;
    bool merged = (e_sorted || termlist_strictly_sorted(e)) && (p_sorted || termlist_strictly_sorted(*p));
    if (merged) {
        // The leading terms of *p and q e are the target, which cancels
        // exactly: both are left out.
        termlist qe = new_termlist(e.n - 1);
        for (int i = 1; i < e.n; i++)
            qe.t[i - 1] = term_mul(q, e.t[i]);
        if (p->n > 0 && monomial_equal(p->t[0], target)) {
            *p = termlist_sub_sorted(std::move(*p), std::move(qe), 1);
            return true;
        }
        qe.t.insert(qe.t.begin(), term_mul(q, e.t[0]));
        qe.n++;
        r = termlist_sub_sorted(std::move(*p), std::move(qe));
    } else {
        termlist qe = termlist_mul_term(q, e);
        r = termlist_lincomb_sorted(1, *p, -1, qe);
    }
    for (int i = 0; i < r.n; i++)
        if (monomial_equal(r.t[i], target)) {
            r.t[i].coef = 0;
            break;
        }
    drop_cancelled_terms(&r);
    *p = std::move(r);
    return merged;
}

// Reduces *p by e at term k when LT(e) divides it; returns whether it did.
// Used on the basis equations during inter-reduction.
bool reduce_term_by(termlist *p, int k, const termlist &e)
{
    if (!has_lead(e) || !monomial_divides(p->t[k], e.t[0]))
        return false;
    poly_term target = p->t[k];
    poly_term q;
    term_divide(target, e.t[0], &q);
    // The subtraction and the sort that follows go over both polynomials.
    algebra_work(p->n + e.n);
    subtract_multiple(p, q, e, target);
    sort_terms(p);
    return true;
}

void scale_by_lead(eq_array *E)
{
    for (int i = 0; i < E->n; i++)
        if (has_lead(E->eq[i]))
            normalise_lead(&E->eq[i]);
}

// The end of an inter-reduction: every equation scaled to a leading
// coefficient of 1 and cleaned of what has cancelled.
void finish_reduction(eq_array *E)
{
    scale_by_lead(E);
    for (int i = 0; i < E->n; i++)
        drop_cancelled_terms(&E->eq[i]);
}

termlist reduce_full(const eq_array &E, const termlist &f, eq_array *quot)
{
    termlist r;
    termlist p = f;
    sort_terms(&p);
    drop_cancelled_terms(&p);
    bool sorted = termlist_strictly_sorted(p);
    std::vector<char> e_sorted(E.n);
    for (int i = 0; i < E.n; i++)
        e_sorted[i] = termlist_strictly_sorted(E.eq[i]);
    while (p.n > 0 && !algebra_work(p.n)) {
        const poly_term lt = p.t[0];
        int i = 0;
        while (i < E.n && !(has_lead(E.eq[i]) && monomial_divides(lt, E.eq[i].t[0])))
            i++;
        if (i < E.n) {
            poly_term q;
            term_divide(lt, E.eq[i].t[0], &q);
            sorted = subtract_multiple(&p, q, E.eq[i], lt, sorted, e_sorted[i]);
            if (quot) {
                termlist_add_term(&quot->eq[i], 1, q.n, q.exp.data(), q.coef);
                sort_terms(&quot->eq[i]);
                algebra_work(quot->eq[i].n);
            }
            if (!sorted) {
                sort_terms(&p);
                sorted = termlist_strictly_sorted(p);
            }
        } else {
            // The term moves to the remainder; the remainder's terms come
            // in descending order, so it stays sorted.
            sp_resize(&r.t, static_cast<std::size_t>(r.n) + 1, "polynomial term");
            r.t[r.n++] = std::move(p.t[0]);
            p.t.erase(p.t.begin());
            p.n--;
        }
    }
    return r;
}

}  // namespace

// ---- monomials and terms ----

subterm lcm_subterm(int na, const int *a, int nb, const int *b)
{
    int n = na > nb ? na : nb;
    subterm m = new_subterm(n);
    for (int k = 0; k < n; k++) {
        int x = exp_at(na, a, k), y = exp_at(nb, b, k);
        m.exp[k] = x > y ? x : y;
    }
    return m;
}

poly_term monomial_term(const subterm &m)
{
    return make_term(m.n, m.exp.data(), 1);
}

int term_divide(const poly_term &t, const poly_term &u, poly_term *q)
{
    int n = t.n > u.n ? t.n : u.n;
    *q = new_term(n);
    int divides = 1;
    for (int k = 0; k < n; k++) {
        q->exp[k] = exp_at(t.n, t.exp.data(), k) - exp_at(u.n, u.exp.data(), k);
        if (q->exp[k] < 0)
            divides = 0;
    }
    q->coef = t.coef / u.coef;
    q->size = 0;
    return divides;
}

int subterm_divides(int na, const int *a, int nb, const int *b)
{
    int n = na > nb ? na : nb;
    for (int k = 0; k < n; k++)
        if (exp_at(na, a, k) < exp_at(nb, b, k))
            return 0;
    return 1;
}

int monomial_divides(const poly_term &t, const poly_term &u)
{
    return subterm_divides(t.n, t.exp.data(), u.n, u.exp.data());
}

int monomials_share_variable(int na, const int *a, int nb, const int *b)
{
    int n = na < nb ? na : nb;
    for (int k = 0; k < n; k++)
        if (a[k] != 0 && b[k] != 0)
            return 1;
    return 0;
}

int monomials_share_variable2(int na, const int *a, int nb, const int *b)
{
    return monomials_share_variable(na, a, nb, b);
}

int total_degree(const poly_term &m)
{
    int d = 0;
    for (int k = 0; k < m.n; k++)
        d += m.exp[k];
    return d;
}

int subterm_degree(const subterm &m)
{
    int d = 0;
    for (int k = 0; k < m.n; k++)
        d += m.exp[k];
    return d;
}

int max_total_degree(const termlist &L)
{
    int d = 0;
    for (int i = 0; i < L.n; i++) {
        int x = total_degree(L.t[i]);
        if (x > d)
            d = x;
    }
    return d;
}

// ---- equation arrays ----

void remove_equation(eq_array *E, int k)
{
    if (k < 0 || k >= E->n)
        return;
    E->eq.erase(E->eq.begin() + k);
    E->n--;
    if (E->n == 0)
        std::vector<termlist>().swap(E->eq);
}

int eq_array_has_proportional(const eq_array &E, const termlist &f)
{
    for (int i = 0; i < E.n; i++)
        if (termlist_proportional(E.eq[i], f))
            return 1;
    return 0;
}

int add_unique_equation(eq_array *E, const termlist &f)
{
    if (eq_array_has_proportional(*E, f))
        return 0;
    sp_resize(&E->eq, static_cast<std::size_t>(E->n) + 1, "equation array");
    E->eq[E->n] = f;
    normalise_lead(&E->eq[E->n]);
    E->n++;
    return 1;
}

void remove_empty_equations(eq_array *E)
{
    for (int i = E->n - 1; i >= 0; i--)
        if (E->eq[i].n == 0)
            remove_equation(E, i);
}

void minimise_basis(eq_array *E)
{
    remove_empty_equations(E);
    bool removed = true;
    while (removed) {
        removed = false;
        for (int i = E->n - 1; i >= 0 && !removed; i--)
            for (int j = i - 1; j >= 0; j--)
                if (monomial_divides(E->eq[j].t[0], E->eq[i].t[0])) {
                    remove_equation(E, j);
                    removed = true;
                    break;
                }
    }
}

void sort_first_equations(eq_array *E)
{
    for (int i = 0; i + 1 < E->n; i++)
        sort_terms(&E->eq[i]);
}

void sort_all_terms(eq_array *E)
{
    for (int i = 0; i < E->n; i++)
        sort_terms(&E->eq[i]);
}

// ---- reduction ----

termlist s_poly(termlist *f, termlist *g)
{
    if (f->n == 0 || g->n == 0)
        fatal("S-poly: empty polynomial");
    sort_terms(f);
    sort_terms(g);
    // A leading term that cancelled to 0 is no leading term.
    if (f->t[0].coef == 0)
        drop_zero_terms(f);
    if (g->n > 0 && g->t[0].coef == 0)
        drop_zero_terms(g);
    if (f->n == 0 || g->n == 0)
        fatal("S-poly: empty polynomial");
    const poly_term &lf = f->t[0], &lg = g->t[0];
    subterm L = lcm_subterm(lf.n, lf.exp.data(), lg.n, lg.exp.data());
    poly_term m = monomial_term(L), u, v;
    term_divide(m, lf, &u);
    term_divide(m, lg, &v);
    termlist uf = termlist_mul_term(u, *f);
    termlist vg = termlist_mul_term(v, *g);
    termlist S = termlist_lincomb_sorted(1, uf, -1, vg);
    for (int i = 0; i < S.n; i++)
        if (monomial_equal(S.t[i], m)) {
            S.t[i].coef = 0;
            break;
        }
    drop_cancelled_terms(&S);
    sort_terms(&S);
    return S;
}

termlist reduce_poly(const eq_array &E, const termlist &f)
{
    return reduce_full(E, f, nullptr);
}

termlist reduce_with_quotients(const eq_array &E, const termlist &f, eq_array *quot)
{
    *quot = new_eq_array(E.n);
    return reduce_full(E, f, quot);
}

void reduce_basis(eq_array *E)
{
    sort_eq_array(E);
    scale_by_lead(E);
    bool changed = true;
    while (changed && !algst.work_exceeded) {
        changed = false;
        for (int i = E->n - 1; i >= 1 && !algebra_work(E->n); i--) {
            for (int j = i - 1; j >= 0 && i < E->n && j < E->n && !algst.work_exceeded; j--) {
                termlist &ej = E->eq[j];
                // Only the tail: the leading term stays.
                for (int k = 1; k < ej.n && !algst.work_exceeded;)
                    if (reduce_term_by(&ej, k, E->eq[i]))
                        changed = true;
                    else
                        k++;
                if (ej.n == 0) {
                    remove_equation(E, j);
                    i--;  // equation i has moved down with the others
                }
            }
        }
    }
    finish_reduction(E);
    sort_eq_array(E);
}

void interreduce_all(eq_array *E)
{
    sort_eq_array(E);
    scale_by_lead(E);
    // Reduction of a finite set always ends; the bound only guards against
    // rounding that would keep re-creating a term.
    bool changed = true;
    for (int sweep = 0; changed && sweep < 10000 && !algst.work_exceeded; sweep++) {
        changed = false;
        for (int i = E->n - 1; i >= 1 && !algst.work_exceeded; i--) {
            for (int j = E->n - 1; j >= 0 && i < E->n; j--) {
                if (j == i || j >= E->n)
                    continue;
                termlist &ej = E->eq[j];
                for (int k = 0; k < ej.n;)
                    if (reduce_term_by(&ej, k, E->eq[i]))
                        changed = true;
                    else
                        k++;
                if (ej.n == 0) {
                    remove_equation(E, j);
                    if (j < i)
                        i--;
                }
            }
        }
    }
    finish_reduction(E);
    sort_eq_array(E);
}

// ---- heuristics and counters ----

void reduce_by_spolys(eq_array *E)
{
    sort_eq_array(E);
    for (int i = 0; i < E->n; i++) {
        for (int round = 0; round < 1000 && E->eq[i].n > 0; round++) {
            int j = 0;
            while (j < E->n &&
                   (j == i || E->eq[j].n == 0 || !monomial_divides(E->eq[i].t[0], E->eq[j].t[0])))
                j++;
            if (j == E->n)
                break;
            termlist S = s_poly(&E->eq[i], &E->eq[j]);
            E->eq[i] = reduce_poly(*E, S);
        }
    }
}

int count_terms_of_degree(const termlist &L, int d)
{
    int c = 0;
    for (int i = 0; i < L.n; i++)
        if (total_degree(L.t[i]) == d)
            c++;
    return c;
}

void lower_top_degree(eq_array *E)
{
    bool changed = true;
    for (int round = 0; changed && round < 1000; round++) {
        changed = false;
        for (int d = max_total_degree_eqs(*E); d >= 2; d--) {
            for (int i = 1; i < E->n; i++) {
                for (int j = 0; j < i; j++) {
                    const termlist &ei = E->eq[i], &ej = E->eq[j];
                    int ci = count_terms_of_degree(ei, d), cj = count_terms_of_degree(ej, d);
                    termlist cand = ci >= cj ? ei : ej;
                    for (int a = 0; a < ei.n; a++) {
                        if (total_degree(ei.t[a]) != d)
                            continue;
                        for (int b = 0; b < ej.n; b++) {
                            if (total_degree(ej.t[b]) != d || !monomial_equal(ei.t[a], ej.t[b]))
                                continue;
                            termlist comb = termlist_lincomb(ei.t[a].coef, ej, -ej.t[b].coef, ei);
                            cleanup_term2(&comb);
                            int top = max_total_degree(cand);
                            if (count_terms_of_degree(comb, d) < count_terms_of_degree(cand, d) &&
                                max_total_degree(comb) <= top &&
                                count_terms_of_degree(comb, top) <= count_terms_of_degree(cand, top))
                                cand = std::move(comb);
                        }
                    }
                    int cc = count_terms_of_degree(cand, d);
                    if (cc < ci && cc < cj) {
                        E->eq[ci >= cj ? i : j] = std::move(cand);
                        changed = true;
                    }
                }
            }
        }
    }
    sort_eq_array(E);
}

int max_total_degree_eqs(const eq_array &E)
{
    int d = 0;
    for (int i = 0; i < E.n; i++) {
        int x = max_total_degree(E.eq[i]);
        if (x > d)
            d = x;
    }
    return d;
}

long bezout_number(const eq_array &E)
{
    long b = 1;
    for (int i = 0; i < E.n; i++)
        b *= max_total_degree(E.eq[i]);
    return b;
}

int max_terms(const eq_array &E)
{
    int m = 0;
    for (int i = 0; i < E.n; i++)
        if (E.eq[i].n > m)
            m = E.eq[i].n;
    return m;
}

int max_exponent(const termlist &L)
{
    int m = 0;
    for (int i = 0; i < L.n; i++)
        for (int k = 0; k < L.t[i].n; k++)
            if (L.t[i].exp[k] > m)
                m = L.t[i].exp[k];
    return m;
}

int is_single_variable(int n, const int *exp)
{
    int ones = 0;
    for (int k = 0; k < n; k++) {
        if (exp[k] == 1)
            ones++;
        else if (exp[k] != 0)
            return 0;
    }
    return ones == 1;
}
