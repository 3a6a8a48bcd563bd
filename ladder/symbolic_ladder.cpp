// The symbolic ladder polynomial and back substitution through a triangular
// system of its equations.
#include "ladder/symbolic_ladder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "algebra/order.h"
#include "base/error.h"
#include "base/globals.h"
#include "ladder/ladder.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"
#include "numeric/vector.h"

namespace {

// Power of Bk in term t (0 beyond its exponent vector).
int power_of(const poly_term &t, int k)
{
    return k < t.n ? t.exp[k] : 0;
}

// Moves the columns after c one to the left and drops the last one.
void delete_column(matrix *X, int c)
{
    const int rows = X->rows;
    for (int j = c; j + 1 < X->cols; j++)
        for (int i = 0; i < rows; i++)
            X->data[j * rows + i] = X->data[(j + 1) * rows + i];
    mresize(X, X->cols - 1);
}

// True when eq, with the known values put in, vanishes for every value of
// its open variable v: each coefficient of the polynomial in v is below the
// zero threshold of solve_poly_term.
bool vanishes_identically(const termlist &eq, int v, int nknown, const double *value, const int *flag,
                          double scale)
{
    const int D = std::max(var_max_degree(eq, v), 0);
    std::vector<double> P(D + 1, 0.0);
    for (int i = 0; i < eq.n; i++) {
        const poly_term &t = eq.t[i];
        double c = static_cast<double>(t.coef);
        for (int k = 0; k < t.n; k++)
            if (k != v && t.exp[k] > 0) {
                if (k >= nknown || !flag[k])
                    return false;  // another open variable
                c *= std::pow(value[k], t.exp[k]);
            }
        const int e = power_of(t, v);
        if (e <= D)
            P[e] += c;
    }
    for (int e = 0; e <= D; e++)
        if (!(std::fabs(P[e]) < 1e-11 * std::pow(scale, e)))
            return false;
    return true;
}

// d eq / d Bk.
termlist partial_derivative(const termlist &eq, int k)
{
    termlist D;
    for (int i = 0; i < eq.n; i++) {
        const poly_term &t = eq.t[i];
        const int e = power_of(t, k);
        if (e == 0)
            continue;
        poly_term d = t;
        d.coef *= e;
        d.exp[k]--;
        D.t.push_back(std::move(d));
        D.n++;
    }
    return D;
}

}  // namespace

spoly slpoly(int n, const double *a)
{
    if (n < 0)
        fatal("slpoly: order is negative");
    if (n == 0) {
        spoly P = new_spoly(0);
        P.coef[0] = const_termlist(1);
        return P;
    }
    double sum = 0.0;
    for (int i = 0; i < n; i++)
        sum += a[i];
    const double scale = std::fabs(sum) / n;

    spoly prev = new_spoly(0);  // P_0 = 1
    prev.coef[0] = const_termlist(1);
    spoly cur = new_spoly(1);  // P_1 = s - a_0
    cur.coef[0] = const_termlist(-a[0]);
    cur.coef[1] = const_termlist(1);
    for (int k = 1; k < n; k++) {
        const double factor[2] = {-a[k], 1.0};
        spoly first = spoly_mul_poly(factor, 1, cur);
        spoly second = spoly_mul_var(prev, k - 1, 1);
        spoly next = spoly_lincomb(1, first, -1, second);
        prev = std::move(cur);
        cur = std::move(next);
    }
    for (int i = 0; i < n; i++)
        drop_small_terms(&cur.coef[i], scale);
    return cur;
}

