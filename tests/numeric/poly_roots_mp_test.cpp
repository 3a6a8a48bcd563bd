// Roots of real polynomials in extended precision: cases whose roots are
// known exactly, including one that double precision cannot resolve, and
// the refusals.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <vector>

#include "numeric/poly_roots_mp.h"

namespace {

// The builder of the polynomial with integer coefficients c[0..n].
mp_poly_builder integers(std::vector<long> c)
{
    return [c](mp_array &a) {
        for (std::size_t k = 0; k < c.size(); k++)
            mpfr_set_si(a[k], c[k], MPFR_RNDN);
    };
}

}  // namespace

TEST(PolyRootsMp, RootsKnownExactly)
{
    // (x - 1)(x - 2)...(x - 20): rounding its coefficients to double alone
    // moves a root by 6e-4, and the companion matrix in double (numpy.roots)
    // misses one by 0.09 (both measured with mpmath). Built exactly in
    // MPFR, the roots come out as the integers.
    // Some of its coefficients exceed 2^63: the product is formed in MPFR
    // (exact at 128 bits and more).
    const mp_poly_builder wilkinson = [](mp_array &a) {
        mpfr_set_ui(a[0], 1, MPFR_RNDN);
        for (int r = 1; r <= 20; r++) {
            mpfr_set(a[r], a[r - 1], MPFR_RNDN);
            for (int k = r - 1; k >= 1; k--) {
                mpfr_mul_si(a[k], a[k], -r, MPFR_RNDN);
                mpfr_add(a[k], a[k], a[k - 1], MPFR_RNDN);
            }
            mpfr_mul_si(a[0], a[0], -r, MPFR_RNDN);
        }
    };
    std::vector<complex> roots;
    ASSERT_TRUE(poly_roots_mp(20, wilkinson, false, &roots));
    ASSERT_EQ(roots.size(), 20u);
    std::vector<bool> seen(21, false);
    for (const complex &z : roots) {
        EXPECT_EQ(z.im, 0.0);
        const double r = std::nearbyint(z.re);
        EXPECT_EQ(z.re, r);
        ASSERT_GE(r, 1.0);
        ASSERT_LE(r, 20.0);
        EXPECT_FALSE(seen[(int)r]) << r;
        seen[(int)r] = true;
    }

    // x^2 + 1: the pair +-j, one the exact conjugate of the other.
    ASSERT_TRUE(poly_roots_mp(2, integers({1, 0, 1}), false, &roots));
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots[0].re, 0.0);
    EXPECT_EQ(std::fabs(roots[0].im), 1.0);
    EXPECT_EQ(roots[1].re, roots[0].re);
    EXPECT_EQ(roots[1].im, -roots[0].im);
}

// Taken as squares u = s^2, each root gives its square root with real part
// <= 0: u = 4 gives -2, u = -9 gives 3j (real part exactly 0), and the
// pair 3 +- 4j gives -2 -+ j.
TEST(PolyRootsMp, SquareRootsOfTheRoots)
{
    std::vector<complex> s;
    ASSERT_TRUE(poly_roots_mp(2, integers({-36, 5, 1}), true, &s));  // (u - 4)(u + 9)
    ASSERT_EQ(s.size(), 2u);
    bool real = false, imaginary = false;
    for (const complex &z : s) {
        real = real || (z.re == -2.0 && z.im == 0.0);
        imaginary = imaginary || (z.re == 0.0 && z.im == 3.0);
    }
    EXPECT_TRUE(real && imaginary) << s[0].re << " " << s[0].im << ", " << s[1].re << " " << s[1].im;

    ASSERT_TRUE(poly_roots_mp(2, integers({25, -6, 1}), true, &s));  // (u - 3 - 4j)(u - 3 + 4j)
    ASSERT_EQ(s.size(), 2u);
    for (const complex &z : s) {
        EXPECT_EQ(z.re, -2.0);
        EXPECT_EQ(std::fabs(z.im), 1.0);
    }
    EXPECT_EQ(s[0].im, -s[1].im);
}

// A double root is never resolved into two disjoint disks, a zero leading
// coefficient leaves fewer roots than the degree, and a coefficient that is
// not a number leaves none: each is refused (and the double root within the
// bound on the work, not after minutes).
TEST(PolyRootsMp, Refusals)
{
    std::vector<complex> roots{{1.0, 1.0}};
    EXPECT_FALSE(poly_roots_mp(2, integers({1, -2, 1}), false, &roots));
    EXPECT_TRUE(roots.empty());
    // The same double root among 198 simple ones, (x - 1)^2 (x^198 - 2):
    // refused once the disks shrink by half the bits added (within a
    // second; the bound on the work alone took a minute).
    EXPECT_FALSE(poly_roots_mp(200,
                               [](mp_array &a) {
                                   for (int k = 0; k <= 200; k++)
                                       mpfr_set_zero(a[k], 1);
                                   mpfr_set_si(a[0], -2, MPFR_RNDN);
                                   mpfr_set_si(a[1], 4, MPFR_RNDN);
                                   mpfr_set_si(a[2], -2, MPFR_RNDN);
                                   mpfr_set_si(a[198], 1, MPFR_RNDN);
                                   mpfr_set_si(a[199], -2, MPFR_RNDN);
                                   mpfr_set_si(a[200], 1, MPFR_RNDN);
                               },
                               false, &roots));
    EXPECT_FALSE(poly_roots_mp(3, integers({1, -2, 1, 0}), false, &roots));
    EXPECT_FALSE(poly_roots_mp(2,
                               [](mp_array &a) {
                                   mpfr_set_ui(a[0], 1, MPFR_RNDN);
                                   mpfr_set_nan(a[1]);
                                   mpfr_set_ui(a[2], 1, MPFR_RNDN);
                               },
                               false, &roots));
}
