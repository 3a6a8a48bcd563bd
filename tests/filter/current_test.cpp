// Analysis data of the current filter: the Faddeev-LeVerrier polynomials,
// the trimmed numerator and the rules of installing.
#include <gtest/gtest.h>

#include <cmath>

#include "filter/current.h"
#include "filter/gramian.h"
#include "fixture.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

namespace {

TEST(AnalysisData, CompanionPolynomials)
{
    ss s = fx::make_ss(2, {0, 1, -2, -3}, {0, 1}, {1, 0});
    fx::use(s);
    EXPECT_DOUBLE_EQ(fst.ana.ana_coef[1], -3);
    EXPECT_DOUBLE_EQ(fst.ana.ana_coef[2], -2);
    ASSERT_EQ(fst.ana.ana_den.degree, 2);
    EXPECT_EQ(fst.ana.ana_den.coef[2], 1);
    EXPECT_EQ(fst.ana.ana_den.coef[1], 3);
    EXPECT_EQ(fst.ana.ana_den.coef[0], 2);
    // N_1 = A + 3 I
    const matrix &N1 = fst.ana.nmat[1];
    EXPECT_EQ(N1.data[0], 3);
    EXPECT_EQ(N1.data[2], 1);
    EXPECT_EQ(N1.data[1], -2);
    EXPECT_EQ(N1.data[3], 0);
    ASSERT_EQ(fst.ana.ana_num.degree, 0);  // H = 1/(s^2 + 3s + 2)
    EXPECT_EQ(fst.ana.ana_num.coef[0], 1);
    free_ss(&s);
}

// The numerator keeps its degree n with D != 0; a similarity transform that
// leaves rounding noise in the leading coefficients still trims them.
TEST(AnalysisData, NumeratorTrimming)
{
    ss s = fx::make_ss(3, {0, 1, 0, 0, 0, 1, -6, -11, -6}, {0, 0, 1}, {2, 0, 0});
    fx::use(s);
    EXPECT_EQ(fst.ana.ana_num.degree, 0);
    ss sd = copy_ss(s);
    sd.D = 0.5;
    fx::use(sd);
    ASSERT_EQ(fst.ana.ana_num.degree, 3);
    EXPECT_EQ(fst.ana.ana_num.coef[3], 0.5);
    matrix T = fx::make_ss(3, {1, 0.3, -0.7, 0.2, 2, 0.1, -0.4, 0.9, 1.5}, {0, 0, 0}, {0, 0, 0}).A;
    ss t = transform_ss(T, s);
    fx::use(t);
    EXPECT_EQ(fst.ana.ana_num.degree, 0);
    EXPECT_NEAR(fst.ana.ana_num.coef[0], 2, 1e-12);
    // a zero C gives the empty numerator, released without trouble
    ss z = copy_ss(s);
    z.C.data[0] = 0;
    fx::use(z);
    EXPECT_EQ(fst.ana.ana_num.degree, -1);
    analysis_free(fst.ana);
    freem(&T);
    free_ss(&s);
    free_ss(&sd);
    free_ss(&t);
    free_ss(&z);
}

// Installing drops the cached Gramians and zeroes the capacitor values; an
// order-0 record changes nothing.
TEST(AnalysisData, InstallRules)
{
    ss s = fx::make_ss(1, {-2}, {1}, {3});
    fx::use(s);
    fst.cur_filter.cap[0] = 1e-12;
    ensure_k(fst);
    ensure_w(fst);
    ASSERT_EQ(fst.cur_K.cols, 1);
    EXPECT_NEAR(fst.cur_W.data[0], 2.25, 1e-15);
    install_filter(ss());
    EXPECT_EQ(fst.cur_filter.n, 1);
    EXPECT_EQ(fst.cur_K.cols, 1);
    EXPECT_EQ(fst.cur_filter.cap[0], 1e-12);
    fx::use(s);
    EXPECT_EQ(fst.cur_K.cols, 0);
    EXPECT_EQ(fst.cur_W.cols, 0);
    EXPECT_EQ(fst.cur_filter.cap[0], 0.0);
    free_ss(&s);
}

TEST(StateSpaceRecord, ScaleCopyTransformFree)
{
    ss s = fx::make_ss(2, {1, 2, 3, 4}, {5, 6}, {7, 8}, 0.5);
    ss shared = s;  // shares the matrices
    vector t = newvector(2);
    t.data[0] = 2;
    t.data[1] = 1;
    scale_ss(t, s);
    EXPECT_EQ(fx::a(shared, 0, 1), 1);  // halved
    EXPECT_EQ(fx::a(shared, 1, 0), 6);  // doubled
    EXPECT_EQ(shared.B.data[0], 2.5);
    EXPECT_EQ(shared.C.data[0], 14);
    freevector(&t);

    matrix I = mid(2, 2);
    ss u = transform_ss(I, s);
    EXPECT_NE(u.A.data, s.A.data);
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(u.A.data[k], s.A.data[k]);
    EXPECT_EQ(u.D, 0.5);
    freem(&I);

    ss c = copy_ss(ss());
    EXPECT_EQ(c.n, 0);
    EXPECT_EQ(c.A.data, nullptr);
    free_ss(&u);
    free_ss(&u);  // harmless
    EXPECT_EQ(u.n, 0);
    free_ss(&s);
}

TEST(StateSpaceRecord, PrintedForm)
{
    ss s = fx::make_ss(1, {-1}, {2}, {3}, 0.25);
    char buf[512] = {0};
    FILE *fp = fmemopen(buf, sizeof buf - 1, "w");
    print_ss(fp, s, 8);
    fclose(fp);
    EXPECT_STREQ(buf,
                 "A =\n(1, 1)\n  -1.000000e+00\n\n"
                 "B =\n(1, 1)\n   2.000000e+00\n\n"
                 "C =\n(1, 1)\n   3.000000e+00\n\n"
                 "D = 2.500000e-01\n\n");
    free_ss(&s);
}

}  // namespace

