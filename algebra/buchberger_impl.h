// Buchberger's algorithm with the sugar-ordered pair queue and the
// Gebauer-Moeller criteria, written once for the equation arrays of both
// coefficient kinds (extended precision and exact rational). An equation
// array type has n and eq[k]; an equation has n and sorted terms t[k] with
// n and exp. The Ops type supplies what depends on the coefficients, and
// stopped(), which ends the loop early (the exact road past its size limit).
#pragma once

#include <cstdio>
#include <vector>

#include "algebra/groebner.h"
#include "algebra/pairs.h"
#include "base/globals.h"

namespace groebner_impl {

template <class List>
const int *lead_exp(const List &f)
{
    return f.t[0].exp.data();
}

template <class List>
int list_degree(const List &f)
{
    int d = 0;
    for (int i = 0; i < f.n; i++) {
        int x = 0;
        for (int k = 0; k < f.t[i].n; k++)
            x += f.t[i].exp[k];
        if (x > d)
            d = x;
    }
    return d;
}

template <class List>
int lead_degree(const List &f)
{
    int x = 0;
    for (int k = 0; k < f.t[0].n; k++)
        x += f.t[0].exp[k];
    return x;
}

template <class List>
int pair_sugar(const List &f, const List &g, subterm *lcm)
{
    if (f.n == 0 || g.n == 0)
        return 0;
    *lcm = lcm_subterm(f.t[0].n, lead_exp(f), g.t[0].n, lead_exp(g));
    int sf = list_degree(f) - lead_degree(f);
    int sg = list_degree(g) - lead_degree(g);
    return (sf > sg ? sf : sg) + subterm_degree(*lcm);
}

template <class List>
bool leads_coprime(const List &f, const List &g)
{
    return !monomials_share_variable(f.t[0].n, lead_exp(f), g.t[0].n, lead_exp(g));
}

inline bool sub_equal(const subterm &a, const subterm &b)
{
    return subterm_equal(a.n, a.exp.data(), b.n, b.exp.data());
}

// 1 when b divides a.
inline bool sub_divides(const subterm &a, const subterm &b)
{
    return subterm_divides(a.n, a.exp.data(), b.n, b.exp.data());
}

inline void report_rejection(const p_pair_array &N, int k, int step)
{
    if (ist.verbosity > 2)
        fprintf(ist.out_fp, "pair (%d, %d) rejected in step %d.\n", N.i[k], N.j[k], step);
}

template <class Eqs>
void report_redundant(const Eqs &E, p_pair_array *P)
{
    for (int k = 0; k < E.n; k++)
        for (int l = k + 1; l < E.n; l++) {
            if (E.eq[k].n == 0 || E.eq[l].n == 0 || P->flags[k])
                continue;
            const auto &tk = E.eq[k].t[0], &tl = E.eq[l].t[0];
            if (subterm_divides(tk.n, tk.exp.data(), tl.n, tl.exp.data())) {
                if (ist.verbosity > 2)
                    fprintf(ist.out_fp, "equation %d is redundant.\n", k);
                P->flags[k] = 1;
            }
        }
}

template <class Eqs>
void update_pairs(const Eqs &E, p_pair_array *P)
{
    const int t = E.n - 1;
    const auto &Et = E.eq[t];

    // Step 0: the chain criterion on the old pairs.
    if (Et.n > 0) {
        for (int k = 0; k < P->n; k++) {
            int i = P->i[k], j = P->j[k];
            if (E.eq[i].n == 0 || E.eq[j].n == 0)
                continue;
            const subterm &L = P->lcm[k];
            subterm Lit = lcm_subterm(E.eq[i].t[0].n, lead_exp(E.eq[i]), Et.t[0].n, lead_exp(Et));
            subterm Ljt = lcm_subterm(E.eq[j].t[0].n, lead_exp(E.eq[j]), Et.t[0].n, lead_exp(Et));
            if (!sub_equal(L, Lit) && !sub_equal(L, Ljt) && !sub_equal(Lit, Ljt) &&
                subterm_divides(L.n, L.exp.data(), Et.t[0].n, lead_exp(Et))) {
                report_rejection(*P, k, 0);
                P->i[k] = P->j[k] = 0;
            }
        }
        compact_p_pairs(P);
    }

    // New pairs, formed by every non-empty element (a single term too:
    // without its pairs the result would not be a Groebner basis).
    p_pair_array N;
    if (Et.n > 0) {
        for (int i = 0; i < t; i++) {
            if (P->flags[i] || E.eq[i].n == 0)
                continue;
            subterm lcm;
            int s = pair_sugar(E.eq[i], Et, &lcm);
            add_p_pair(&N, i, t, s, std::move(lcm));
        }
    }
    std::vector<char> rejected(N.n, 0);
    auto reject = [&](int k, int step) {
        report_rejection(N, k, step);
        rejected[k] = 1;
    };

    // Step 1: a pair whose lcm another live pair's lcm divides goes.
    for (int a = 0; a < N.n; a++)
        for (int b = 0; b < N.n; b++)
            if (b != a && !rejected[b] && sub_divides(N.lcm[a], N.lcm[b])) {
                reject(a, 1);
                break;
            }

    // Step 2: of the pairs that share an lcm, one stays.
    lcm_group_list groups;
    for (int a = 0; a < N.n; a++)
        if (!rejected[a])
            add_to_lcm_groups(&groups, a, N.lcm[a]);
    for (int g = 0; g < groups.n; g++) {
        const lcm_group &G = groups.g[g];
        if (G.n < 2)
            continue;
        int keep = G.pair_index[0];
        for (int m = 0; m < G.n; m++) {
            int a = G.pair_index[m];
            if (leads_coprime(E.eq[N.i[a]], E.eq[N.j[a]]))
                keep = a;
        }
        for (int m = 0; m < G.n; m++)
            if (G.pair_index[m] != keep)
                reject(G.pair_index[m], 2);
    }

    // Step 3: the product criterion.
    for (int a = 0; a < N.n; a++) {
        if (rejected[a] || !leads_coprime(E.eq[N.i[a]], Et))
            continue;
        subterm L = lcm_subterm(E.eq[N.i[a]].t[0].n, lead_exp(E.eq[N.i[a]]), Et.t[0].n, lead_exp(Et));
        for (int b = 0; b < N.n; b++)
            if (!rejected[b] && sub_equal(N.lcm[b], L))
                reject(b, 3);
    }

    // Step 4: drop the rejected pairs, sort by lcm, and let an lcm reject
    // the later ones that it divides.
    auto drop_rejected = [&]() {
        for (int a = 0; a < N.n; a++)
            if (rejected[a])
                N.i[a] = N.j[a] = 0;
        compact_p_pairs(&N);
        rejected.assign(N.n, 0);
    };
    drop_rejected();
    sort_p_pairs_lcm(&N);
    for (int k = 0; k < N.n; k++) {
        if (rejected[k])
            continue;
        for (int l = k + 1; l < N.n; l++)
            if (!rejected[l] && sub_divides(N.lcm[l], N.lcm[k]))
                reject(l, 4);
    }
    drop_rejected();
    sort_p_pairs_sugar(&N);
    if (Et.n > 0 && ist.verbosity > 2) {
        fprintf(ist.out_fp, "added pairs:\n");
        print_p_pairs(N, ist.out_fp);
    }
    append_p_pairs(P, &N);

    report_redundant(E, P);
    sort_p_pairs_sugar(P);
}

template <class Ops>
void add_equation(typename Ops::eqs *E, const typename Ops::list &f, p_pair_array *P)
{
    if (!Ops::add_unique(E, f))
        return;
    P->flags.push_back(0);
    update_pairs(*E, P);
}

template <class Ops>
void buchberger(typename Ops::eqs *E)
{
    using eqs = typename Ops::eqs;
    using list = typename Ops::list;
    if (E->n < 2)
        return;
    FILE *fp = ist.out_fp;
    Ops::sort_eqs(E);
    eqs G;
    p_pair_array P;
    for (int k = 0; k < E->n; k++)
        add_equation<Ops>(&G, E->eq[k], &P);
    if (ist.verbosity > 2) {
        fprintf(fp, "equations:\n");
        Ops::print_eqs(G, fp);
        fprintf(fp, "\n");
    }
    int count = 0;
    while (P.n > 0 && !Ops::stopped() && !algebra_work(P.n)) {
        if (ist.verbosity > 1)
            fprintf(fp, "equations: %d, pairs: %d\n", G.n, P.n);
        if (ist.verbosity > 2)
            print_p_pairs(P, fp);
        int i = P.i[0], j = P.j[0];
        remove_p_pair(&P, 0);
        list S = Ops::spoly(&G.eq[i], &G.eq[j]);
        count++;
        if (ist.verbosity > 4) {
            fprintf(fp, "S-poly(%d, %d) (%d) = ", i, j, E->n);
            Ops::print_list(S, fp);
            fprintf(fp, "\n");
        }
        list R = Ops::reduce(G, S);
        if (R.n > 0) {
            add_equation<Ops>(&G, R, &P);
            if (ist.verbosity > 4) {
                fprintf(fp, "remainder = ");
                Ops::print_list(R, fp);
                fprintf(fp, "\n");
            }
        }
        if (ist.verbosity > 3) {
            fprintf(fp, "equations:\n");
            Ops::print_eqs(G, fp);
            fprintf(fp, "\n");
        }
    }
    Ops::sort_eqs(&G);
    *E = std::move(G);
    if (ist.verbosity > 2) {
        fprintf(fp, "\nGroebner basis, not reduced:\n");
        Ops::print_eqs(*E, fp);
        fprintf(fp, "\n");
    }
    if (ist.verbosity > Ops::count_verbosity)
        fprintf(fp, "s-poly evaluations: %d\n", count);
}

}  // namespace groebner_impl
