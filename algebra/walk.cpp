// Weights and the Groebner walk.
#include "algebra/walk.h"

#include <climits>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "algebra/buchberger.h"
#include "algebra/checked_groebner.h"
#include "algebra/groebner.h"
#include "base/error.h"
#include "base/globals.h"

namespace {

// A walk that has not ended after this many steps is not converging.
const int kMaxWalkSteps = 1000;

int exp_at(const poly_term &t, int k)
{
    return k < t.n ? t.exp[k] : 0;
}

int term_wdeg(const poly_term &t)
{
    return weighted_degree(t.n, t.exp.data());
}

// The first term of f of largest weighted degree, with that degree in *D.
int top_term(const termlist &f, int *D)
{
    int best = 0;
    *D = term_wdeg(f.t[0]);
    for (int i = 1; i < f.n; i++) {
        int d = term_wdeg(f.t[i]);
        if (d > *D) {
            *D = d;
            best = i;
        }
    }
    return best;
}

// sum of w_k e_k(t) over k in [from, to).
int partial_wdeg(const poly_term &t, int from, int to)
{
    const weight_factors &w = algst.weights;
    int s = 0;
    for (int k = from; k < to && k < w.n; k++)
        s += w.w[k] * exp_at(t, k);
    return s;
}

void print_weights(FILE *fp)
{
    fprintf(fp, "weights: ");
    for (int k = 0; k < algst.weights.n; k++)
        fprintf(fp, "%d ", algst.weights.w[k]);
}

void print_titled(FILE *fp, const char *title, const eq_array &E)
{
    fputs(title, fp);
    print_eq_array(E, fp);
    fputs("\n", fp);
}

// Everything the walk changes in the program-wide state, put back on every
// way out (also before a fatal end).
struct walk_state_guard {
    int order = algst.monomial_order;
    weight_factors weights = algst.weights;
    void restore()
    {
        algst.monomial_order = order;
        algst.weights = weights;
    }
    ~walk_state_guard() { restore(); }
};

// sum_j q_j G_j, with the terms that cancelled dropped.
termlist combine(const eq_array &q, const eq_array &G)
{
    termlist s;
    for (int j = 0; j < q.n && j < G.n; j++) {
        if (algebra_work(static_cast<long>(q.eq[j].n) * G.eq[j].n))
            break;
        termlist prod = termlist_mul(q.eq[j], G.eq[j]);
        s = termlist_lincomb_sorted(1, s, 1, prod);
    }
    drop_cancelled_terms(&s);
    sort_terms(&s);
    return s;
}

}  // namespace

weight_factors new_weight_factors(int n)
{
    weight_factors w;
    if (n > 0) {
        sp_resize(&w.w, n, "weight factors");
        w.n = n;
    }
    return w;
}

void free_weight_factors(weight_factors *w)
{
    *w = weight_factors();
}

weight_factors copy_weight_factors(const int *w, int n)
{
    weight_factors c = new_weight_factors(n);
    for (int k = 0; k < c.n; k++)
        c.w[k] = w[k];
    return c;
}

void set_weight_factors(const int *w, int n)
{
    if (n != algst.weights.n)
        fatal("set_weight_factors: dimensions do not agree");
    for (int k = 0; k < n; k++)
        algst.weights.w[k] = w[k];
}

int max_weighted_degree(const termlist &f)
{
    if (f.n == 0)
        return 0;
    int D;
    top_term(f, &D);
    return D;
}

termlist initial_form(const termlist &f)
{
    termlist in;
    if (f.n == 0)
        return in;
    int D = max_weighted_degree(f);
    for (int i = 0; i < f.n; i++)
        if (term_wdeg(f.t[i]) == D)
            termlist_add_term(&in, 1, f.t[i].n, f.t[i].exp.data(), f.t[i].coef);
    sort_terms(&in);
    return in;
}

eq_array initial_forms(const eq_array &E)
{
    eq_array In = new_eq_array(E.n);
    for (int i = 0; i < E.n; i++)
        In.eq[i] = initial_form(E.eq[i]);
    return In;
}

