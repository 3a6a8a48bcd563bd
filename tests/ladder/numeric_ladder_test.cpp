// The callbacks of the numeric ladder solver: closing values, residuals and
// the analytic Jacobian against central differences of the residuals.
#include <gtest/gtest.h>
#include <gsl/gsl_errno.h>

#include <cmath>
#include <vector>

#include "ladder/ladder.h"
#include "ladder/numeric_ladder.h"
#include "ladder_checks.h"
#include "tests/base/capture.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

using namespace lt;

namespace {

struct problem {
    dvec p, a, work;
    ladder_params lp;
    problem(const dvec &target, const dvec &diag) : p(target), a(diag), work(diag.size() - 1, 0.0)
    {
        lp.p = p.data();
        lp.order = static_cast<int>(p.size()) - 1;
        lp.a = a.data();
        lp.b = work.data();
        lp.n = static_cast<int>(a.size());
    }
};

dvec residuals(problem &pr, const dvec &x)
{
    const int k = pr.lp.n - 3;
    gsl_vector *xv = gsl_vector_alloc(k);
    gsl_vector *f = gsl_vector_alloc(k);
    for (int i = 0; i < k; i++)
        gsl_vector_set(xv, i, x[i]);
    EXPECT_EQ(ladder_f(xv, &pr.lp, f), GSL_SUCCESS);
    dvec r(k);
    for (int i = 0; i < k; i++)
        r[i] = gsl_vector_get(f, i);
    gsl_vector_free(f);
    gsl_vector_free(xv);
    return r;
}

}  // namespace

// The closing values make the coefficients of s^(n-2) and s^(n-3) match,
// whatever the free values are.
TEST(NumericLadder, ClosingValuesMatchTwoCoefficients)
{
    const dvec p = butterworth(7);
    const dvec a = {-1.3, 0.4, -0.2, 0.0, 0.7, -1.1, -3.0};
    dvec b = {-0.8, 1.5, -2.0, 0.3, 0.0, 0.0};
    ASSERT_EQ(ladder_closing_b(a.data(), b.data(), p.data(), 7, 7), GSL_SUCCESS);
    poly P = lpoly(7, a.data(), b.data());
    EXPECT_NEAR(P.coef[5], p[5], 1e-12);
    EXPECT_NEAR(P.coef[4], p[4], 1e-12);
    freepoly(&P);
    EXPECT_DOUBLE_EQ(sum_except_pair(a.data(), 7, 2), -1.3 + 0.4 + 0.7 - 1.1 - 3.0);

    // a_(n-1) == a_(n-3): no closing values, b untouched.
    const dvec eq = {-1.0, 0.0, -2.0, 0.5, -2.0};
    dvec b2 = {7.0, 8.0, 9.0, 10.0};
    EXPECT_EQ(ladder_closing_b(eq.data(), b2.data(), butterworth(5).data(), 5, 5), GSL_EZERODIV);
    EXPECT_EQ(b2[2], 9.0);
    EXPECT_EQ(b2[3], 10.0);
    // a_3 one rounding step away from a_1 (as weights like (0.3, 0.2, 0.3)
    // leave it): no closing values either, instead of values near 1e16.
    const dvec p4 = butterworth(4);
    const double t = -p4[3];
    const dvec near = {0.3 * t, 0.2 * t, 0.3 * t, std::nextafter(0.2 * t, 0.0)};
    dvec b3 = {7.0, 8.0, 9.0};
    EXPECT_EQ(ladder_closing_b(near.data(), b3.data(), p4.data(), 4, 4), GSL_EZERODIV);
    EXPECT_EQ(b3[1], 8.0);
}

