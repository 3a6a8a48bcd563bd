// Symbolic polynomials: construction, comparison, arithmetic, clean-up and
// printing of polynomials in B0, B1, ... and of polynomials in s over them.
#include "algebra/spoly.h"

#include <cmath>

#include "algebra/order.h"
#include "base/error.h"

namespace {

int exp_at(int n, const int *e, int k)
{
    return k < n ? e[k] : 0;
}

// Rounded to double, as every threshold test of this layer is made.
double dabs(long double x)
{
    return std::fabs(static_cast<double>(x));
}

void append_term(termlist *L, poly_term &&t)
{
    if (static_cast<std::size_t>(L->n) < L->t.size()) {
        L->t[L->n] = std::move(t);
    } else {
        sp_resize(&L->t, L->n + 1, "polynomial term");
        L->t[L->n] = std::move(t);
    }
    L->n++;
}

// A record with n zeroed entries in the given array (none when n <= 0).
template <class R, class V>
R make_sized(int n, V R::*array, const char *label)
{
    R r;
    if (n > 0) {
        sp_resize(&(r.*array), n, label);
        r.n = n;
    }
    return r;
}

// Cuts L to its first n terms and gives back the rest of the array (all of
// it when n is 0).
void set_length(termlist *L, int n)
{
    L->n = n;
    if (n == 0)
        std::vector<poly_term>().swap(L->t);
    else
        L->t.resize(n);
}

// Frees the terms that drop says, moves the later ones up in order, and
// reallocates the array to the new length (none when emptied).
template <class Drop>
void remove_terms_if(termlist *L, Drop drop)
{
    int kept = 0;
    for (int i = 0; i < L->n; i++) {
        if (drop(L->t[i]))
            continue;
        if (kept != i)
            L->t[kept] = std::move(L->t[i]);
        kept++;
    }
    if (kept == L->n)
        return;
    if (kept < 0)
        fatal("cleanup_term2: length of poly term became negative");
    set_length(L, kept);
}

// The factors of a monomial; returns whether anything was printed.
bool print_factors(int n, const int *exp, bool printed, FILE *fp)
{
    for (int k = 0; k < n; k++) {
        if (exp[k] == 0)
            continue;
        if (printed)
            fputs(" * ", fp);
        fprintf(fp, "B%d", k);
        if (exp[k] > 1)
            fprintf(fp, "^%d", exp[k]);
        printed = true;
    }
    return printed;
}

}  // namespace

// ---- construction and destruction ----

subterm new_subterm(int n)
{
    return make_sized(n, &subterm::exp, "polynomial sub term");
}

void free_subterm(subterm *st)
{
    std::vector<int>().swap(st->exp);
    st->n = 0;
}

poly_term new_term(int n)
{
    return make_sized(n, &poly_term::exp, "polynomial sub term");
}

poly_term const_term(long double c)
{
    poly_term t;
    t.coef = c;
    return t;
}

poly_term make_term(int n, const int *exp, long double c)
{
    if (n < 1)
        return const_term(c);
    poly_term t = new_term(n);
    for (int k = 0; k < n; k++)
        t.exp[k] = exp[k];
    t.coef = c;
    return t;
}

void free_term(poly_term *t)
{
    std::vector<int>().swap(t->exp);
    t->n = 0;
    t->coef = 0;
}

subterm subterm_copy(int n, const int *exp)
{
    subterm st = new_subterm(n);
    for (int k = 0; k < st.n; k++)
        st.exp[k] = exp[k];
    return st;
}

termlist new_termlist(int n)
{
    return make_sized(n, &termlist::t, "polynomial term");
}

void free_termlist(termlist *L)
{
    std::vector<poly_term>().swap(L->t);
    L->n = 0;
}

termlist termlist_copy(int n, const poly_term *t)
{
    termlist L = new_termlist(n);
    for (int i = 0; i < L.n; i++)
        L.t[i] = t[i];
    return L;
}

termlist const_termlist(long double c)
{
    termlist L = new_termlist(1);
    L.t[0].coef = c;
    return L;
}

spoly new_spoly(int order)
{
    if (order < 0)
        fatal("new_spoly: order < 0");
    spoly S;
    sp_resize(&S.coef, static_cast<std::size_t>(order) + 1, "symbolic polynomial");
    S.order = order;
    return S;
}

void free_spoly(spoly *S)
{
    std::vector<termlist>().swap(S->coef);
    S->order = -1;
}

spoly spoly_copy(const spoly &S)
{
    return S;
}