vector solve_poly_term(const termlist &eq, int nknown, const double *value, const int *flag, double scale)
{
    FILE *fp = report_stream();
    if (ist.verbosity > 3) {
        fputs("term=\n", fp);
        print_termlist(eq, fp);
        fputs("\n\nknown variables:\n", fp);
        for (int k = 0; k < nknown; k++)
            if (flag[k] > 0)
                fprintf(fp, "B%d=%g\n", k, value[k]);
    }
    int nv = 0;
    for (int i = 0; i < eq.n; i++)
        nv = std::max(nv, eq.t[i].n);
    if (nv == 0)
        fatal("solve_poly_term: no variables in polynomial term");

    std::vector<int> count(nv, 0);  // terms in which Bk occurs
    for (int i = 0; i < eq.n; i++)
        for (int k = 0; k < eq.t[i].n; k++)
            if (eq.t[i].exp[k] > 0)
                count[k]++;
    int v = -1, nopen = 0;
    for (int k = 0; k < nv; k++)
        if (count[k] > 0 && (k >= nknown || !flag[k])) {
            if (nopen == 0)
                v = k;
            nopen++;
        }
    if (nopen != 1) {
        error("solve_poly_term: there is not exactly one variable to be solved");
        return newvector(0);
    }

    const int D = var_max_degree(eq, v);
    std::vector<double> P(D + 1, 0.0);
    for (int i = 0; i < eq.n; i++) {
        const poly_term &t = eq.t[i];
        double c = static_cast<double>(t.coef);
        for (int k = 0; k < t.n; k++)
            if (k != v && t.exp[k] > 0)
                c *= std::pow(value[k], t.exp[k]);
        const int e = power_of(t, v);
        if (e <= D)
            P[e] += c;
    }
    int deg = D;
    for (int e = 0; e <= D; e++)
        if (std::fabs(P[e]) < 1e-11 * std::pow(scale, e))
            P[e] = 0.0;
    while (deg > 0 && P[deg] == 0.0)
        deg--;
    // A constant, or coefficients that overflowed: no root to give.
    bool finite = true;
    for (int e = 0; e <= deg; e++)
        finite = finite && std::isfinite(P[e]);
    if (deg <= 0 || !finite)
        return newvector(0);

    rootlist roots = poly_root(P.data(), deg);
    vector real = newvector(deg);
    int kept = 0;
    // A real double root comes out of the root finder as two real roots or
    // a conjugate pair that lie apart by about the square root of the
    // coefficients' rounding, some 1e-8 relative. Roots that close cannot
    // be told apart: such a cluster is one real root, kept once.
    const double cluster = 1e-7;
    for (int r = 0; r < deg; r++) {
        const double re = roots.roots[r].re, im = roots.roots[r].im;
        if (!(std::fabs(im) < 1e-11 * std::fabs(re) || std::fabs(im) < 1e-11 ||
              std::fabs(im) < cluster * std::hypot(re, im)))
            continue;
        bool repeat = false;
        for (int j = 0; j < kept; j++) {
            const double x = real.data[j];
            // |re/x - 1| < cluster, without dividing by a zero root
            if (re == x || std::fabs(re - x) < cluster * std::fabs(x))
                repeat = true;
        }
        if (!repeat)
            real.data[kept++] = re;
    }
    resize_vector(&real, kept);
    if (ist.verbosity > 3) {
        fputs("\npolynomial:\n", fp);
        print_poly(P.data(), deg, fp);
        fputs("\nsolutions:\n", fp);
        for (int r = 0; r < deg; r++)
            fprintf(fp, "%15g %15g\n", roots.roots[r].re, roots.roots[r].im);
        fputs("\nreal-valued solutions:\n", fp);
        for (int r = 0; r < kept; r++)
            fprintf(fp, "%15g\n", real.data[r]);
    }
    free_rootlist(&roots);
    return real;
}

i_matrix occurrence_matrix(int neq, const eq_array &E)
{
    int nv = std::max(neq, 0);
    for (int i = 0; i < neq; i++)
        for (int j = 0; j < E.eq[i].n; j++) {
            const poly_term &t = E.eq[i].t[j];
            for (int k = 0; k < t.n; k++)
                if (t.exp[k] > 0)
                    nv = std::max(nv, k + 1);
        }
    i_matrix M = new_i_matrix(neq, nv + 1);
    for (int i = 0; i < neq; i++) {
        for (int j = 0; j < E.eq[i].n; j++) {
            const poly_term &t = E.eq[i].t[j];
            for (int k = 0; k < t.n; k++)
                if (t.exp[k] > 0 && t.exp[k] > im_element(M, i, k))
                    set_i_matrix(&M, i, k, t.exp[k]);
        }
        int count = 0;
        for (int k = 0; k < nv; k++)
            if (im_element(M, i, k) > 0)
                count++;
        set_i_matrix(&M, i, nv, count);
    }
    return M;
}

