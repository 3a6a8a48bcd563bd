// Complex scalars and complex matrices, against std::complex (the C
// library's csqrt, cexp, ...) and closed forms.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "helpers.h"

using testing::Eq;
using testing::ExitedWithCode;
using testing::HasSubstr;
using cx = std::complex<double>;

namespace {

cx std_of(complex z)
{
    return cx(z.re, z.im);
}

void expect_close(complex got, cx want, double tol)
{
    EXPECT_NEAR(got.re, want.real(), tol * (1 + std::abs(want))) << want;
    EXPECT_NEAR(got.im, want.imag(), tol * (1 + std::abs(want))) << want;
}

}  // namespace

TEST(ComplexScalar, ArithmeticAgreesWithStdComplex)
{
    const complex zs[] = {{1, 2}, {-3, 0.5}, {0, -1}, {2.5, -4}};
    for (complex x : zs)
        for (complex y : zs) {
            expect_close(cadd(x, y), std_of(x) + std_of(y), 1e-15);
            expect_close(cmul(x, y), std_of(x) * std_of(y), 1e-15);
            expect_close(crdiv(x, y), std_of(x) / std_of(y), 1e-15);
            expect_close(rcdiv(1.5, y), 1.5 / std_of(y), 1e-15);
            expect_close(crlincomb(2, x, -3, y), 2.0 * std_of(x) - 3.0 * std_of(y), 1e-15);
            expect_close(cexp_t(x, 0.7), std::exp(std_of(x) * 0.7), 1e-14);
        }
    complex z = cmake(3, -4);
    EXPECT_EQ(cmod2(z), 25);
    EXPECT_EQ(cmod(z), 5);
    EXPECT_NEAR(cdb(cmake(1, 1)), 3.010299956639812, 1e-14);
    EXPECT_EQ(cconj_val(z).im, 4);
    expect_close(cscale(z, 2), cx(6, -8), 0);
    expect_close(cdivr(z, 2), cx(1.5, -2), 0);
    complex w;
    cset(&w, 7, 8);
    EXPECT_EQ(w.re, 7);
    EXPECT_EQ(w.im, 8);
    complex inf = cdivr(z, 0.0);  // no test, no message
    EXPECT_TRUE(std::isinf(inf.re));
}

TEST(ComplexScalar, DivisionByZeroEndsTheProgram)
{
    EXPECT_EXIT(crdiv(cmake(1, 1), cmake(0, 0)), ExitedWithCode(1), Eq("crdiv: trying to divide by 0\n"));
    EXPECT_EXIT(rcdiv(1, cmake(0, 0)), ExitedWithCode(1), Eq("rcdiv: trying to divide by 0\n"));
}

TEST(ComplexScalar, SquareRootsToFullAccuracy)
{
    // The root with imaginary part >= 0: the C library's csqrt, or its
    // negative where csqrt's imaginary part is negative.
    const complex zs[] = {{-4, 0},     {4, 0},       {0, -2},       {0, 2},         {3, -4},
                          {-3, 4},     {-3, -4},     {1, 1e-20},    {1, -1e-20},    {-1, 1e-20},
                          {1e-300, 3e-300}, {1e300, 1e300}, {2, 1e-9}, {1e10, -1}, {-1e-5, 1}};
    for (complex z : zs) {
        cx ref = std::sqrt(std_of(z));
        if (ref.imag() < 0)
            ref = -ref;
        complex r = c_sqroot(z);
        EXPECT_DOUBLE_EQ(r.re, ref.real()) << z.re << " " << z.im;
        EXPECT_DOUBLE_EQ(r.im, ref.imag()) << z.re << " " << z.im;
        EXPECT_GE(r.im, 0);
        // csqrt_wrap: the root in the closed left half plane
        complex w = csqrt_wrap(z);
        EXPECT_LE(w.re, 0);
        EXPECT_DOUBLE_EQ(std::abs(w.re), std::abs(ref.real()));
        EXPECT_DOUBLE_EQ(std::abs(w.im), std::abs(ref.imag()));
    }
    complex a = c_sqroot(cmake(0, -2));
    EXPECT_DOUBLE_EQ(a.re, -1);
    EXPECT_DOUBLE_EQ(a.im, 1);
    complex b = csqrt_wrap(cmake(-4, 0));
    EXPECT_EQ(b.re, 0);
    EXPECT_EQ(b.im, 2);
    complex c = csqrt_wrap(cmake(4, 0));
    EXPECT_EQ(c.re, -2);
    EXPECT_EQ(c.im, 0);
}

