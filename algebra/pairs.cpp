// The pair array of Buchberger's algorithm and its lcm groups.
#include "algebra/pairs.h"

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

#include "algebra/order.h"
#include "base/error.h"

namespace {

void move_pair(p_pair_array *P, int to, int from)
{
    P->i[to] = P->i[from];
    P->j[to] = P->j[from];
    P->sugar[to] = P->sugar[from];
    P->lcm[to] = std::move(P->lcm[from]);
}

int cmp_lcms(const p_pair_array &P, int k, int l)
{
    const subterm &a = P.lcm[k], &b = P.lcm[l];
    return cmp_monomial(a.n, a.exp.data(), b.n, b.exp.data());
}

void check_pair_indices(const p_pair_array &P, int k, int l)
{
    if (k < 0 || l < 0 || k >= P.n || l >= P.n)
        fatal("order_p_pair: indices out of bounds");
}

// Sorts the pairs by cmp, keeping the order of pairs that compare equal
// (the order a pass of neighbour swaps would give). The queue is sorted
// again after every new basis element, and a basis of a few hundred
// elements has tens of thousands of pairs: a quadratic sort would cost
// more than the reductions.
template <class Cmp>
void sort_pairs(p_pair_array *P, Cmp cmp)
{
    const int n = P->n;
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return cmp(*P, a, b) < 0; });
    std::vector<int> i(n), j(n), sugar(n);
    std::vector<subterm> lcm(n);
    for (int k = 0; k < n; k++) {
        i[k] = P->i[order[k]];
        j[k] = P->j[order[k]];
        sugar[k] = P->sugar[order[k]];
        lcm[k] = std::move(P->lcm[order[k]]);
    }
    std::copy(i.begin(), i.end(), P->i.begin());
    std::copy(j.begin(), j.end(), P->j.begin());
    std::copy(sugar.begin(), sugar.end(), P->sugar.begin());
    std::move(lcm.begin(), lcm.end(), P->lcm.begin());
}

}  // namespace

void init_p_pair_array(p_pair_array *P)
{
    *P = p_pair_array();
}

void resize_p_pair_array(p_pair_array *P, int capacity)
{
    if (capacity < 0)
        capacity = 0;
    sp_resize(&P->i, capacity, "p_pair array");
    sp_resize(&P->j, capacity, "p_pair array");
    sp_resize(&P->sugar, capacity, "p_pair array");
    sp_resize(&P->lcm, capacity, "p_pair array");
    P->capacity = capacity;
    if (P->n > capacity)
        P->n = capacity;
}

void add_p_pair(p_pair_array *P, int i, int j, int sugar, subterm lcm)
{
    if (P->n >= P->capacity)
        resize_p_pair_array(P, P->capacity + 10);
    P->i[P->n] = i;
    P->j[P->n] = j;
    P->sugar[P->n] = sugar;
    P->lcm[P->n] = std::move(lcm);
    P->n++;
}

void remove_p_pair(p_pair_array *P, int k)
{
    if (k < 0 || k >= P->n)
        return;
    for (int l = k; l + 1 < P->n; l++)
        move_pair(P, l, l + 1);
    P->n--;
    free_subterm(&P->lcm[P->n]);
}

void compact_p_pairs(p_pair_array *P)
{
    int kept = 0;
    for (int k = 0; k < P->n; k++) {
        if (P->i[k] == 0 && P->j[k] == 0)
            continue;
        if (kept != k)
            move_pair(P, kept, k);
        kept++;
    }
    for (int k = kept; k < P->n; k++)
        free_subterm(&P->lcm[k]);
    P->n = kept;
}

void append_p_pairs(p_pair_array *P, p_pair_array *Q)
{
    for (int k = 0; k < Q->n; k++)
        add_p_pair(P, Q->i[k], Q->j[k], Q->sugar[k], std::move(Q->lcm[k]));
    // Q's lcms, moved out, are left as the empty monomial.
    for (int k = 0; k < Q->n; k++)
        free_subterm(&Q->lcm[k]);
}

void free_p_pair_arrays(p_pair_array *P)
{
    *P = p_pair_array();
}

void free_p_pair_array(p_pair_array *P)
{
    free_p_pair_arrays(P);  // the lcms go with their array
}

void print_p_pairs(const p_pair_array &P, FILE *fp)
{
    for (int k = 0; k < P.n; k++) {
        fprintf(fp, "pair %3d: (%d %d), sugar = %d, lcm =", k, P.i[k], P.j[k], P.sugar[k]);
        print_subterm(P.lcm[k].n, P.lcm[k].exp.data(), fp);
        fprintf(fp, "\n");
    }
    fprintf(fp, "\n");
}

void remove_pairs_of_equation(p_pair_array *P, int k)
{
    for (int l = P->n - 1; l >= 0; l--)
        if (P->i[l] == k || P->j[l] == k)
            remove_p_pair(P, l);
}

void shift_pair_index(p_pair_array *P, int k, int d)
{
    for (int l = 0; l < P->n; l++) {
        if (P->i[l] == k)
            P->i[l] -= d;
        if (P->j[l] == k)
            P->j[l] -= d;
    }
}

int order_p_pair(const p_pair_array &P, int k, int l)
{
    check_pair_indices(P, k, l);
    if (P.sugar[k] != P.sugar[l])
        return P.sugar[k] < P.sugar[l] ? -1 : 1;
    return cmp_lcms(P, k, l);
}

int order_p_pair_lcm(const p_pair_array &P, int k, int l)
{
    check_pair_indices(P, k, l);
    return cmp_lcms(P, k, l);
}

void sort_p_pairs_sugar(p_pair_array *P)
{
    sort_pairs(P, order_p_pair);
}

void sort_p_pairs_lcm(p_pair_array *P)
{
    sort_pairs(P, order_p_pair_lcm);
}

// ---- lcm groups ----

void init_lcm_group(lcm_group *g)
{
    *g = lcm_group();
}

void init_lcm_group_list(lcm_group_list *l)
{
    *l = lcm_group_list();
}

void free_lcm_group(lcm_group *g)
{
    *g = lcm_group();
}

void free_lcm_group_list(lcm_group_list *l)
{
    *l = lcm_group_list();
}

int add_to_lcm_group(lcm_group *g, int pair, const subterm &lcm)
{
    if (g->n == 0)
        g->lcm = lcm;
    else if (cmp_monomial(lcm.n, lcm.exp.data(), g->lcm.n, g->lcm.exp.data()) != 0)
        return 0;
    sp_resize(&g->pair_index, static_cast<std::size_t>(g->n) + 1, "LCM group");
    g->pair_index[g->n++] = pair;
    return 1;
}

void add_to_lcm_groups(lcm_group_list *l, int pair, const subterm &lcm)
{
    for (int k = 0; k < l->n; k++)
        if (add_to_lcm_group(&l->g[k], pair, lcm))
            return;
    sp_resize(&l->g, static_cast<std::size_t>(l->n) + 1, "LCM group list");
    add_to_lcm_group(&l->g[l->n++], pair, lcm);
}

void print_lcm_group(const lcm_group &g, FILE *fp)
{
    if (g.n == 0)
        return;
    print_subterm(g.lcm.n, g.lcm.exp.data(), fp);
    fprintf(fp, "\t");
    for (int k = 0; k < g.n; k++)
        fprintf(fp, " %d", g.pair_index[k]);
    fprintf(fp, "\n");
}