namespace {

// Back substitution through E in B0..B(n-2). A system that is not
// triangular is reported (strict: the run ends) and gives no solution.
matrix back_substitute(int neq, const eq_array &E, int n, bool strict)
{
    FILE *fp = report_stream();
    const int nvars = n - 1;
    if (nvars < 1)
        return newm(std::max(nvars, 0), 0);
    matrix X = newm(nvars, 1);
    solution_array sol = new_solution_array(nvars);
    i_matrix occ = occurrence_matrix(neq, E);
    const int ncols = occ.cols - 1;  // variables the matrix covers
    std::vector<int> used(std::max(neq, 0), 0);
    if (ist.verbosity > 3) {
        fputs("var=\n", fp);
        print_i_matrix(occ, fp);
    }
    // A variable is open until it has a value; one beyond B(n-2) never gets one.
    auto open = [&](int k) { return k >= nvars || !sol.flag[k]; };

    bool ok = true;
    for (int step = 0; step < nvars && ok; step++) {
        if (ist.verbosity > 3) {
            fputs("sol.i =", fp);
            for (int k = 0; k < nvars; k++)
                fprintf(fp, " %d", sol.flag[k]);
            fputs("\n", fp);
        }
        int eqn = -1, count = 0;
        for (int i = 0; i < neq; i++) {
            if (used[i])
                continue;
            count = 0;
            for (int k = 0; k < ncols; k++)
                if (im_element(occ, i, k) > 0 && open(k))
                    count++;
            if (count <= 1) {
                eqn = i;
                break;
            }
        }
        if (eqn < 0 || count != 1) {
            if (count >= 2 && strict)
                fatal("g_ladder_symbolic: variables not properly eliminated");
            if (count >= 2)
                error("solve_reduced_equations: variables not properly eliminated");
            ok = false;
            break;
        }
        if (ist.verbosity > 3)
            fprintf(fp, "Equation to be solved: %d.\n", eqn);
        int j = -1;
        for (int k = 0; k < ncols && j < 0; k++)
            if (open(k) && im_element(occ, eqn, k) != 0)
                j = k;
        if (j < 0)
            fatal("g_ladder_symbolic: variable matrix warped");
        if (j >= nvars) {
            // The equation is in a variable that is not a ladder value.
            if (strict)
                fatal("g_ladder_symbolic: variables not properly eliminated");
            error("solve_reduced_equations: variables not properly eliminated");
            ok = false;
            break;
        }
        int bound = X.cols;
        for (int c = 0; c < bound;) {
            for (int k = 0; k < nvars; k++)
                sol.value[k] = elem(X, k, c);
            vector roots = solve_poly_term(E.eq[eqn], nvars, sol.value.data(), sol.flag.data(), 1.0);
            // At a double root of a variable solved before, an equation of
            // the form (Bk - r) g + (rounding) vanishes for every value of
            // Bj: two nearby roots r1, r2 of Bk would each solve it, so
            // that its derivative by Bk vanishes in the limit as well, and
            // that one gives Bj.
            if (roots.n == 0 && vanishes_identically(E.eq[eqn], j, nvars, sol.value.data(), sol.flag.data(), 1.0)) {
                for (int k = nvars - 1; k >= 0 && roots.n == 0; k--) {
                    if (!sol.flag[k] || var_max_degree(E.eq[eqn], k) < 1)
                        continue;
                    termlist D = partial_derivative(E.eq[eqn], k);
                    if (var_max_degree(D, j) >= 1) {
                        freevector(&roots);
                        roots = solve_poly_term(D, nvars, sol.value.data(), sol.flag.data(), 1.0);
                    }
                }
            }
            if (roots.n == 0) {
                delete_column(&X, c);
                bound--;
            } else {
                matrix_set(X, j, c, roots.data[0]);
                for (int r = 1; r < roots.n; r++) {
                    const int last = X.cols;
                    mresize(&X, last + 1);
                    for (int k = 0; k < nvars; k++)
                        X.data[last * nvars + k] = X.data[c * nvars + k];
                    X.data[last * nvars + j] = roots.data[r];
                }
                c++;
            }
            freevector(&roots);
            if (ist.verbosity > 3) {
                fputs("beta=", fp);
                print_matrix(fp, X, 10);
            }
        }
        sol.flag[j] = 1;
        used[eqn] = 1;
    }
    if (!ok) {
        freem(&X);
        return null_matrix();
    }
    return X;
}

}  // namespace

matrix solve_reduced_equations(int neq, const eq_array &E, int n)
{
    return back_substitute(neq, E, n, false);
}

void eliminate_var(int k, const termlist &P, termlist *Q, double scale)
{
    termlist cP, cQ;
    const int m1 = extract_top_power(*Q, k, &cQ);
    const int m2 = extract_top_power(P, k, &cP);
    if (m1 == 0 || m2 == 0)
        return;
    termlist t1 = termlist_mul(P, cQ);
    termlist t2 = termlist_mul(*Q, cP);
    // Both products now lead with cP cQ Bk^m; lift the lower one.
    if (m2 < m1)
        termlist_mul_var(&t1, k, m1 - m2);
    else if (m1 < m2)
        termlist_mul_var(&t2, k, m2 - m1);
    termlist diff = termlist_lincomb(-1, t1, 1, t2);
    drop_small_terms(&diff, scale);
    if (ist.verbosity > 3) {
        FILE *fp = report_stream();
        fprintf(fp, "Eliminating B%d.\n", k);
        fputs("Term 1: ", fp);
        print_termlist(P, fp);
        fputs("\nTerm 2: ", fp);
        print_termlist(*Q, fp);
        fprintf(fp, "\nExtracted B%d^%d terms from term 1: ", k, m2);
        print_termlist(cP, fp);
        fprintf(fp, "\nExtracted B%d^%d terms from term 2: ", k, m1);
        print_termlist(cQ, fp);
        fputs("\nMultiplied t1: ", fp);
        print_termlist(t1, fp);
        fputs("\nMultiplied t2: ", fp);
        print_termlist(t2, fp);
        fputs("\nSubracted: ", fp);
        print_termlist(diff, fp);
        fputs("\n", fp);
    }
    remove_common_factors(&diff);
    if (ist.verbosity > 3) {
        FILE *fp = report_stream();
        fputs("\nRemoval of common factors: ", fp);
        print_termlist(diff, fp);
        fputs("\n\n", fp);
    }
    *Q = std::move(diff);
}

