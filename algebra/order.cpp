// Monomial orders and sorting.
#include "algebra/order.h"

#include <utility>

algebra_state algst;

namespace {

int exp_at(int n, const int *e, int k)
{
    return k < n ? e[k] : 0;
}

int sign(long d)
{
    return d > 0 ? 1 : (d < 0 ? -1 : 0);
}

}  // namespace

int cmp_lex(int na, const int *a, int nb, const int *b)
{
    int n = na > nb ? na : nb;
    for (int k = 0; k < n; k++) {
        int d = exp_at(na, a, k) - exp_at(nb, b, k);
        if (d)
            return sign(d);
    }
    return 0;
}

int cmp_grevlex(int na, const int *a, int nb, const int *b)
{
    long da = 0, db = 0;
    for (int k = 0; k < na; k++)
        da += a[k];
    for (int k = 0; k < nb; k++)
        db += b[k];
    if (da != db)
        return sign(da - db);
    int n = na > nb ? na : nb;
    for (int k = n - 1; k >= 0; k--) {
        int d = exp_at(na, a, k) - exp_at(nb, b, k);
        if (d)
            return -sign(d);
    }
    return 0;
}

int weighted_degree(int n, const int *exp)
{
    const weight_factors &w = algst.weights;
    int m = n < w.n ? n : w.n;
    int s = 0;
    for (int k = 0; k < m; k++)
        s += w.w[k] * exp[k];
    return s;
}

int cmp_weighted(int na, const int *a, int nb, const int *b)
{
    int wa = weighted_degree(na, a), wb = weighted_degree(nb, b);
    if (wa != wb)
        return wa > wb ? 1 : -1;
    // Ties go as the walk goes on from these weights (it lowers the last
    // non-zero weight w_m to 0, then the one before): the larger sum of
    // the exponents of B0 .. B(j-1) wins, for j = m down to 1; then lex.
    // Under all weights 1 this is grevlex, under (w0, 0, ..., 0) lex.
    const weight_factors &w = algst.weights;
    int m = w.n - 1;
    while (m >= 0 && w.w[m] == 0)
        m--;
    long sa = 0, sb = 0;
    for (int k = 0; k < m; k++) {
        sa += exp_at(na, a, k);
        sb += exp_at(nb, b, k);
    }
    for (int j = m; j >= 1; j--) {
        if (sa != sb)
            return sa > sb ? 1 : -1;
        sa -= exp_at(na, a, j - 1);
        sb -= exp_at(nb, b, j - 1);
    }
    return cmp_lex(na, a, nb, b);
}

int cmp_monomial(int na, const int *a, int nb, const int *b)
{
    switch (algst.monomial_order) {
    case 2:
        return cmp_grevlex(na, a, nb, b);
    case 3:
        return cmp_weighted(na, a, nb, b);
    default:
        return cmp_lex(na, a, nb, b);
    }
}

int cmp_term_monomials(const poly_term &t, const poly_term &u)
{
    return cmp_monomial(t.n, t.exp.data(), u.n, u.exp.data());
}

void sort_terms(termlist *L)
{
    stable_sort_desc(L->t, L->n,
                     [](const poly_term &a, const poly_term &b) { return cmp_term_monomials(a, b) > 0; });
}

void normalise_lead(termlist *L)
{
    if (L->n == 0)
        return;
    // A leading term that cancelled to 0 is no divisor: clean it away first.
    if (L->t[0].coef == 0)
        drop_zero_terms(L);
    if (L->n == 0)
        return;
    long double lc = L->t[0].coef;
    // The uncertainty of the leading coefficient passes to every quotient;
    // the leading coefficient itself is then exactly 1.
    for (int i = 1; i < L->n; i++) {
        L->t[i].size = quotient_size(L->t[i].coef, term_size(L->t[i]), lc, lc < 0 ? -lc : lc);
        L->t[i].coef /= lc;
    }
    L->t[0].coef = 1;
    L->t[0].size = 1;
}

void sort_eq_array(eq_array *E)
{
    for (int i = 0; i < E->n; i++) {
        sort_terms(&E->eq[i]);
        normalise_lead(&E->eq[i]);
    }
    stable_sort_desc(E->eq, E->n, [](const termlist &a, const termlist &b) {
        if (a.n == 0)
            return false;
        return b.n == 0 || cmp_term_monomials(a.t[0], b.t[0]) > 0;
    });
}
