// Numeric ladder solver on GSL's hybrid method with an analytic Jacobian.
#include "ladder/numeric_ladder.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_multiroots.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

namespace {

void print_values(FILE *fp, const char *label, const gsl_vector *v)
{
    fputs(label, fp);
    for (std::size_t i = 0; i < v->size; i++)
        fprintf(fp, "%15e ", gsl_vector_get(v, i));
}

// The iterate into b_0..b_(k-1) of the work array, then the closing values.
int complete_b(const gsl_vector *x, ladder_params *lp)
{
    const int k = lp->n - 3;
    for (int i = 0; i < k; i++) {
        lp->b[i] = gsl_vector_get(x, i);
        if (!std::isfinite(lp->b[i]))
            return GSL_EBADFUNC;
    }
    if (ladder_closing_b(lp->a, lp->b, lp->p, lp->order, lp->n) != GSL_SUCCESS)
        return GSL_EBADFUNC;
    return GSL_SUCCESS;
}

// dP/db_j, the difference of P_n with b_j = 1 and with b_j = 0 (P_n is
// affine in each single b value), into d[0..n]; b_j is restored.
void lpoly_slope(const ladder_params *lp, int j, double *d)
{
    const double keep = lp->b[j];
    lp->b[j] = 1.0;
    poly one = lpoly(lp->n, lp->a, lp->b);
    lp->b[j] = 0.0;
    poly zero = lpoly(lp->n, lp->a, lp->b);
    lp->b[j] = keep;
    for (int i = 0; i <= lp->n; i++)
        d[i] = one.coef[i] - zero.coef[i];
    freepoly(&one);
    freepoly(&zero);
}

// The iteration limit: itmax2 truncated toward zero, 1000 without it.
int iteration_limit()
{
    const double *v = getvar("itmax2");
    if (!v)
        return 1000;
    const double t = std::trunc(*v);
    if (t >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (t <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(t);
}

void trace_state(FILE *fp, const gsl_multiroot_fdfsolver *s, int n)
{
    print_values(fp, "x= ", s->x);
    if (n > 8)
        fputs("\n", fp);
    print_values(fp, "f= ", s->f);
    fputs("\n", fp);
}

}  // namespace

double sum_except_pair(const double *a, int n, int j)
{
    double s = 0.0;
    for (int i = 0; i < n; i++)
        if (i != j && i != j + 1)
            s += a[i];
    return s;
}

int ladder_closing_b(const double *a, double *b, const double *p, int order, int n)
{
    (void)order;
    double S = 0.0, e2 = 0.0, e3 = 0.0;
    // Running elementary symmetric sums: adding a_i to {a_0..a_(i-1)}.
    for (int i = 0; i < n; i++) {
        e3 += a[i] * e2;
        e2 += a[i] * S;
        S += a[i];
    }
    double Q = e2 - p[n - 2];
    for (int k = 0; k <= n - 4; k++)
        Q -= b[k];
    double B = 0.0;
    for (int i = 0; i <= n - 3; i++)
        B += a[i];
    double A = a[n - 1];
    for (int i = 0; i <= n - 4; i++)
        A += a[i];
    double E = e3 + p[n - 3];
    for (int k = 0; k <= n - 4; k++)
        E -= (S - a[k] - a[k + 1]) * b[k];
    // A - B is a_(n-1) - a_(n-3): when it vanishes to rounding the two
    // closing equations are dependent, and dividing by it would give a
    // huge value instead of no ladder.
    double big = 0.0;
    for (int i = 0; i < n; i++)
        big = std::max(big, std::fabs(a[i]));
    if (!(std::fabs(a[n - 1] - a[n - 3]) > 1e-9 * big) || A - B == 0.0)
        return GSL_EZERODIV;
    b[n - 3] = (E - Q * B) / (A - B);
    b[n - 2] = Q - b[n - 3];
    return GSL_SUCCESS;
}

int ladder_f(const gsl_vector *x, void *params, gsl_vector *f)
{
    ladder_params *lp = static_cast<ladder_params *>(params);
    const int k = lp->n - 3;
    if (complete_b(x, lp) != GSL_SUCCESS)
        return GSL_EBADFUNC;
    poly P = lpoly(lp->n, lp->a, lp->b);
    int status = GSL_SUCCESS;
    for (int i = 0; i < k; i++) {
        const double fi = P.coef[i] - lp->p[i];
        if (!std::isfinite(fi))
            status = GSL_EBADFUNC;
        gsl_vector_set(f, i, fi);
    }
    freepoly(&P);
    if (ist.verbosity >= 4) {
        FILE *fp = report_stream();
        fputs("Call to ladder_f\n", fp);
        print_values(fp, "x= ", x);
        fputs("\n", fp);
        print_values(fp, "f= ", f);
        fputs("\n", fp);
    }
    return status;
}

int ladder_df(const gsl_vector *x, void *params, gsl_matrix *J)
{
    ladder_params *lp = static_cast<ladder_params *>(params);
    const int n = lp->n;
    const int k = n - 3;
    if (complete_b(x, lp) != GSL_SUCCESS)
        return GSL_EBADFUNC;
    std::vector<double> d(n + 1);
    for (int j = 0; j < k; j++) {
        lpoly_slope(lp, j, d.data());
        for (int i = 0; i < k; i++)
            gsl_matrix_set(J, i, j, d[i]);
    }
    // The closing values move with every free value:
    // d b_(n-3)/d b_j = (B - S_j)/(A - B), d b_(n-2)/d b_j = (A - S_j)/(B - A).
    const double A = sum_except_pair(lp->a, n, n - 3);
    const double B = sum_except_pair(lp->a, n, n - 2);
    std::vector<double> d3(n + 1), d2(n + 1);
    lpoly_slope(lp, n - 3, d3.data());
    lpoly_slope(lp, n - 2, d2.data());
    int status = GSL_SUCCESS;
    for (int j = 0; j < k; j++) {
        const double Sj = sum_except_pair(lp->a, n, j);
        const double c3 = (B - Sj) / (A - B);
        const double c2 = (A - Sj) / (B - A);
        for (int i = 0; i < k; i++) {
            const double v = gsl_matrix_get(J, i, j) + d3[i] * c3 + d2[i] * c2;
            if (!std::isfinite(v))
                status = GSL_EBADFUNC;
            gsl_matrix_set(J, i, j, v);
        }
    }
    if (ist.verbosity >= 4) {
        FILE *fp = report_stream();
        fputs("Call to ladder_df\n", fp);
        print_values(fp, "x= ", x);
        fputs("\n", fp);
        for (int j = 0; j < k; j++) {
            fprintf(fp, "J%d= ", j);
            for (int i = 0; i < k; i++)
                fprintf(fp, "%15e ", gsl_matrix_get(J, i, j));
            fputs("\n", fp);
        }
    }
    return status;
}

int ladder_fdf(const gsl_vector *x, void *params, gsl_vector *f, gsl_matrix *J)
{
    int status = ladder_f(x, params, f);
    if (status != GSL_SUCCESS)
        return status;
    return ladder_df(x, params, J);
}

gladder_result gladder_numeric(std::vector<double> a, matrix &b, const double *p, int n, double split,
                               int nguess, double *guess)
{
    (void)split;
    const int itmax = iteration_limit();
    n = target_order(p, n, "gladder_numeric: order smaller than 1");
    if (std::fabs(p[n] - 1.0) > 1e-7)
        fatal("gladder_numeric: target polynomial not monic.");
    if (n < 3)
        fatal("gladder_numeric: order smaller than 3");

    const int k = n - 3;
    std::vector<double> work(n - 1, 0.0);
    ladder_params lp;
    lp.p = p;
    lp.order = n;
    lp.a = a.data();
    lp.b = work.data();
    lp.n = n;

    int status = GSL_SUCCESS;
    if (k > 0) {
        gsl_vector *x = gsl_vector_alloc(k);
        check_alloc(x, "gladder array b");
        if (nguess >= k && guess[0] <= 0.0) {
            for (int i = 0; i < k; i++)
                gsl_vector_set(x, i, guess[i]);
        } else {
            // The mean of the b values that the s^(n-2) coefficient asks for.
            double S = 0.0, e2 = 0.0;
            for (int i = 0; i < n; i++) {
                e2 += a[i] * S;
                S += a[i];
            }
            const double start = (e2 - p[n - 2]) / (n - 1);
            for (int i = 0; i < k; i++)
                gsl_vector_set(x, i, start);
        }

        gsl_multiroot_function_fdf fn = {&ladder_f, &ladder_df, &ladder_fdf, static_cast<std::size_t>(k),
                                         &lp};
        gsl_multiroot_fdfsolver *s = gsl_multiroot_fdfsolver_alloc(gsl_multiroot_fdfsolver_hybridsj, k);
        check_alloc(s, "gladder array b");
        status = gsl_multiroot_fdfsolver_set(s, &fn, x);
        // A start at which the ladder cannot be closed is a failure of this
        // solve, with no iteration.
        const gsl_vector *last = x;
        if (status == GSL_SUCCESS) {
            last = s->x;
            FILE *fp = report_stream();
            if (ist.verbosity == 3)
                trace_state(fp, s, n);
            int iter = 0;
            do {
                iter++;
                status = gsl_multiroot_fdfsolver_iterate(s);
                if (status != GSL_SUCCESS)
                    break;
                if (ist.verbosity == 3)
                    trace_state(fp, s, n);
                status = gsl_multiroot_test_residual(s->f, 1e-7);
            } while (status == GSL_CONTINUE && iter < itmax);
            if (ist.verbosity > 1) {
                fprintf(fp, "status = %s\n", gsl_strerror(status));
                fprintf(fp, "number of iterations: %d.\n", iter);
            }
        }
        for (int i = 0; i < k; i++) {
            b.data[i] = gsl_vector_get(last, i);
            if (nguess >= k)
                guess[i] = b.data[i];
        }
        gsl_multiroot_fdfsolver_free(s);
        gsl_vector_free(x);
    }

    gladder_result r;
    if (status == GSL_SUCCESS)
        status = ladder_closing_b(a.data(), b.data, p, n, n);
    if (status != GSL_SUCCESS) {
        if (ist.verbosity > 1)
            error("%s", gsl_strerror(status));
        r.order = -1;
        r.status = status;
        return r;
    }
    r.a = std::move(a);
    r.b = b;
    r.order = n;
    return r;
}