int next_weights(const eq_array &E, weight_factors *w)
{
    const weight_factors &cur = algst.weights;
    int m = cur.n - 1;
    while (m >= 0 && cur.w[m] == 0)
        m--;
    if (m < 1)
        return 0;
    // The walk lowers the weight of Bm from w_m towards 0 with the other
    // weights held, and stops at the first value lambda where a term t of
    // an equation ties with its leading term t0:
    //   A + lambda B = a + lambda b, A and a the weighted sums over k < m,
    // that is lambda = (A - a) / (b - B). It takes the largest such lambda
    // below w_m, p / q with p = |A - a| and q = |b - B|. (The sums are
    // weighted, so the bound is p < w_m q whatever w_0 is.)
    long num = 0, den = 1;
    for (int e = 0; e < E.n; e++) {
        const termlist &f = E.eq[e];
        if (f.n == 0)
            continue;
        int D;
        const poly_term &t0 = f.t[top_term(f, &D)];
        long A = partial_wdeg(t0, 0, m), B = exp_at(t0, m);
        for (int i = 0; i < f.n; i++) {
            const poly_term &t = f.t[i];
            if (term_wdeg(t) >= D)
                continue;
            long a = partial_wdeg(t, 0, m), b = exp_at(t, m);
            if ((A - a) * (b - B) >= 0) {
                long p = labs(A - a), q = labs(b - B);
                if (p < cur.w[m] * q && p * den > num * q) {
                    num = p;
                    den = q;
                }
            }
            if (num == 0)
                den = 1;
        }
    }
    // The new vector is (den w_0, ..., den w_(m-1), num, 0, ...), divided
    // by the common factor of its entries.
    std::vector<long> v(cur.n, 0);
    long g = num;
    for (int k = 0; k < m; k++) {
        v[k] = den * cur.w[k];
        g = std::gcd(g, v[k]);
    }
    v[m] = num;
    *w = new_weight_factors(cur.n);
    for (int k = 0; k < cur.n; k++) {
        long x = g > 1 ? v[k] / g : v[k];
        if (x > INT_MAX)
            fatal("groebner_walk: the weights outgrow the integers");
        w->w[k] = static_cast<int>(x);
    }
    return 1;
}

int print_weighted_terms(const eq_array &E, weight_factors *w)
{
    const weight_factors &cur = algst.weights;
    if (cur.n < 2 || cur.w[1] == 0)
        return 0;
    FILE *fp = ist.out_fp;
    long num = 0, den = 1, p = 0, q = 0;
    for (int e = 0; e < E.n; e++) {
        const termlist &f = E.eq[e];
        if (f.n == 0)
            continue;
        int D;
        const poly_term &t0 = f.t[top_term(f, &D)];
        long B = exp_at(t0, 0), A = partial_wdeg(t0, 1, cur.n);
        for (int i = 0; i < f.n; i++) {
            const poly_term &t = f.t[i];
            if (term_wdeg(t) >= D)
                continue;
            long b = exp_at(t, 0), a = partial_wdeg(t, 1, cur.n);
            if ((B - b) * (a - A) >= 0) {
                p = labs(B - b);
                q = labs(a - A);
                if (cur.w[0] * p < cur.w[1] * q && p * den > num * q) {
                    num = p;
                    den = q;
                }
                if (num == 0)
                    den = 1;
            }
            fprintf(fp,
                    "equation %d, term %d: e1=%d, e2=%d, e3=%d, e4=%d, w1=%d, w2=%d, w3=%d, w4=%d, w5=%d, "
                    "w6=%d\n",
                    e, i, static_cast<int>(B), static_cast<int>(A), static_cast<int>(b), static_cast<int>(a),
                    cur.w[0], cur.w[1], static_cast<int>(den), static_cast<int>(num), static_cast<int>(q),
                    static_cast<int>(p));
        }
    }
    *w = new_weight_factors(cur.n);
    for (int k = 0; k < cur.n; k++)
        w->w[k] = k == 0 ? static_cast<int>(den) : static_cast<int>(num);
    return 1;
}

