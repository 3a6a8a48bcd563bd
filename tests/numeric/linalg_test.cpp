// Inverse, solve, determinant and eigenproblems: closed forms and GSL's
// eigensolvers as the independent values.
#include <gmock/gmock.h>
#include <gsl/gsl_eigen.h>
#include <gsl/gsl_matrix.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "helpers.h"
#include "base/globals.h"
#include "numeric/lapack.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

// The largest distance between the eigenvalues (n x 2: real, imaginary) of
// got and want, each of want matched to the nearest unmatched one of got.
double eig_distance(const matrix &got, const std::vector<std::pair<double, double>> &want)
{
    std::vector<bool> used(got.rows, false);
    double worst = 0;
    for (auto [re, im] : want) {
        int best = -1;
        double bd = 1e300;
        for (int i = 0; i < got.rows; i++) {
            double d = std::hypot(at(got, i, 0) - re, at(got, i, 1) - im);
            if (!used[i] && d < bd) {
                bd = d;
                best = i;
            }
        }
        if (best < 0)
            return 1e300;
        used[best] = true;
        worst = std::max(worst, bd);
    }
    return worst;
}

gsl_matrix *to_gsl(const matrix &m)
{
    gsl_matrix *g = gsl_matrix_alloc(m.rows, m.cols);
    for (int i = 0; i < m.rows; i++)
        for (int j = 0; j < m.cols; j++)
            gsl_matrix_set(g, i, j, at(m, i, j));
    return g;
}

matrix cpart(const cmatrix &c, bool imag)
{
    return imag ? cm_imag(c) : cm_real(c);
}

}  // namespace

TEST(Inverse, KnownInverses)
{
    struct Case {
        matrix a, inverse;
    } cases[] = {
        {rowwise(2, 2, {4, 7, 2, 6}), rowwise(2, 2, {0.6, -0.7, -0.2, 0.4})},
        {rowwise(3, 3, {2, -1, 0, -1, 2, -1, 0, -1, 2}),
         rowwise(3, 3, {0.75, 0.5, 0.25, 0.5, 1, 0.5, 0.25, 0.5, 0.75})},
        // needs a row exchange
        {rowwise(2, 2, {0, 1, 1, 0}), rowwise(2, 2, {0, 1, 1, 0})},
    };
    for (auto &c : cases) {
        matrix keep = mcopy(c.a);
        matrix inv = minv(c.a);
        ASSERT_EQ(inv.rows, c.a.rows);
        EXPECT_LT(maxdiff(inv, c.inverse), 1e-15);
        EXPECT_EQ(maxdiff(c.a, keep), 0);  // the argument is unchanged
    }
}

TEST(Inverse, LargeKroneckerSum)
{
    // The 400 x 400 Lyapunov matrix of a stable 20th-order system.
    matrix a = newm(20, 20);
    for (int i = 0; i < 20; i++) {
        a.data[i * 20 + i] = -1.0 - 0.1 * i;
        if (i + 1 < 20) {
            a.data[(i + 1) * 20 + i] = 0.5;
            a.data[i * 20 + i + 1] = -0.5;
        }
    }
    matrix ks = kronsum(a, a);
    matrix inv = minv(ks);
    matrix prod = mmul(ks, inv);
    EXPECT_LT(maxdiff(prod, mid(400, 400)), 1e-12);
}

TEST(Inverse, SingularIsASoftFailure)
{
    ist.exit_status = 0;
    matrix a = rowwise(2, 2, {1, 2, 2, 4});
    testing::internal::CaptureStderr();
    matrix inv = minv(a);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "inv3c: error\n");
    EXPECT_EQ(inv.rows, 0);
    EXPECT_EQ(inv.cols, 0);
    EXPECT_EQ(inv.data, nullptr);
    EXPECT_EQ(maxdiff(a, rowwise(2, 2, {1, 2, 2, 4})), 0);

    testing::internal::CaptureStderr();
    matrix x = msolve(a, rowwise(2, 1, {1, 1}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "msolve: error\n");
    EXPECT_EQ(x.rows, 0);
    EXPECT_EQ(x.data, nullptr);
    EXPECT_EQ(ist.exit_status, 1);  // reported, so the run ends with status 1
    ist.exit_status = 0;
}

TEST(Solve, SeveralRightHandSides)
{
    matrix a = rowwise(2, 2, {2, 1, 1, 3});
    matrix b = rowwise(2, 3, {1, 0, 3, 0, 1, 4});
    matrix x = msolve(a, b);
    // a^-1 = [[3, -1], [-1, 2]] / 5
    EXPECT_LT(maxdiff(x, rowwise(2, 3, {0.6, -0.2, 1, -0.2, 0.4, 1})), 1e-15);
    EXPECT_EQ(maxdiff(b, rowwise(2, 3, {1, 0, 3, 0, 1, 4})), 0);
}

