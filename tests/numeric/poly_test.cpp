// Polynomials and root lists against coefficient tables and closed forms.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "helpers.h"
#include "base/globals.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

poly P(std::vector<double> c)
{
    return polycopy(c.data(), static_cast<int>(c.size()) - 1);
}

std::vector<double> coefs(const poly &p)
{
    const double *c = p.coef;
    return std::vector<double>(c, c + p.degree + 1);
}

}  // namespace

TEST(Poly, FromRoots)
{
    struct Case {
        std::vector<complex> roots;
        std::vector<double> coef;
    } cases[] = {
        {{{-1, 0}, {-1, 1}}, {2, 4, 3, 1}},  // (s + 1)(s^2 + 2s + 2)
        {{}, {1}},
        {{{0, 1}}, {1, 0, 1}},
        {{{2, 0}, {3, 0}}, {6, -5, 1}},
        {{{0.5, -2}, {0, 0}}, {0, 4.25, -1, 1}},  // the sign of the imaginary part does not matter
    };
    for (auto &c : cases) {
        poly p = poly_from_roots(c.roots.data(), static_cast<int>(c.roots.size()));
        EXPECT_EQ(coefs(p), c.coef);
        freepoly(&p);
    }
}

TEST(Poly, Roots)
{
    double unit[] = {1, 0, 1};
    rootlist r = poly_root(unit, 2);
    ASSERT_EQ(r.n, 2);
    EXPECT_NEAR(r.roots[0].re, 0, 1e-15);
    EXPECT_NEAR(r.roots[0].im, 1, 1e-15);  // LAPACK's order: +i first
    EXPECT_NEAR(r.roots[1].im, -1, 1e-15);

    // T5 has the roots cos((2k - 1) pi / 10).
    poly t5 = ChebyshevPoly(5);
    rootlist rt = poly_root(t5.coef, 5);
    std::vector<double> got, want;
    for (int k = 0; k < 5; k++) {
        EXPECT_NEAR(rt.roots[k].im, 0, 1e-14);
        got.push_back(rt.roots[k].re);
        want.push_back(std::cos((2 * k + 1) * M_PI / 10));
    }
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    for (int k = 0; k < 5; k++)
        EXPECT_NEAR(got[k], want[k], 1e-14);

    // Not monic: 2s^2 - 8 has the roots +-2; and back to the monic polynomial.
    double c2[] = {-8, 0, 2};
    rootlist r2 = poly_root(c2, 2);
    EXPECT_NEAR(std::fabs(r2.roots[0].re), 2, 1e-15);
    EXPECT_NEAR(r2.roots[0].re + r2.roots[1].re, 0, 1e-15);
    double c3[] = {2, 4, 3, 1};
    rootlist r3 = poly_root(c3, 3);
    // One entry per conjugate pair for poly_from_roots: drop the -i one.
    std::vector<complex> half;
    for (int k = 0; k < 3; k++)
        if (r3.roots[k].im >= 0)
            half.push_back(r3.roots[k]);
    ASSERT_EQ(half.size(), 2u);
    poly back = poly_from_roots(half.data(), 2);
    for (int k = 0; k <= 3; k++)
        EXPECT_NEAR(back.coef[k], c3[k], 1e-14);

    double lead0[] = {1, 2, 0};
    EXPECT_EXIT(poly_root(lead0, 2), ExitedWithCode(1), HasSubstr("poly_root: leading coefficient zero.\n"));
    double konst[] = {3};
    EXPECT_EXIT(poly_root(konst, 0), ExitedWithCode(1), HasSubstr("evc, matrix dimensions improper.\n"));
}