eq_array new_eq_array(int n)
{
    return make_sized(n, &eq_array::eq, "equation array");
}

void free_eq_array(eq_array *E)
{
    std::vector<termlist>().swap(E->eq);
    E->n = 0;
}

// ---- comparison ----

int subterm_equal(int n1, const int *e1, int n2, const int *e2)
{
    int n = n1 > n2 ? n1 : n2;
    for (int k = 0; k < n; k++)
        if (exp_at(n1, e1, k) != exp_at(n2, e2, k))
            return 0;
    return 1;
}

int monomial_equal(const poly_term &t, const poly_term &u)
{
    return subterm_equal(t.n, t.exp.data(), u.n, u.exp.data());
}

int termlist_proportional(const termlist &P, const termlist &Q)
{
    if (P.n != Q.n)
        return 0;
    for (int i = 0; i < P.n; i++)
        if (!monomial_equal(P.t[i], Q.t[i]))
            return 0;
    // The common ratio comes from the first pair of non-zero coefficients;
    // a zero coefficient matches only a zero coefficient.
    long double r = 0;
    bool have_ratio = false;
    for (int i = 0; i < P.n; i++) {
        long double p = P.t[i].coef, q = Q.t[i].coef;
        if (p == 0 || q == 0) {
            if (!(p == 0 && q == 0))
                return 0;
            continue;
        }
        if (!have_ratio) {
            r = p / q;
            have_ratio = true;
        }
        long double dev = p / (r * q) - 1;
        // Written so that a NaN deviation fails the test.
        if (!(std::fabs(static_cast<double>(dev)) <= SP_CANCEL))
            return 0;
    }
    return 1;
}

int var_max_degree(const termlist &P, int k)
{
    int m = 0;
    for (int i = 0; i < P.n; i++)
        if (dabs(P.t[i].coef) > SP_EPS) {
            int e = exp_at(P.t[i].n, P.t[i].exp.data(), k);
            if (e > m)
                m = e;
        }
    return m;
}

// ---- arithmetic ----

namespace {

long double labs_ld(long double x)
{
    return x < 0 ? -x : x;
}

// The term a p as a new term of the result, its size scaled with it.
poly_term scaled_term(const poly_term &p, long double a)
{
    poly_term r = p;
    r.size = labs_ld(a) * term_size(p);
    r.coef = a * p.coef;
    return r;
}

// c = a p + b q into r (which holds b q), zero when it has cancelled.
void merge_into(poly_term *r, long double a, const poly_term &p)
{
    long double ap = a * p.coef;
    long double size = labs_ld(a) * term_size(p) + term_size(*r);
    long double c = ap + r->coef;
    r->coef = coef_cancelled(c, size) ? 0 : c;
    r->size = size;
}

// Both lists strictly sorted: one pass over the two, descending.
termlist lincomb_merge(long double a, const termlist &P, long double b, const termlist &Q)
{
    termlist R = new_termlist(P.n + Q.n);
    int i = 0, j = 0, k = 0;
    while (i < P.n || j < Q.n) {
        int c = i == P.n ? -1 : (j == Q.n ? 1 : cmp_term_monomials(P.t[i], Q.t[j]));
        if (c < 0) {
            R.t[k++] = scaled_term(Q.t[j++], b);
        } else if (c > 0) {
            if (P.t[i].coef != 0)
                R.t[k++] = scaled_term(P.t[i], a);
            i++;
        } else {
            R.t[k] = scaled_term(Q.t[j++], b);
            merge_into(&R.t[k++], a, P.t[i++]);
        }
    }
    set_length(&R, k);
    return R;
}

}  // namespace

int coef_cancelled(long double c, long double size)
{
    return labs_ld(c) <= 1e4L * algst.precision * size;
}

int termlist_strictly_sorted(const termlist &L)
{
    for (int i = 1; i < L.n; i++)
        if (cmp_term_monomials(L.t[i - 1], L.t[i]) <= 0)
            return 0;
    return 1;
}