TEST(Determinant, Table)
{
    struct Case {
        matrix a;
        double det;
    } cases[] = {
        {rowwise(2, 2, {0, 1, 1, 0}), -1},  // one row exchange
        {rowwise(2, 2, {1, 2, 2, 4}), 0},   // singular
        {rowwise(1, 1, {-3.5}), -3.5},
        {rowwise(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 10}), -3},
        {rowwise(3, 3, {0, 0, 2, 0, 3, 0, 4, 0, 0}), -24},
    };
    for (auto &c : cases) {
        testing::internal::CaptureStderr();
        double d = det(c.a);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_NEAR(d, c.det, 1e-14);
    }
}

TEST(LinalgShapes, ShapeErrorsAreFatal)
{
    matrix r = newm(2, 3), sq = mid(2, 2);
    cmatrix v;
    matrix vv, dd;
    EXPECT_EXIT(minv(r), ExitedWithCode(1), HasSubstr("inv3c, matrix dimensions improper.\n"));
    EXPECT_EXIT(msolve(sq, newm(3, 1)), ExitedWithCode(1), HasSubstr("msolve, matrix dimensions improper.\n"));
    EXPECT_EXIT(msolve(sq, newm(2, 0)), ExitedWithCode(1), HasSubstr("msolve, matrix dimensions improper.\n"));
    EXPECT_EXIT(det(r), ExitedWithCode(1), HasSubstr("det: matrix dimensions improper.\n"));
    EXPECT_EXIT(evc(newm(0, 0)), ExitedWithCode(1), HasSubstr("evc, matrix dimensions improper.\n"));
    EXPECT_EXIT(ev(r), ExitedWithCode(1), HasSubstr("ev, matrix dimensions improper.\n"));
    EXPECT_EXIT(eigen(r, &vv, &dd), ExitedWithCode(1), HasSubstr("eigen, matrix dimensions improper.\n"));
    EXPECT_EXIT(c_diag(r, &v), ExitedWithCode(1), HasSubstr("c_diag, matrix dimensions improper.\n"));
}

// A matrix with an entry that is infinite or not a number has no eigenvalues
// to determine: each eigen routine ends the program with its failure
// message and status 1 (LAPACK itself would stop the process with status 0).
TEST(LinalgShapes, NonFiniteMatricesAreEigenFailures)
{
    for (double bad : {INFINITY, -INFINITY, NAN}) {
        SCOPED_TRACE(bad);
        matrix m = rowwise(2, 2, {bad, 1, 1, -1});
        matrix sym = rowwise(3, 3, {1, 0, bad, 0, 2, 0, bad, 0, 3});
        cmatrix v, cm = cnewm(2, 2);
        cm.data[3] = complex{0.0, bad};
        matrix vv, dd;
        EXPECT_EXIT(evc(m), ExitedWithCode(1), HasSubstr("evc: could not determine eigenvalues.\n"));
        EXPECT_EXIT(c_diag(m, &v), ExitedWithCode(1), HasSubstr("c_diag: could not determine eigenvalues.\n"));
        EXPECT_EXIT(ev(sym), ExitedWithCode(1), HasSubstr("ev: could not determine eigenvalues.\n"));
        EXPECT_EXIT(eigen(sym, &vv, &dd), ExitedWithCode(1),
                    HasSubstr("eigen: could not determine eigenvalues.\n"));
        EXPECT_EXIT(evcm(cm), ExitedWithCode(1), HasSubstr("evcm: could not determine eigenvalues.\n"));
    }
    // Any other illegal argument LAPACK finds is a reported failure too.
    int bad_n = -1, info = 0;
    EXPECT_EXIT(dgetrf_(&bad_n, &bad_n, nullptr, &bad_n, nullptr, &info), ExitedWithCode(1),
                HasSubstr("DGETRF: illegal value of argument 1 in the linear algebra library.\n"));
}

TEST(Eigenvalues, GeneralRealMatrix)
{
    // The rotation generator: the pair in LAPACK's order, +i first.
    matrix w = evc(rowwise(2, 2, {0, -1, 1, 0}));
    ASSERT_EQ(w.rows, 2);
    ASSERT_EQ(w.cols, 2);
    EXPECT_LT(maxdiff(w, rowwise(2, 2, {0, 1, 0, -1})), 1e-15);

    // Companion matrix of (s + 1)(s^2 + 2s + 5) = s^3 + 3s^2 + 7s + 5.
    matrix c = rowwise(3, 3, {-3, -7, -5, 1, 0, 0, 0, 1, 0});
    matrix wc = evc(c);
    ASSERT_EQ(wc.rows, 3);
    EXPECT_LT(eig_distance(wc, {{-1, -2}, {-1, 0}, {-1, 2}}), 1e-13);
    // A complex pair comes as consecutive entries, positive imaginary part first.
    for (int i = 0; i < 3; i++)
        if (at(wc, i, 1) != 0) {
            ASSERT_LT(i + 1, 3);
            EXPECT_GT(at(wc, i, 1), 0);
            EXPECT_EQ(at(wc, i + 1, 1), -at(wc, i, 1));
            EXPECT_EQ(at(wc, i + 1, 0), at(wc, i, 0));
            i++;
        }
}