TEST(Poly, ArithmeticAndEmptyOperands)
{
    poly p = P({1, 1}), q = P({3, 3, 1});
    EXPECT_EQ(coefs(poly_mul(p, q)), (std::vector<double>{3, 6, 4, 1}));
    EXPECT_EQ(coefs(poly_lincomb(2, p, -1, q)), (std::vector<double>{-1, -1, -1}));
    EXPECT_EQ(coefs(poly_mirror_product(p)), (std::vector<double>{1, 0, -1}));
    EXPECT_EQ(coefs(poly_mirror_product(q)), (std::vector<double>{9, 0, -3, 0, 1}));
    EXPECT_EQ(coefs(poly_deriv(q)), (std::vector<double>{3, 2}));
    EXPECT_DOUBLE_EQ(poly_eval(q.coef, q.degree, -2.5), 6.25 - 7.5 + 3);

    poly empty = newpoly(-1), konst = P({4});
    EXPECT_EQ(poly_mul(empty, q).degree, -1);
    EXPECT_EQ(poly_mul(q, empty).degree, -1);
    EXPECT_EQ(poly_deriv(konst).degree, -1);
    EXPECT_EQ(poly_deriv(empty).degree, -1);
    EXPECT_EQ(poly_mirror_product(empty).degree, -1);
    EXPECT_EQ(coefs(poly_lincomb(1, empty, 2, p)), (std::vector<double>{2, 2}));
    EXPECT_EQ(poly_eval(nullptr, -1, 3.0), 0);

    // Into existing arrays: the degree rises within the room the array has.
    poly r = newpoly(4);
    poly_set(p.coef, p.degree, &r);
    EXPECT_EQ(r.degree, 1);
    poly_axpy(&r, 2, q);
    EXPECT_EQ(coefs(r), (std::vector<double>{7, 7, 2}));
    poly_mul_into(r, p, &r);  // r may be an operand
    EXPECT_EQ(coefs(r), (std::vector<double>{7, 14, 9, 2}));
    poly_set(q.coef, 2, &r);
    EXPECT_EQ(coefs(r), (std::vector<double>{3, 3, 1}));

    // Stale coefficients above the degree do not leak into a sum.
    poly s = P({1, 2, 5});
    poly_trim(&s);
    s.degree = 0;
    poly_axpy(&s, 1, P({0, 0, 1}));
    EXPECT_EQ(coefs(s), (std::vector<double>{1, 0, 1}));

    poly small = newpoly(1);
    EXPECT_EXIT(poly_set(q.coef, 2, &small), ExitedWithCode(1), HasSubstr("poly_set: no room"));
    EXPECT_EXIT(poly_axpy(&small, 1, q), ExitedWithCode(1), HasSubstr("poly_axpy: no room"));
    EXPECT_EXIT(poly_mul_into(p, p, &small), ExitedWithCode(1), HasSubstr("poly_mul_into: no room"));
}

TEST(Poly, TrimFreeAndDivide)
{
    poly z = newpoly(2);
    poly_trim(&z);
    EXPECT_EQ(z.degree, -1);
    poly t = P({1, 2, 0});
    poly_trim(&t);
    EXPECT_EQ(t.degree, 1);

    poly e = newpoly(-1);
    freepoly(&e);  // freeing the empty polynomial is harmless
    freepoly(&e);
    EXPECT_EQ(e.degree, -1);
    poly a = P({1, 2});
    poly b = a;
    freepoly(&a);
    EXPECT_EQ(b.coef[1], 2);

    struct Case {
        poly p, q;
        std::vector<double> quot, rem;
    } cases[] = {
        {P({-1, 0, 0, 1}), P({-1, 1}), {1, 1, 1}, {}},
        {P({1, 0, 1}), P({1, 1}), {-1, 1}, {2}},
        {P({1, 2}), P({1, 0, 1}), {0}, {1, 2}},
        {P({6, 5, 1, 0}), P({2, 1}), {3, 1}, {}},  // a zero leading coefficient is trimmed
    };
    for (auto &c : cases) {
        poly rem;
        poly quot = poly_div(c.p, c.q, &rem);
        EXPECT_EQ(coefs(quot), c.quot);
        EXPECT_EQ(coefs(rem), c.rem);
    }
    EXPECT_EXIT(poly_div(P({1}), newpoly(1), &e), ExitedWithCode(1), HasSubstr("poly_div"));
}