termlist termlist_lincomb(long double a, const termlist &P, long double b, const termlist &Q)
{
    if (dabs(a) < SP_EPS) {
        if (dabs(b) < SP_EPS)
            return termlist();
        return termlist_scaled_copy(Q, b);
    }
    if (dabs(b) < SP_EPS)
        return termlist_scaled_copy(P, a);

    const int m = Q.n;
    auto find_in_q = [&](const poly_term &p) {
        for (int j = 0; j < m; j++)
            if (monomial_equal(p, Q.t[j]))
                return j;
        return -1;
    };
    termlist R = new_termlist(m + P.n);
    for (int j = 0; j < m; j++)
        R.t[j] = scaled_term(Q.t[j], b);
    int next = m;
    for (int i = 0; i < P.n; i++) {
        const poly_term &p = P.t[i];
        int j = find_in_q(p);
        if (j >= 0)
            merge_into(&R.t[j], a, p);
        else if (p.coef != 0)
            R.t[next++] = scaled_term(p, a);
    }
    set_length(&R, next);
    return R;
}

termlist termlist_sub_sorted(termlist &&P, termlist &&Q, int from)
{
    termlist R = new_termlist(P.n + Q.n);
    int i = from, j = 0, k = 0;
    while (i < P.n || j < Q.n) {
        int c = i == P.n ? -1 : (j == Q.n ? 1 : cmp_term_monomials(P.t[i], Q.t[j]));
        if (c < 0) {
            poly_term &q = Q.t[j++];
            q.size = term_size(q);
            q.coef = -q.coef;
            R.t[k++] = std::move(q);
        } else if (c > 0) {
            if (P.t[i].coef != 0)
                R.t[k++] = std::move(P.t[i]);
            i++;
        } else {
            poly_term &q = Q.t[j++];
            q.size = term_size(q);
            q.coef = -q.coef;
            merge_into(&q, 1, P.t[i++]);
            if (q.coef != 0)
                R.t[k++] = std::move(q);
        }
    }
    set_length(&R, k);
    return R;
}

termlist termlist_lincomb_sorted(long double a, const termlist &P, long double b, const termlist &Q)
{
    if (termlist_strictly_sorted(P) && termlist_strictly_sorted(Q))
        return lincomb_merge(a, P, b, Q);
    termlist R = termlist_lincomb(a, P, b, Q);
    sort_terms(&R);
    return R;
}

void termlist_add_term(termlist *L, long double a, int n, const int *exp, long double c)
{
    for (int i = 0; i < L->n; i++) {
        poly_term &t = L->t[i];
        if (subterm_equal(t.n, t.exp.data(), n, exp)) {
            t.size = term_size(t) + labs_ld(a * c);
            t.coef += a * c;
            return;
        }
    }
    append_term(L, make_term(n, exp, a * c));
}

void termlist_add_const(termlist *L, long double c)
{
    for (int i = 0; i < L->n; i++) {
        poly_term &t = L->t[i];
        bool constant = true;
        for (int k = 0; k < t.n; k++)
            if (t.exp[k] != 0)
                constant = false;
        if (constant) {
            t.coef += c;
            return;
        }
    }
    append_term(L, const_term(c));
}

void termlist_scale_inplace(termlist *L, long double c)
{
    for (int i = 0; i < L->n; i++) {
        L->t[i].size *= labs_ld(c);
        L->t[i].coef *= c;
    }
}

termlist termlist_scaled_copy(const termlist &L, long double c)
{
    termlist R = termlist_copy(L.n, L.t.data());
    termlist_scale_inplace(&R, c);
    return R;
}

poly_term term_mul(const poly_term &t, const poly_term &u)
{
    int n = t.n > u.n ? t.n : u.n;
    poly_term r = new_term(n);
    for (int k = 0; k < n; k++)
        r.exp[k] = exp_at(t.n, t.exp.data(), k) + exp_at(u.n, u.exp.data(), k);
    r.coef = t.coef * u.coef;
    if (t.size != 0 || u.size != 0)
        r.size = product_size(t.coef, term_size(t), u.coef, term_size(u));
    return r;
}

termlist termlist_mul_term(const poly_term &t, const termlist &L)
{
    termlist R;
    // A product by one monomial keeps the order of a monomial order and
    // makes no two monomials equal: the products stand as they come.
    if (termlist_strictly_sorted(L)) {
        R = new_termlist(L.n);
        for (int i = 0; i < L.n; i++)
            R.t[i] = term_mul(t, L.t[i]);
        return R;
    }
    for (int i = 0; i < L.n; i++) {
        poly_term p = term_mul(t, L.t[i]);
        termlist_add_term(&R, 1, p.n, p.exp.data(), p.coef);
    }
    return R;
}

namespace {
void grow_add(int *n, std::vector<int> *exp, int k, int d)
{
    if (k < 0)
        return;
    if (k >= *n) {
        sp_resize(exp, static_cast<std::size_t>(k) + 1, "polynomial sub term");
        *n = k + 1;
    }
    (*exp)[k] += d;
}
}  // namespace

