// Ladder drivers on the Groebner road.
#include "ladder/ladder_drivers.h"

#include <cmath>

#include "algebra/buchberger.h"
#include "algebra/groebner.h"
#include "algebra/order.h"
#include "ladder/ladder.h"
#include "ladder/symbolic_ladder.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

double poly_rel_error(const double *x, int nx, const double *y, int ny)
{
    if (nx != ny)
        return 1.0;
    double sum = 0.0;
    for (int k = 0; k <= nx; k++) {
        if (x[k] == 0.0 && y[k] == 0.0)
            continue;  // an exact match of a zero coefficient
        const double d = x[k] - y[k];
        const double r = (d + d) / (x[k] + y[k]);
        sum += r * r;
    }
    return std::sqrt(sum);
}

matrix groebner_solve(eq_array *E, int n)
{
    sort_eq_array(E);
    interreduce_all(E);
    groebner_basis(E);
    return solve_reduced_equations(E->n, *E, n);
}

matrix filter_ladder_solutions(const double *a, const double *p, int n, const matrix &M)
{
    matrix out = newm(M.rows, M.cols);
    int kept = 0;
    for (int j = 0; j < M.cols; j++) {
        const double *col = M.data + static_cast<std::size_t>(j) * M.rows;
        poly P = lpoly(n, a, col);
        if (poly_rel_error(P.coef, n, p, n) < 0.01) {
            for (int i = 0; i < M.rows; i++)
                out.data[static_cast<std::size_t>(kept) * M.rows + i] = col[i];
            kept++;
        }
        freepoly(&P);
    }
    if (kept < M.cols)
        mresize(&out, kept);
    return out;
}

eq_array ladder_eq_array(const double *a, const double *p, int n)
{
    spoly S = slpoly(n, a);
    spoly_add_poly(&S, -1, p, n);
    eq_array E = new_eq_array(n - 1);
    for (int k = 0; k <= n - 2; k++)
        E.eq[k] = termlist_copy(S.coef[k].n, S.coef[k].t.data());
    return E;
}

matrix gladder_symbolic(const double *a, const double *p, int n)
{
    eq_array E = ladder_eq_array(a, p, n);
    matrix M = groebner_solve(&E, n);
    matrix R = filter_ladder_solutions(a, p, n, M);
    freem(&M);
    return R;
}