namespace {

cmatrix cm(int r, int c, std::initializer_list<cx> v)
{
    cmatrix m = cnewm(r, c);
    int k = 0;
    for (cx z : v) {
        cmatrix_set(m, k / c, k % c, z.real(), z.imag());
        k++;
    }
    return m;
}

double cmaxdiff(const cmatrix &a, const cmatrix &b)
{
    double d = 0;
    for (int k = 0; k < a.rows * a.cols; k++)
        d = std::max(d, std::abs(std_of(a.data[k]) - std_of(b.data[k])));
    return d;
}

}  // namespace

TEST(ComplexMatrix, ConstructionOwnershipAndBounds)
{
    cmatrix z = cnewm(0, 0);
    EXPECT_NE(z.data, nullptr);  // a zero-length allocation all the same
    cmatrix a = cnewm(2, 2);
    cmatrix b = a;
    cmatrix_cset(b, 1, 0, cmake(1, -1));
    EXPECT_EQ(celem(a, 1, 0).im, -1);
    EXPECT_EQ(cmindex(a, 1, 0), 1);
    cfreem(&b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(celem(a, 1, 0).re, 1);
    cfreem(&a);
    cfreem(&a);

    cmatrix m = cnewm(2, 3);
    EXPECT_EXIT(cnewm(-1, 2), ExitedWithCode(1), Eq("cnewm: illegal matrix definition: -1 2.\n"));
    EXPECT_EXIT(celem(m, 2, 0), ExitedWithCode(1), HasSubstr("celem: illegal indices.\n"));
    EXPECT_EXIT(cmindex(m, 0, 3), ExitedWithCode(1), HasSubstr("cmindex: illegal indices.\n"));
    EXPECT_EXIT(cmatrix_set(m, -1, 0, 1, 1), ExitedWithCode(1), HasSubstr("cmatrix_set: illegal indices.\n"));
    EXPECT_EXIT(cmatrix_cset(m, 0, 3, cmake(1, 1)), ExitedWithCode(1),
                HasSubstr("cmatrix_cset: illegal indices.\n"));
    EXPECT_EXIT(cm_compl(newm(2, 2), newm(2, 3)), ExitedWithCode(1),
                Eq("compl: matrix dimensions do not agree.\n"));
    EXPECT_EXIT(ctr(m), ExitedWithCode(1), Eq("ctr error: matrix dimensions not appropriate\n"));
    EXPECT_EXIT(cmadd(1, m, 1, cnewm(3, 2)), ExitedWithCode(1),
                HasSubstr("cmadd: matrix dimensions not appropriate.\n"));
    EXPECT_EXIT(cmmul(m, m), ExitedWithCode(1), HasSubstr("mmul: illegal matrix dimensions.\n"));
}

TEST(ComplexMatrix, ProductsAndConversions)
{
    cmatrix a = cm(1, 2, {{1, 2}, {0, -1}});
    cmatrix b = cm(2, 1, {{3, 0}, {2, 2}});
    cmatrix p = cmmul(a, b);
    ASSERT_EQ(p.rows, 1);
    ASSERT_EQ(p.cols, 1);
    // (1+2i)3 + (-i)(2+2i) = 3 + 6i + 2 - 2i
    EXPECT_LT(cmaxdiff(p, cm(1, 1, {{5, 4}})), 1e-15);

    matrix r = rowwise(2, 2, {1, 2, 3, 4});
    cmatrix c = cm(2, 2, {{1, 1}, {0, 2}, {-1, 0}, {3, -1}});
    cmatrix cr = cmmul_cr(c, r), rc = cmmul_rc(r, c);
    cmatrix rr = c_of_real(r);
    EXPECT_LT(cmaxdiff(cr, cmmul(c, rr)), 1e-15);
    EXPECT_LT(cmaxdiff(rc, cmmul(rr, c)), 1e-15);
    EXPECT_LT(cmaxdiff(cr, cm(2, 2, {{1, 7}, {2, 10}, {8, -3}, {10, -4}})), 1e-15);

    cmatrix joined = cm_compl(cm_real(c), cm_imag(c));
    EXPECT_EQ(cmaxdiff(joined, c), 0);
    cmatrix adj = cadjoint(c);
    EXPECT_EQ(cmaxdiff(adj, cm(2, 2, {{1, -1}, {-1, 0}, {0, -2}, {3, 1}})), 0);
    EXPECT_EQ(cmaxdiff(ctranspose(c), cm(2, 2, {{1, 1}, {-1, 0}, {0, 2}, {3, -1}})), 0);
    EXPECT_LT(cmaxdiff(cscalem(cmake(0, 1), c), cm(2, 2, {{-1, 1}, {-2, 0}, {0, -1}, {1, 3}})), 1e-15);
    EXPECT_LT(cmaxdiff(cmadd(2, c, -1, rr), cm(2, 2, {{1, 2}, {-2, 4}, {-5, 0}, {2, -2}})), 1e-15);
    EXPECT_DOUBLE_EQ(cnorm(c), std::sqrt(2.0 + 4 + 1 + 10));
    complex t = ctr(c);
    EXPECT_EQ(t.re, 4);
    EXPECT_EQ(t.im, 0);

    cmatrix big = cnewm(3, 3);
    ccopy_into(c, big);
    EXPECT_EQ(celem(big, 1, 1).re, 3);
    EXPECT_EQ(celem(big, 2, 2).re, 0);
    cmatrix cp = ccopy(c);
    cp.data[0].re = 42;
    EXPECT_EQ(c.data[0].re, 1);
}

TEST(ComplexMatrix, InverseAndEigenvalues)
{
    cmatrix a = cm(2, 2, {{1, 0}, {0, 1}, {0, 0}, {2, 0}});
    cmatrix inv = cinv(a);
    EXPECT_LT(cmaxdiff(inv, cm(2, 2, {{1, 0}, {0, -0.5}, {0, 0}, {0.5, 0}})), 1e-15);
    cmatrix g = cm(3, 3, {{2, 1}, {0, -1}, {1, 0}, {1, 1}, {3, 0}, {0, 2}, {-1, 0}, {1, -1}, {4, 1}});
    cmatrix prod = cmmul(g, cinv(g));
    EXPECT_LT(cmaxdiff(prod, c_of_real(mid(3, 3))), 1e-14);

    // Triangular: the eigenvalues are the diagonal.
    cmatrix t = cm(2, 2, {{1, 1}, {2, 0}, {0, 0}, {3, -2}});
    cmatrix w = evcm(t);
    ASSERT_EQ(w.rows, 2);
    ASSERT_EQ(w.cols, 1);
    cx w0 = std_of(w.data[0]), w1 = std_of(w.data[1]);
    if (w0.real() > w1.real())
        std::swap(w0, w1);
    EXPECT_LT(std::abs(w0 - cx(1, 1)), 1e-14);
    EXPECT_LT(std::abs(w1 - cx(3, -2)), 1e-14);

    cmatrix sing = cm(2, 2, {{1, 1}, {2, 2}, {1, 1}, {2, 2}});
    EXPECT_EXIT(cinv(sing), ExitedWithCode(1), HasSubstr("cinvc: error\nError"));
    EXPECT_EXIT(cinv(cnewm(2, 3)), ExitedWithCode(1), HasSubstr("cinvc, matrix dimensions improper.\n"));
}

TEST(ComplexMatrix, PrintFormat)
{
    cmatrix c = cm(2, 1, {{1, -2}, {0.5, 0}});
    EXPECT_EQ(printed([&](FILE *fp) { print_cmatrix(fp, c); }),
              "(2, 1)\n(   1.000000e+00,  -2.000000e+00 )\n\n(   5.000000e-01,   0.000000e+00 )\n\n\n");
}