TEST(Eigenvalues, AgreeWithGsl)
{
    matrix a = rowwise(5, 5, {1, 2, 0, -1, 3,  //
                              0.5, -2, 1, 4, 0,  //
                              3, 1, 1, 0, -2,    //
                              -1, 0, 2, 2, 1,    //
                              0, 1, -3, 1, 0});
    matrix w = evc(a);
    gsl_matrix *g = to_gsl(a);
    gsl_vector_complex *eval = gsl_vector_complex_alloc(5);
    gsl_eigen_nonsymm_workspace *ws = gsl_eigen_nonsymm_alloc(5);
    ASSERT_EQ(gsl_eigen_nonsymm(g, eval, ws), 0);
    std::vector<std::pair<double, double>> want;
    for (int i = 0; i < 5; i++) {
        gsl_complex z = gsl_vector_complex_get(eval, i);
        want.push_back({GSL_REAL(z), GSL_IMAG(z)});
    }
    EXPECT_LT(eig_distance(w, want), 1e-12);
    gsl_eigen_nonsymm_free(ws);
    gsl_vector_complex_free(eval);
    gsl_matrix_free(g);
}

TEST(Eigenvalues, Symmetric)
{
    // Only the upper triangle is read: the lower one here is nonsense.
    matrix a = rowwise(2, 2, {2, 1, 99, 2});
    matrix w = ev(a);
    ASSERT_EQ(w.rows, 2);
    ASSERT_EQ(w.cols, 1);
    EXPECT_NEAR(w.data[0], 1, 1e-15);
    EXPECT_NEAR(w.data[1], 3, 1e-15);

    matrix s = rowwise(4, 4, {4, 1, -2, 2, 1, 2, 0, 1, -2, 0, 3, -2, 2, 1, -2, -1});
    matrix v, d;
    eigen(s, &v, &d);
    ASSERT_EQ(d.rows, 4);
    ASSERT_EQ(d.cols, 4);
    gsl_matrix *g = to_gsl(s);
    gsl_vector *eval = gsl_vector_alloc(4);
    gsl_eigen_symm_workspace *ws = gsl_eigen_symm_alloc(4);
    ASSERT_EQ(gsl_eigen_symm(g, eval, ws), 0);
    std::vector<double> want(4);
    for (int i = 0; i < 4; i++)
        want[i] = gsl_vector_get(eval, i);
    std::sort(want.begin(), want.end());
    matrix wv = ev(s);
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(at(d, i, i), want[i], 1e-13);  // ascending on the diagonal
        EXPECT_NEAR(wv.data[i], want[i], 1e-13);
        for (int j = 0; j < 4; j++)
            if (i != j) {
                EXPECT_EQ(at(d, i, j), 0);
            }
    }
    // V is orthonormal and S = V D V^T.
    EXPECT_LT(maxdiff(mmul(transpose(v), v), mid(4, 4)), 1e-14);
    EXPECT_LT(maxdiff(mmul3(v, d, transpose(v)), s), 1e-13);
    gsl_eigen_symm_free(ws);
    gsl_vector_free(eval);
    gsl_matrix_free(g);
}

TEST(Eigenvalues, ComplexDiagonalisation)
{
    // Eigenvalues -1 and -1 +- 2i.
    matrix a = rowwise(3, 3, {-3, -7, -5, 1, 0, 0, 0, 1, 0});
    cmatrix v;
    cmatrix d = c_diag(a, &v);
    ASSERT_EQ(d.rows, 3);
    ASSERT_EQ(v.rows, 3);
    ASSERT_EQ(v.cols, 3);
    // a V = V D
    cmatrix av = cmmul_rc(a, v), vd = cmmul(v, d);
    for (bool imag : {false, true})
        EXPECT_LT(maxdiff(cpart(av, imag), cpart(vd, imag)), 1e-13);
    // The pair's eigenvector columns are conjugates of each other.
    int pairs = 0;
    for (int i = 0; i + 1 < 3; i++)
        if (celem(d, i, i).im > 0) {
            pairs++;
            for (int k = 0; k < 3; k++) {
                EXPECT_EQ(celem(v, k, i + 1).re, celem(v, k, i).re);
                EXPECT_EQ(celem(v, k, i + 1).im, -celem(v, k, i).im);
            }
        }
    EXPECT_EQ(pairs, 1);
    EXPECT_EQ(celem(d, 0, 1).re, 0);
    EXPECT_EQ(celem(d, 0, 1).im, 0);
}