int fewest_open_variables(const i_matrix &occ, int neq, const std::vector<int> &used,
                          const std::vector<int> &eliminated, int *min_i)
{
    int min = neq;
    *min_i = neq - 1;
    for (int i = neq - 1; i >= 0; i--) {
        if (used[i])
            continue;
        int count = 0;
        for (int k = 0; k < neq; k++)
            if (im_element(occ, i, k) > 0 && !eliminated[k])
                count++;
        if (count < min) {
            min = count;
            *min_i = i;
        }
    }
    return min;
}

matrix g_ladder_eliminate(const double *a, const double *p, int n, double f)
{
    FILE *fp = report_stream();
    spoly S = slpoly(n, a);
    if (ist.verbosity > 1) {
        fputs("s=\n", fp);
        print_spoly(S, fp);
        fputs("\ntarget=\n", fp);
        print_poly(p, n, fp);
        fputs("\n", fp);
    }
    spoly_add_poly(&S, -1.0L / f, p, n);
    if (ist.verbosity > 1) {
        fputs("s-target=\n", fp);
        print_spoly(S, fp);
        fputs("\n", fp);
    }
    const int neq = n - 1;
    eq_array E = new_eq_array(neq);
    for (int k = 0; k < neq; k++)
        E.eq[k] = termlist_copy(S.coef[k].n, S.coef[k].t.data());
    free_spoly(&S);  // done with: its lists go before the elimination
    sort_eq_array(&E);
    fputs("\nequations:\n", fp);
    print_eq_array(E, fp);

    double sum = 0.0;
    for (int i = 0; i < n; i++)
        sum += a[i];
    const double scale = n > 0 ? std::fabs(sum) / n : 0.0;
    std::vector<int> used(std::max(neq, 0), 0), eliminated(std::max(neq, 0), 0);
    for (int round = 0; round < neq; round++) {
        i_matrix occ = occurrence_matrix(neq, E);
        int min_i;
        const int min = fewest_open_variables(occ, neq, used, eliminated, &min_i);
        if (ist.verbosity > 1) {
            fputs("e =", fp);
            for (int k = 0; k < neq; k++)
                fprintf(fp, " %d", eliminated[k]);
            fputs("eq=", fp);
            for (int k = 0; k < neq; k++)
                fprintf(fp, " %d", used[k]);
            fputs("\nvar =\n", fp);
            print_i_matrix(occ, fp);
            fprintf(fp, "\n\nmin=%d, min_i=%d\n\n", min, min_i);
        }
        int v = -1;
        for (int k = 0; k < neq && v < 0; k++)
            if (im_element(occ, min_i, k) > 0 && !eliminated[k])
                v = k;
        if (min == 0 || v < 0)
            return null_matrix();
        if (min > 1) {
            for (int j = neq - 1; j >= 0; j--) {
                if (j == min_i || used[j])
                    continue;
                for (int t = 0; t < 10; t++) {
                    const int pi = var_max_degree(E.eq[min_i], v);
                    const int pj = var_max_degree(E.eq[j], v);
                    if (pi == 0 || pj == 0)
                        break;
                    if (pj >= pi)
                        eliminate_var(v, E.eq[min_i], &E.eq[j], scale);
                    else
                        eliminate_var(v, E.eq[j], &E.eq[min_i], scale);
                }
            }
            for (int i = 0; i < neq; i++)
                sort_terms(&E.eq[i]);
            if (ist.verbosity > 2) {
                print_eq_array(E, fp);
                fputs("\n", fp);
            }
        }
        used[min_i] = 1;
        eliminated[v] = 1;
    }
    if (ist.verbosity > 1) {
        fputs("after elimination:\n", fp);
        print_eq_array(E, fp);
    }
    matrix X = back_substitute(neq, E, n, true);
    if (ist.verbosity > 2) {
        fputs("verification:\n", fp);
        for (int c = 0; c < X.cols; c++) {
            poly P = lpoly(n, a, X.data + static_cast<std::size_t>(c) * X.rows);
            print_poly(P.coef, P.degree, fp);
            fputs("\n", fp);
            freepoly(&P);
        }
    }
    return X;
}
