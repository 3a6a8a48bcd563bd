#include "ladder/side_drivers.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "algebra/buchberger.h"
#include "algebra/groebner.h"
#include "algebra/imatrix.h"
#include "algebra/polysys.h"
#include "algebra/spoly.h"
#include "base/error.h"
#include "base/globals.h"
#include "ladder/ladder.h"
#include "ladder/ladder_drivers.h"
#include "ladder/ladder_rational.h"
#include "ladder/symbolic_ladder.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

namespace {

}  // namespace

bool ladder_driver_order(int n)
{
    if (n < 2)
        error("ladder driver: the target has order %d; a ladder needs order 2 or more", n);
    return n >= 2;
}

void print_ladder_poly(const double *a, int n, FILE *fp)
{
    if (ist.verbosity < 0)
        return;
    spoly S = slpoly(n, a);
    fputs("s=\n", fp);
    print_spoly(S, fp);
    fputs("\n", fp);
}

bool ladder_preamble(int nweights, const double *weights, const double *p, int n, double *q, double *a)
{
    if (!ladder_driver_order(n))
        return false;
    const double lead = p[n];
    if (lead == 0.0 || !std::isfinite(lead)) {
        error("ladder driver: the leading coefficient of the target is 0 or not finite");
        return false;
    }
    for (int k = 0; k <= n; k++)
        q[k] = p[k] / lead;
    double sc = std::pow(std::fabs(q[0]), 1.0 / n);
    if (q[0] == 0.0 || !std::isfinite(q[0]) || !(sc > 0.0) || !std::isfinite(sc))
        sc = 1.0;
    double div = sc;
    for (int k = n - 1; k >= 0; k--) {
        q[k] /= div;
        div *= sc;
    }

    std::fill(a, a + n, 0.0);
    double rest = -q[n - 1];
    if (nweights > 0) {
        const int used = std::min(nweights, n - 1);
        for (int i = 0; i < used; i++) {
            a[i] = weights[i] * rest;
            rest -= a[i];
        }
    } else {
        a[0] = rest / 2;
        rest -= a[0];
    }
    a[n - 1] = rest;
    return true;
}

namespace {

// The preamble's scaled target and diagonal, owned.
struct ladder_data {
    std::vector<double> q, a;
    bool ok;
    ladder_data(int nweights, const double *weights, const double *p, int n)
    {
        sp_resize(&q, std::max(n + 1, 1), "ladder data");
        sp_resize(&a, std::max(n, 1), "ladder data");
        ok = ladder_preamble(nweights, weights, p, n, q.data(), a.data());
    }
};

}  // namespace

void ladder_by_polysys(int nweights, const double *weights, const double *p, int n)
{
    ladder_data d(nweights, weights, p, n);
    if (!d.ok)
        return;
    eq_array E = ladder_eq_array(d.a.data(), d.q.data(), n);
    polysys(E);
}

void ladder_symbolic_test(int nweights, const double *weights, const double *p, int n, int method)
{
    ladder_data d(nweights, weights, p, n);
    if (!d.ok)
        return;
    if (ist.verbosity >= 0) {
        FILE *fp = report_stream();
        fputs("target=\n", fp);
        print_poly(p, n, fp);
        fputs("\nscaled target=\n", fp);
        print_poly(d.q.data(), n, fp);
        fputs("\n", fp);
    }
    switch (method) {
    case 0:
        rational_pipeline(d.a.data(), d.q.data(), n);
        break;
    case 1:
        ladder_by_groebner_verify(d.a.data(), d.q.data(), n);
        break;
    case 2:
        write_cas_script(d.a.data(), d.q.data(), n);
        break;
    default:
        break;
    }
}

void ladder_by_groebner_verify(const double *a, const double *p, int n)
{
    if (!ladder_driver_order(n))
        return;
    FILE *fp = report_stream();
    print_ladder_poly(a, n, fp);
    eq_array E = ladder_eq_array(a, p, n);
    matrix M = groebner_solve(&E, n);
    fputs("Solutions:\n", fp);
    print_matrix(fp, M, 8);
    fputs("Verification:\n", fp);
    for (int j = 0; j < M.cols; j++) {
        poly P = lpoly(n, a, M.data + static_cast<std::size_t>(j) * M.rows);
        print_poly(P.coef, n, fp);
        fprintf(fp, "error = %g\n", poly_rel_error(P.coef, n, p, n));
        freepoly(&P);
    }
    freem(&M);
}

void g_ladder_eliminate2(const double *a, const double *p, int n)
{
    if (!ladder_driver_order(n))
        return;
    FILE *fp = report_stream();
    spoly S = slpoly(n, a);
    fputs("s=\n", fp);
    print_spoly(S, fp);
    fputs("\ntarget=\n", fp);
    print_poly(p, n, fp);
    fputs("\n", fp);
    spoly_add_poly(&S, -1, p, n);
    fputs("s-target=\n", fp);
    print_spoly(S, fp);
    fputs("\n", fp);
    const int neq = n - 1;
    eq_array E = new_eq_array(neq);
    for (int k = 0; k < neq; k++)
        E.eq[k] = termlist_copy(S.coef[k].n, S.coef[k].t.data());
    free_spoly(&S);  // done with: its lists go before the elimination

    // e1: the variables already eliminated; e2: the equations already used
    // as pivot.
    std::vector<int> e1, e2;
    sp_resize(&e1, neq, "integer array");
    sp_resize(&e2, neq, "integer array");
    int budget = 2;
    while (budget > 0) {
        i_matrix M = occurrence_matrix(neq, E);
        int min_i;
        const int min = fewest_open_variables(M, neq, e2, e1, &min_i);
        fputs("e1 =", fp);
        for (int k = 0; k < neq; k++)
            fprintf(fp, " %d", e1[k]);
        fputs("\ne2=", fp);
        for (int k = 0; k < neq; k++)
            fprintf(fp, " %d", e2[k]);
        fputs("\nvar =\n", fp);
        print_i_matrix(M, fp);
        fprintf(fp, "\n\nmin=%d, min_i=%d\n\n", min, min_i);

        if (min == 1) {
            e2[min_i] = 1;
            for (int k = 0; k < neq; k++)
                if (im_element(M, min_i, k) > 0) {
                    e1[k] = 1;
                    budget--;
                }
            continue;
        }
        int v = -1;
        for (int k = 0; k < neq && v < 0; k++)
            if (im_element(M, min_i, k) > 0 && !e1[k])
                v = k;
        if (v < 0)
            break;  // the pivot holds nothing left to eliminate
        for (int j = neq - 1; j >= 0; j--) {
            if (j == min_i || e2[j])
                continue;
            if (var_max_degree(E.eq[j], v) >= var_max_degree(E.eq[min_i], v))
                eliminate_var(v, E.eq[min_i], &E.eq[j], 1.0);
            else
                eliminate_var(v, E.eq[j], &E.eq[min_i], 1.0);
            sort_all_terms(&E);
            if (ist.verbosity > 2) {
                print_eq_array(E, fp);
                fputs("\n", fp);
            }
        }
        e1[v] = 1;
        e2[min_i] = 1;
        budget--;
    }
    groebner_basis(&E);
    fputs("after elimination:\n", fp);
    print_eq_array(E, fp);
    fputs("\n", fp);
}