void groebner_grevlex_walk(eq_array *E)
{
    FILE *fp = ist.out_fp;
    walk_state_guard guard;
    int nv = count_variables(*E);
    algst.weights = new_weight_factors(nv);
    for (int k = 0; k < nv; k++)
        algst.weights.w[k] = 1;

    algst.monomial_order = 2;
    std::string why;
    int checked = checked_groebner_basis(E, &why);
    // Past the work bound of the caller no step is a basis: stop at once.
    if (algst.work_exceeded)
        return;
    if (!checked) {
        guard.restore();
        fatal("groebner_walk: the grevlex basis could not be determined reliably: %s", why.c_str());
    }
    const long kCountLimit = 10000000;
    const long start_count = standard_monomial_count(*E, nv, kCountLimit);
    print_titled(fp, "groebner basis with grevlex ordering:\n", *E);
    print_weights(fp);

    eq_array &G = *E;
    // The order G is a basis for: grevlex at the start, then the weighted
    // order of the current weights (refined by lex).
    int basis_order = 2;
    for (int step = 0;; step++) {
        if (step == kMaxWalkSteps) {
            guard.restore();
            fatal("groebner_walk: no end after %d steps", kMaxWalkSteps);
        }
        // First half: lift the basis of the initial forms under the
        // current weights.
        fputs("\n", fp);
        algst.monomial_order = 3;
        eq_array In = initial_forms(G);
        print_titled(fp, "initial terms:\n", In);
        eq_array H = In;
        groebner_basis(&H);
        if (algst.work_exceeded)
            return;
        print_titled(fp, "groebner basis with weighted lex ordering of initial terms:\n", H);
        // The initial forms are a basis under the order that G is one for
        // (that order refined by the weights): the division runs under it.
        algst.monomial_order = basis_order;
        sort_all_terms(&In);
        std::vector<eq_array> quots(H.n);
        for (int h = 0; h < H.n; h++) {
            termlist hh = H.eq[h];
            sort_terms(&hh);
            termlist r = reduce_with_quotients(In, hh, &quots[h]);
            if (algst.work_exceeded)
                return;
            if (r.n != 0) {
                guard.restore();
                fatal("groebner_walk: remainder of division is not zero");
            }
        }
        algst.monomial_order = 3;
        basis_order = 3;
        eq_array lifted = new_eq_array(H.n);
        for (int h = 0; h < H.n; h++)
            lifted.eq[h] = combine(quots[h], G);
        reduce_basis(&lifted);
        if (algst.work_exceeded)
            return;
        G = std::move(lifted);
        print_titled(fp, "new groebner basis:\n", G);

        weight_factors next;
        if (!next_weights(G, &next)) {
            // At the end the weights leave only B0, so the order is lex:
            // the basis gives as many solutions as the grevlex one did.
            long end_count = standard_monomial_count(G, nv, kCountLimit);
            if (start_count != -2 && end_count != -2 && end_count != start_count) {
                guard.restore();
                fatal("groebner_walk: the lex basis gives %d solutions where the grevlex basis gives %d",
                      static_cast<int>(end_count), static_cast<int>(start_count));
            }
            // The basis is one for lex: reduced and sorted under it.
            algst.monomial_order = 1;
            reduce_basis(&G);
            break;
        }
        weight_factors old = algst.weights;
        algst.weights = next;
        print_weights(fp);

        // Second half: the initial forms under the new weights, their
        // basis, and its lift through a division under the old weights.
        In = initial_forms(G);
        print_titled(fp, "initial terms:\n", In);
        H = In;
        buchberger(&H);
        if (algst.work_exceeded)
            return;
        print_titled(fp, "groebner basis with weighted lex ordering of initial terms:\n", H);
        algst.weights = old;
        sort_all_terms(&In);
        sort_all_terms(&H);
        print_titled(fp, "re-sorted initial terms:\n", In);
        lifted = new_eq_array(H.n);
        for (int h = 0; h < H.n; h++) {
            eq_array q;
            termlist r = reduce_with_quotients(In, H.eq[h], &q);
            if (algst.work_exceeded)
                return;
            print_eq_array(q, fp);
            fputs("\nremainder:", fp);
            print_termlist(r, fp);
            fputs("\n", fp);
            if (q.n != G.n) {
                guard.restore();
                fatal("groebner_walk: q.n=%d and e2.n=%d are not equal", q.n, G.n);
            }
            // Without the remainder the lift is no member of the basis
            // that the step means to build: the walk would go on and end
            // with a basis of a larger ideal.
            if (r.n != 0) {
                guard.restore();
                fatal("groebner_walk: remainder of division is not zero");
            }
            lifted.eq[h] = combine(q, G);
        }
        if (algst.work_exceeded)
            return;
        algst.weights = next;
        G = std::move(lifted);
        remove_empty_equations(&G);
        sort_all_terms(&G);
        print_titled(fp, "new groebner basis:\n", G);
    }
}