void subterm_add_exp(subterm *st, int k, int d)
{
    grow_add(&st->n, &st->exp, k, d);
}

void subterm_add_exp(poly_term *t, int k, int d)
{
    grow_add(&t->n, &t->exp, k, d);
}

void termlist_mul_var(termlist *L, int k, int d)
{
    for (int i = 0; i < L->n; i++)
        subterm_add_exp(&L->t[i], k, d);
}

spoly spoly_mul_var(const spoly &S, int k, int d)
{
    spoly R = S;
    for (int i = 0; i <= R.order; i++)
        termlist_mul_var(&R.coef[i], k, d);
    return R;
}

spoly spoly_lincomb(long double a, const spoly &S1, long double b, const spoly &S2)
{
    int order = S1.order > S2.order ? S1.order : S2.order;
    if (order < 0)
        return spoly();
    spoly R = new_spoly(order);
    for (int k = 0; k <= order; k++) {
        bool in1 = k <= S1.order, in2 = k <= S2.order;
        if (in1 && in2)
            R.coef[k] = termlist_lincomb(a, S1.coef[k], b, S2.coef[k]);
        else if (in1)
            R.coef[k] = termlist_scaled_copy(S1.coef[k], a);
        else
            R.coef[k] = termlist_scaled_copy(S2.coef[k], b);
    }
    return R;
}

spoly spoly_mul_poly(const double *p, int d, const spoly &S)
{
    if (d < 0 || S.order < 0)
        return spoly();
    spoly R = new_spoly(d + S.order);
    for (int i = 0; i <= d; i++)
        for (int j = 0; j <= S.order; j++) {
            termlist sum = termlist_lincomb(1, R.coef[i + j], p[i], S.coef[j]);
            R.coef[i + j] = std::move(sum);
        }
    return R;
}

void spoly_add_poly(spoly *S, long double a, const double *p, int d)
{
    if (d > S->order) {
        sp_resize(&S->coef, static_cast<std::size_t>(d) + 1, "symbolic polynomial");
        S->order = d;
    }
    for (int k = 0; k <= d; k++)
        termlist_add_const(&S->coef[k], a * p[k]);
}

// ---- clean-up ----

void cleanup_term2(termlist *L)
{
    double M = 0;
    for (int i = 0; i < L->n; i++) {
        double v = dabs(L->t[i].coef);
        if (v > M)
            M = v;
    }
    if (M < 1)
        M = 1;
    const double tol = SP_CANCEL > SP_EPS ? SP_CANCEL : SP_EPS;
    remove_terms_if(L, [&](const poly_term &t) { return dabs(t.coef) / M < tol; });
}

void drop_zero_terms(termlist *L)
{
    remove_terms_if(L, [](const poly_term &t) { return t.coef == 0; });
}

void drop_cancelled_terms(termlist *L)
{
    remove_terms_if(L, [](const poly_term &t) { return t.coef == 0 || coef_cancelled(t.coef, t.size); });
}

void drop_small_terms(termlist *L, double scale)
{
    int kept = 0;
    for (int i = 0; i < L->n; i++) {
        const poly_term &t = L->t[i];
        int d = 0;
        for (int k = 0; k < t.n; k++)
            d += t.exp[k];
        double tol = std::pow(scale, d) * SP_CANCEL;
        if (tol < SP_EPS)
            tol = SP_EPS;
        if (dabs(t.coef) < tol)
            continue;
        if (kept != i)
            std::swap(L->t[kept], L->t[i]);
        kept++;
    }
    L->n = kept;
}

// ---- printing ----

void print_subterm(int n, const int *exp, FILE *fp)
{
    if (!print_factors(n, exp, false, fp))
        fputs("1", fp);
}

void print_term(int n, const int *exp, long double coef, int index, FILE *fp)
{
    double c = static_cast<double>(coef);
    if (c < 0)
        fputs(" - ", fp);
    else if (index > 0)
        fputs(" + ", fp);
    double mag = std::fabs(c);
    bool printed = false;
    if (!(std::fabs(mag - 1) <= SP_CANCEL)) {
        fprintf(fp, "%g", mag);
        printed = true;
    }
    if (!print_factors(n, exp, printed, fp))
        fputs("1", fp);
}

void print_termlist(const termlist &L, FILE *fp)
{
    if (L.t.empty()) {
        fputs("0", fp);
        return;
    }
    for (int i = 0; i < L.n; i++)
        print_term(L.t[i].n, L.t[i].exp.data(), L.t[i].coef, i, fp);
}

