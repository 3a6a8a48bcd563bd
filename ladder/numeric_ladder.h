// Numeric ladder solver: finds one set of products b_0..b_(n-2) with
// P_n(a, b) = p for a fixed diagonal a, by GSL's hybrid root finder with an
// analytic Jacobian.
//
// The free values of the iteration are b_0..b_(n-4); b_(n-3) and b_(n-2)
// follow in closed form (ladder_closing_b) so that the coefficients of
// s^(n-2) and s^(n-3) always match, and the choice of a matches s^(n-1).
// The equations are the remaining coefficients of s^0..s^(n-4).
#pragma once

#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <vector>

#include "ladder/ladder.h"

// What the callbacks of the root finder work on.
struct ladder_params {
    const double *p = nullptr;  // the monic target p[0..order]
    int order = 0;
    const double *a = nullptr;  // the n diagonal values
    double *b = nullptr;        // n-1 work values
    int n = 0;
};

// Solves for b, starting from guess[0..n-4] when nguess >= n-3 and
// guess[0] <= 0, else from the mean of the b values that the s^(n-2)
// coefficient asks for. b is the (n-1) x 1 matrix to fill; split is not
// read. On success {a, b, n, 0}; on failure {no a, empty b, -1, status}.
// The last iterate goes into guess when it is long enough, whatever the
// outcome.
gladder_result gladder_numeric(std::vector<double> a, matrix &b, const double *p, int n, double split,
                               int nguess, double *guess);

// Residuals f_i = P_i - p_i, i = 0..n-4, of the iterate x.
int ladder_f(const gsl_vector *x, void *params, gsl_vector *f);
// J(i,j) = d f_i / d x_j, including the dependence of the closing values.
int ladder_df(const gsl_vector *x, void *params, gsl_matrix *J);
int ladder_fdf(const gsl_vector *x, void *params, gsl_vector *f, gsl_matrix *J);

// Fills b[n-3] and b[n-2] from a, b[0..n-4] and the target p of the given
// order. Returns GSL_SUCCESS, or GSL_EZERODIV without touching b when
// a_(n-1) and a_(n-3) agree to 1e-9 of the largest |a_i| (the two closing
// equations are then dependent).
int ladder_closing_b(const double *a, double *b, const double *p, int order, int n);

// a_0 + ... + a_(n-1) minus a_j and a_(j+1).
double sum_except_pair(const double *a, int n, int j);