TEST(NumericLadder, JacobianMatchesCentralDifferences)
{
    setup_vars();
    struct tcase {
        dvec p, a, x;
    };
    const std::vector<tcase> cases = {
        {butterworth(4), {-1.3, 0.0, 0.2, -1.5132}, {-0.7}},
        {butterworth(6), {-1.9, 0.3, -0.5, 0.0, 0.8, -2.5637}, {-1.2, -0.4, 0.9}},
        {bessel(8), {-40.0, 3.0, -7.0, 0.0, 11.0, -2.0, 5.0, -6.0}, {-50.0, -20.0, 10.0, -80.0, 30.0}},
    };
    for (const tcase &c : cases) {
        problem pr(c.p, c.a);
        const int k = pr.lp.n - 3;
        ASSERT_EQ(static_cast<int>(c.x.size()), k);
        gsl_vector *xv = gsl_vector_alloc(k);
        gsl_matrix *J = gsl_matrix_alloc(k, k);
        for (int i = 0; i < k; i++)
            gsl_vector_set(xv, i, c.x[i]);
        ASSERT_EQ(ladder_df(xv, &pr.lp, J), GSL_SUCCESS);
        for (int j = 0; j < k; j++) {
            // The residuals are polynomial of low degree in each x_j: the
            // central difference is exact up to rounding for a modest step.
            const double h = 1e-3 * std::max(1.0, std::fabs(c.x[j]));
            dvec xp = c.x, xm = c.x;
            xp[j] += h;
            xm[j] -= h;
            const dvec fp = residuals(pr, xp), fm = residuals(pr, xm);
            double scale = 0.0;
            for (int i = 0; i < k; i++)
                scale = std::max(scale, std::fabs(gsl_matrix_get(J, i, j)));
            for (int i = 0; i < k; i++) {
                const double fd = (fp[i] - fm[i]) / (2.0 * h);
                EXPECT_NEAR(gsl_matrix_get(J, i, j), fd, 1e-6 * std::max(1.0, scale))
                    << "n=" << pr.lp.n << " J(" << i << "," << j << ")";
            }
        }
        // ladder_fdf gives the same pair.
        gsl_vector *f = gsl_vector_alloc(k);
        gsl_matrix *J2 = gsl_matrix_alloc(k, k);
        ASSERT_EQ(ladder_fdf(xv, &pr.lp, f, J2), GSL_SUCCESS);
        const dvec f1 = residuals(pr, c.x);
        for (int i = 0; i < k; i++) {
            EXPECT_EQ(gsl_vector_get(f, i), f1[i]);
            for (int j = 0; j < k; j++)
                EXPECT_EQ(gsl_matrix_get(J2, i, j), gsl_matrix_get(J, i, j));
        }
        gsl_matrix_free(J2);
        gsl_vector_free(f);
        gsl_matrix_free(J);
        gsl_vector_free(xv);
    }
}

// Residuals: f_i = P_i - p_i of the ladder polynomial built from the closed
// values, compared with the ladder polynomial computed here.
TEST(NumericLadder, ResidualsAreTheLowCoefficients)
{
    setup_vars();
    const dvec p = butterworth(6);
    problem pr(p, {-1.9, 0.3, -0.5, 0.0, 0.8, -2.5637});
    const dvec x = {-1.2, -0.4, 0.9};
    const dvec f = residuals(pr, x);
    dvec b = {x[0], x[1], x[2], 0.0, 0.0};
    ASSERT_EQ(ladder_closing_b(pr.a.data(), b.data(), p.data(), 6, 6), GSL_SUCCESS);
    poly P = lpoly(6, pr.a.data(), b.data());
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(f[i], P.coef[i] - p[i], 1e-14);
    freepoly(&P);
}

// A non-finite iterate ends the solve through the status of the callback,
// not through GSL's error handler.
TEST(NumericLadder, NonFiniteIterateIsAFailedEvaluation)
{
    setup_vars();
    problem pr(butterworth(5), {-1.0, 0.0, 0.5, 0.0, -2.736});
    gsl_vector *xv = gsl_vector_alloc(2);
    gsl_vector *f = gsl_vector_alloc(2);
    gsl_matrix *J = gsl_matrix_alloc(2, 2);
    gsl_vector_set(xv, 0, NAN);
    gsl_vector_set(xv, 1, 1.0);
    EXPECT_EQ(ladder_f(xv, &pr.lp, f), GSL_EBADFUNC);
    EXPECT_EQ(ladder_df(xv, &pr.lp, J), GSL_EBADFUNC);
    gsl_vector_set(xv, 0, 1e300);
    gsl_vector_set(xv, 1, 1e300);
    EXPECT_EQ(ladder_f(xv, &pr.lp, f), GSL_EBADFUNC);
    gsl_matrix_free(J);
    gsl_vector_free(f);
    gsl_vector_free(xv);
}

TEST(NumericLadder, IterationLimitAndTraces)
{
    setup_vars();
    FILE *out = tmpfile();
    FILE *keep = ist.out_fp;
    ist.out_fp = out;
    const int verbosity = ist.verbosity;
    set_var_number("itmax2", 1.9);  // truncated to 1: exactly one step
    ist.verbosity = 3;
    const dvec p = butterworth(9);
    dvec a(9, 0.0);
    a[0] = a[8] = -p[8] / 2.0;
    gladder_result r;
    matrix b = newm(8, 1);
    const std::string err =
        capture_stderr([&] { r = gladder_numeric(a, b, p.data(), 9, 0.5, 0, nullptr); });
    EXPECT_NE(err.find(": the iteration has not converged yet.\n"), std::string::npos) << err;
    set_var_number("itmax2", 1000.0);
    ist.verbosity = verbosity;
    ist.out_fp = keep;
    fflush(out);
    rewind(out);
    std::string text;
    for (int c; (c = fgetc(out)) != EOF;)
        text += static_cast<char>(c);
    fclose(out);
    EXPECT_EQ(r.order, -1);
    EXPECT_EQ(r.status, GSL_CONTINUE);
    EXPECT_TRUE(r.a.empty());
    // Start and one step traced; n > 8 breaks the line before "f= ".
    EXPECT_NE(text.find("x= "), std::string::npos);
    EXPECT_NE(text.find(" \nf= "), std::string::npos);
    EXPECT_NE(text.find("status = the iteration has not converged yet\nnumber of iterations: 1.\n"),
              std::string::npos)
        << text;
}