void print_eq_array(const eq_array &E, FILE *fp)
{
    for (int i = 0; i < E.n; i++) {
        fprintf(fp, "%3d   ", i);
        print_termlist(E.eq[i], fp);
        fputs("\n", fp);
    }
}

// ---- further routines ----

void print_term_ld(int n, const int *exp, long double coef, FILE *fp)
{
    bool printed = false;
    if (std::fabs(static_cast<double>(coef - 1)) > SP_CANCEL) {
        fprintf(fp, "%Lg", coef);
        printed = true;
    }
    if (!print_factors(n, exp, printed, fp))
        fputs("1", fp);
}

void spoly_scale_inplace(spoly *S, long double c)
{
    for (int k = 0; k <= S->order; k++)
        termlist_scale_inplace(&S->coef[k], c);
}

void free_termlist_array(termlist *L)
{
    free_termlist(L);
}

eq_array eq_array_copy(const eq_array &E)
{
    return E;
}

void free_spoly_array(spoly *S)
{
    free_spoly(S);
}

spoly spoly_from_poly(const double *p, int d)
{
    if (d < 0)
        return spoly();
    spoly S = new_spoly(d);
    for (int k = 0; k <= d; k++)
        S.coef[k] = const_termlist(p[k]);
    return S;
}

void print_spoly(const spoly &S, FILE *fp)
{
    for (int k = S.order; k >= 0; k--) {
        fputs("(", fp);
        print_termlist(S.coef[k], fp);
        fprintf(fp, ") * s^%d", k);
        if (k > 0)
            fputs(" +", fp);
        fputs("\n", fp);
    }
}

void print_spoly_equations(const spoly &S, int n, FILE *fp)
{
    for (int k = n - 2; k >= 0; k--) {
        if (k > S.order)
            continue;
        print_termlist(S.coef[k], fp);
        fputs(" = 0\n", fp);
    }
}

termlist termlist_mul(const termlist &P, const termlist &Q)
{
    termlist R;
    for (int i = 0; i < P.n; i++)
        for (int j = 0; j < Q.n; j++) {
            poly_term p = term_mul(P.t[i], Q.t[j]);
            termlist_add_term(&R, 1, p.n, p.exp.data(), p.coef);
        }
    return R;
}

int extract_top_power(const termlist &L, int k, termlist *out)
{
    *out = termlist();
    int m = 0;
    for (int i = 0; i < L.n; i++) {
        int e = exp_at(L.t[i].n, L.t[i].exp.data(), k);
        if (e > m)
            m = e;
    }
    if (m == 0)
        return 0;
    for (int i = 0; i < L.n; i++)
        if (exp_at(L.t[i].n, L.t[i].exp.data(), k) == m) {
            poly_term t = L.t[i];
            t.exp[k] = 0;
            append_term(out, std::move(t));
        }
    return m;
}

void remove_common_factors(termlist *L)
{
    if (L->n == 0)
        return;
    const int n0 = L->t[0].n;
    for (int k = 0; k < n0; k++) {
        if (L->t[0].exp[k] <= 0)
            continue;
        int mn = L->t[0].exp[k];
        for (int i = 1; i < L->n; i++) {
            int e = exp_at(L->t[i].n, L->t[i].exp.data(), k);
            if (e < mn)
                mn = e;
        }
        if (mn <= 0)
            continue;
        for (int i = 0; i < L->n; i++)
            L->t[i].exp[k] -= mn;
    }
}

int count_variables(const eq_array &E)
{
    int top = -1;
    for (int i = 0; i < E.n; i++)
        for (int j = 0; j < E.eq[i].n; j++) {
            const poly_term &t = E.eq[i].t[j];
            for (int k = t.n - 1; k > top; k--)
                if (t.exp[k] > 0) {
                    top = k;
                    break;
                }
        }
    return top + 1;
}

spoly test_spoly()
{
    spoly S = new_spoly(2);
    const int b0[] = {1};
    const int b1b2sq[] = {0, 1, 2};
    const int b0b1[] = {1, 1};
    for (int k : {0, 2}) {
        S.coef[k] = const_termlist(3);
        termlist_add_term(&S.coef[k], 1, 1, b0, 4);
    }
    termlist_add_term(&S.coef[1], 1, 3, b1b2sq, 5);
    termlist_add_term(&S.coef[1], 1, 2, b0b1, 4);
    return S;
}