namespace {

// Above nmat_eager_order the adjugate data wait until read. For the
// Butterworth cascade of order 40 (fixture) they then give the Butterworth
// polynomial, whose coefficients have the closed form
// a_k = prod_{m=1..k} cos((m-1) g) / sin(m g), g = pi / (2n).
TEST(AnalysisData, PreparedOnDemandAboveTheEagerOrder)
{
    const int n = 40;
    static_assert(n > nmat_eager_order);
    ss s = fx::butterworth_cascade(n);
    fx::use(s);
    EXPECT_EQ(fst.ana.nmat_pending, 1);
    EXPECT_TRUE(fst.ana.nmat.empty());
    EXPECT_EQ(fst.ana.ana_den.degree, -1);
    nmat_ready(fst.ana);
    EXPECT_EQ(fst.ana.nmat_pending, 0);
    ASSERT_EQ(fst.ana.ana_den.degree, n);
    ASSERT_EQ((int)fst.ana.nmat.size(), n);
    double g = M_PI / (2.0 * n), a = 1.0;
    for (int k = 0; k <= n; k++) {
        if (k > 0)
            a *= std::cos((k - 1) * g) / std::sin(k * g);
        EXPECT_NEAR(fst.ana.ana_den.coef[k], a, 1e-7 * a) << "s^" << k;
    }
    // DC gain 1: H(0) = num(0) / den(0)
    EXPECT_NEAR(fst.ana.ana_num.coef[0] / fst.ana.ana_den.coef[0], 1.0, 1e-7);
    // a new preparation starts pending again; an order at the limit is eager
    fx::use(s);
    EXPECT_EQ(fst.ana.nmat_pending, 1);
    free_ss(&s);
    ss e = fx::butterworth_cascade(nmat_eager_order);
    fx::use(e);
    EXPECT_EQ(fst.ana.nmat_pending, 0);
    EXPECT_EQ(fst.ana.ana_den.degree, nmat_eager_order);
    free_ss(&e);
}

}  // namespace