TEST(Poly, BesselAndChebyshevTables)
{
    const std::vector<std::vector<double>> bessel = {
        {1}, {1, 1}, {3, 3, 1}, {15, 15, 6, 1}, {105, 105, 45, 10, 1}, {945, 945, 420, 105, 15, 1},
        {10395, 10395, 4725, 1260, 210, 21, 1}};
    for (int n = 0; n < static_cast<int>(bessel.size()); n++)
        EXPECT_EQ(coefs(BesselPoly(n)), bessel[n]) << n;
    const std::vector<std::vector<double>> cheb = {
        {1}, {0, 1}, {-1, 0, 2}, {0, -3, 0, 4}, {1, 0, -8, 0, 8}, {0, 5, 0, -20, 0, 16},
        {-1, 0, 18, 0, -48, 0, 32}};
    for (int n = 0; n < static_cast<int>(cheb.size()); n++)
        EXPECT_EQ(coefs(ChebyshevPoly(n)), cheb[n]) << n;
    EXPECT_EXIT(BesselPoly(-1), ExitedWithCode(1), HasSubstr("BesselPoly: order should be nonnegative.\n"));
    EXPECT_EXIT(ChebyshevPoly(-1), ExitedWithCode(1), HasSubstr("ChebyshevPoly: order should be nonnegative.\n"));
}

TEST(Poly, CauerExtraction)
{
    struct Case {
        std::vector<double> coef;
        std::vector<double> r;
    } cases[] = {
        {{1, 2, 1}, {0.5, 2}},
        // (s^3 + 2s) / (2s^2 + 1) = s/2 + 1 / (4s/3 + 1 / (3s/2))
        {{1, 2, 2, 1}, {0.5, 4.0 / 3, 1.5}},
        {{1, 2}, {2}},
    };
    for (auto &c : cases) {
        int n = static_cast<int>(c.coef.size()) - 1;
        vector r = cauer_extract(c.coef.data(), n);
        ASSERT_EQ(r.n, n);
        for (int i = 0; i < n; i++)
            EXPECT_NEAR(r.data[i], c.r[i], 1e-15);
    }
    double one[] = {1};
    EXPECT_EXIT(cauer_extract(one, 0), ExitedWithCode(1), HasSubstr("vector dimension not positive.\n"));
    // s^2 + 1 has no odd part; s^4 + s^3 + 1: the even part drops two orders.
    double no_odd[] = {1, 0, 1}, gap[] = {1, 0, 0, 1, 1};
    // The message carries its own point, and the fatal report adds one.
    const char *msg = "Cannot extract Cauer network:\ndifference of polynomial orders is not one..\n";
    EXPECT_EXIT(cauer_extract(no_odd, 2), ExitedWithCode(1), HasSubstr(msg));
    EXPECT_EXIT(cauer_extract(gap, 4), ExitedWithCode(1), HasSubstr(msg));
}

TEST(Poly, CauerTraceAndPrintFormat)
{
    EXPECT_EQ(printed([](FILE *fp) {
                  double c[] = {1, 2};
                  print_poly(c, 1, fp);
              }),
              "              2 * s^1 +\n              1 * s^0\n");

    char *buf = nullptr;
    size_t len = 0;
    FILE *fp = open_memstream(&buf, &len);
    FILE *old = ist.out_fp;
    ist.out_fp = fp;
    nst.debug_level = 1;
    double c[] = {1, 2};
    vector r = cauer_extract(c, 1);
    nst.debug_level = 0;
    ist.out_fp = old;
    fclose(fp);
    std::string text(buf, len);
    free(buf);
    EXPECT_EQ(r.data[0], 2);
    const char *two1 = "              2 * s^1 +\n", *one0 = "              1 * s^0\n",
               *zero1 = "              0 * s^1 +\n", *zero0 = "              0 * s^0\n";
    EXPECT_EQ(text, std::string("Polynomial:\n") + two1 + one0 + "even part:\n" + one0 + "odd part:\n" + two1 +
                        zero0 + "big:\n" + two1 + zero0 + "small:\n" + one0 + "diff:\n" + zero1 + zero0 +
                        "r = 2\n");
}

TEST(RootList, CopyPrintFree)
{
    rootlist r = new_rootlist(2);
    EXPECT_EQ(r.roots[1].im, 0);
    r.roots[0] = cmake(-1, 2);
    r.roots[1] = cmake(0.5, 0);
    rootlist c = copy_rootlist(r.roots, r.n);
    r.roots[0].re = 7;
    EXPECT_EQ(c.roots[0].re, -1);
    EXPECT_EQ(printed([&](FILE *fp) { print_roots(fp, c.roots, c.n); }),
              "  -1.000000e+00    2.000000e+00\n   5.000000e-01    0.000000e+00\n");
    free_rootlist(&r);
    EXPECT_EQ(r.n, 0);
    EXPECT_EQ(r.roots, nullptr);
}
