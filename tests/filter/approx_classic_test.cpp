// The classical approximations against closed forms: poles, transfer
// functions and |H(jw)|^2 at sample frequencies. Reference values are
// computed here from textbook formulas, or with GSL for the elliptic
// functions and eigenvalues; they never come from the routines under test.
#include <gtest/gtest.h>
#include <gsl/gsl_sf_ellint.h>
#include <gsl/gsl_sf_elljac.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "approx_eval.h"
#include "filter/approx.h"
#include "numeric/poly.h"

using namespace approx_test;

namespace {

const double samples[] = {0.0, 0.1, 0.35, 0.7, 0.95, 1.0, 1.2, 1.8, 3.0, 6.0};

// Largest relative deviation of |H(jw)|^2 from ref(w) over the samples.
template <class F>
double worst_mag2(const ss &f, F ref)
{
    double worst = 0.0;
    for (double w : samples) {
        const double want = ref(w);
        worst = std::max(worst, std::fabs(mag2(f, w) - want) / std::max(want, 1e-300));
    }
    return worst;
}

bool all_left(const ss &f)
{
    for (cd p : poles_of(f))
        if (!(p.real() < 0.0))
            return false;
    return true;
}

double factorial(int k) { return std::tgamma(k + 1.0); }

// Coefficient k of the reverse Bessel polynomial of order n:
// (2n - k)! / (2^(n-k) k! (n-k)!).
double bessel_coef(int n, int k) { return factorial(2 * n - k) / (std::pow(2.0, n - k) * factorial(k) * factorial(n - k)); }

}  // namespace

TEST(ApproxClassic, ButterworthPolesAndMagnitude)
{
    for (int n = 1; n <= 9; n++) {
        ss f = butterworth(n);
        ASSERT_EQ(f.n, n);
        std::vector<cd> want;  // exp(j pi (2k + n + 1) / (2n))
        for (int k = 0; k < n; k++)
            want.push_back(std::polar(1.0, M_PI * (2 * k + n + 1) / (2.0 * n)));
        EXPECT_LT(pole_set_distance(poles_of(f), want), 1e-9) << n;
        EXPECT_NEAR(h_jw(f, 0.0).real(), 1.0, 1e-12) << n;
        EXPECT_NEAR(h_jw(f, 0.0).imag(), 0.0, 1e-12) << n;
        EXPECT_NEAR(std::abs(h_jw(f, 1.0)), 1.0 / std::sqrt(2.0), 1e-12) << n;
        EXPECT_LT(worst_mag2(f, [n](double w) { return 1.0 / (1.0 + std::pow(w, 2 * n)); }), 1e-10) << n;
        free_ss(&f);
    }
}

TEST(ApproxClassic, ChebyshevPolesAndMagnitude)
{
    // n = 3, 0.5 dB (textbook table): -0.626456 and -0.313228 +- 1.021927j.
    ss f = chebyshev(3, 0.5);
    EXPECT_LT(pole_set_distance(poles_of(f), {cd(-0.626456, 0), cd(-0.313228, 1.021927), cd(-0.313228, -1.021927)}),
              2e-6);
    free_ss(&f);

    for (double r : {0.1, 0.5, 1.0, 3.0}) {
        const double eps2 = std::pow(10.0, r / 10.0) - 1.0;
        const double a = std::asinh(1.0 / std::sqrt(eps2));
        for (int n = 1; n <= 8; n++) {
            f = chebyshev(n, r);
            ASSERT_EQ(f.n, n);
            std::vector<cd> want;
            for (int k = 0; k < n; k++) {
                const double th = (2 * k + 1) * M_PI / (2.0 * n);
                want.emplace_back(-std::sinh(a / n) * std::sin(th), std::cosh(a / n) * std::cos(th));
            }
            EXPECT_LT(pole_set_distance(poles_of(f), want), 1e-9) << n << " " << r;
            // Unit gain at DC for every n, so even orders peak at +r dB.
            EXPECT_NEAR(h_jw(f, 0.0).real(), 1.0, 1e-12) << n << " " << r;
            const double t0 = cheb_t(n, 0.0);
            EXPECT_LT(worst_mag2(f, [&](double w) {
                          return (1.0 + eps2 * t0 * t0) / (1.0 + eps2 * cheb_t(n, w) * cheb_t(n, w));
                      }),
                      1e-9)
                << n << " " << r;
            free_ss(&f);
        }
    }

    // Without ripple: the maximally flat 1 / (s^3 + 2 s^2 + 2 s + 1).
    f = chebyshev(3, 0.0);
    for (cd s : {cd(0, 0.5), cd(0.3, 2.0)})
        EXPECT_LT(std::abs(eval_h(f, s) - 1.0 / (s * s * s + 2.0 * s * s + 2.0 * s + 1.0)), 1e-12);
    free_ss(&f);
}

TEST(ApproxClassic, BadArgumentsGiveNoFilter)
{
    struct Case {
        const char *what;
        ss (*make)();
        const char *message;
    };
    const Case cases[] = {
        {"chebyshev order 0", [] { return chebyshev(0, 1.0); }, "order must be larger than zero"},
        {"chebyshev negative ripple", [] { return chebyshev(3, -0.5); }, "ripple must be larger than zero"},
        {"butterworth order 0", [] { return butterworth(0); }, "order must be larger than zero"},
        {"cauer order 0", [] { return cauer(0, 1.0, 2.0); }, "order must be larger than zero"},
        {"cauer ripple 0", [] { return cauer(3, 0.0, 2.0); }, "ripple must be larger than zero"},
        {"cauer negative ripple", [] { return cauer(3, -1.0, 2.0); }, "ripple must be larger than zero"},
        {"cauer band limit 1", [] { return cauer(3, 1.0, 1.0); }, "band limit must be larger than one"},
        {"ic order 0", [] { return ic_approx(0, 40.0); }, "order must be larger than zero"},
        {"ic damping 0", [] { return ic_approx(3, 0.0); }, "damping must be positive"},
        // 10^(x/10) overflows, or 10^(x/10) - 1 rounds to 0: the poles would
        // be infinite or undefined, and must reach neither the root finder
        // nor the filter.
        {"chebyshev ripple 4000 dB", [] { return chebyshev(3, 4000.0); }, "no finite poles for these arguments"},
        {"chebyshev ripple 1e-300 dB", [] { return chebyshev(4, 1e-300); }, "no finite poles for these arguments"},
        {"cauer ripple 4000 dB", [] { return cauer(3, 4000.0, 2.0); }, "no finite poles for these arguments"},
        {"cauer ripple 1e-300 dB", [] { return cauer(3, 1e-300, 2.0); }, "no finite poles for these arguments"},
        {"cauer band limit 1e300", [] { return cauer(4, 1.0, 1e300); }, "no finite poles for these arguments"},
        {"ic damping 4000 dB", [] { return ic_approx(3, 4000.0); }, "no finite poles for these arguments"},
        {"ic damping 1e-300 dB", [] { return ic_approx(3, 1e-300); }, "no finite poles for these arguments"},
        {"tgauss ripple 4000 dB", [] { return tgauss(3, 4000.0, 3.0); }, "no finite poles for these arguments"},
        {"bc ripple 4000 dB", [] { return bessel_chebyshev(3, 4000.0, 3.0); }, "no finite poles for these arguments"},
        {"bc damping 1e4 dB", [] { return bessel_chebyshev(6, 0.1, 1e4); }, "no finite poles for these arguments"},
        // Above the program's bound on the order, refused before any work.
        {"gauss order 400", [] { return gauss(400); }, "order 400 is too large (at most 200)"},
        {"bessel order 201", [] { return bessel(201); }, "order 201 is too large (at most 200)"},
        {"cauer order 300", [] { return cauer(300, 0.5, 1.5); }, "order 300 is too large (at most 200)"},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        ss f = c.make();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(f.n, 0) << c.what;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
    }
}

TEST(ApproxClassicDeathTest, FatalArgumentChecks)
{
    EXPECT_EXIT(bessel(0), testing::ExitedWithCode(1), "Order of Bessel filter must be positive");
    EXPECT_EXIT(gauss(0), testing::ExitedWithCode(1), "Order of Gauss filter must be positive");
    EXPECT_EXIT(tgauss(0, 1, 3), testing::ExitedWithCode(1), "Order of Gauss filter must be positive");
    EXPECT_EXIT(tgauss(3, -1, 3), testing::ExitedWithCode(1), "Ripple must be positive");
    EXPECT_EXIT(tgauss(3, 1, 0), testing::ExitedWithCode(1), "Damping must be positive");
    EXPECT_EXIT(bessel_chebyshev(0, 1, 3), testing::ExitedWithCode(1), "Order of filter must be positive");
    EXPECT_EXIT(bessel_chebyshev(3, -1, 3), testing::ExitedWithCode(1), "Ripple must be positive");
    EXPECT_EXIT(bessel_chebyshev(3, 1, -2), testing::ExitedWithCode(1), "Damping must be positive");
}

TEST(ApproxClassic, CauerPolesAndZeros)
{
    // Elliptic prototypes, passband edge 1, stopband edge 2, 1 dB (textbook
    // values): n = 3 has zeros +-2.270068j and poles -0.539958,
    // -0.217034 +- 0.981575j; n = 4 has zeros +-2.143189j and +-4.922113j.
    ss f = cauer(3, 1.0, 2.0);
    ASSERT_EQ(f.n, 3);
    EXPECT_LT(pole_set_distance(poles_of(f), {cd(-0.539958, 0), cd(-0.217034, 0.981575), cd(-0.217034, -0.981575)}),
              2e-6);
    EXPECT_LT(std::abs(h_jw(f, 2.270068)), 1e-5);
    EXPECT_NEAR(h_jw(f, 0.0).real(), 1.0, 1e-9);
    free_ss(&f);

    f = cauer(4, 1.0, 2.0);
    ASSERT_EQ(f.n, 4);
    EXPECT_LT(std::abs(h_jw(f, 2.143189)), 1e-5);
    EXPECT_LT(std::abs(h_jw(f, 4.922113)), 1e-5);
    free_ss(&f);
}

// Equiripple passband up to 1, the attenuation at 1 equal to the ripple,
// zeros at ks / sn((2i + 1) K / n) (odd n: (2i + 2) K / n) by GSL, and a
// stopband whose largest gain is reached at its edge.
TEST(ApproxClassic, CauerShape)
{
    struct Case { int n; double r, ks; };
    for (Case c : {Case{2, 0.5, 1.5}, Case{3, 1.0, 2.0}, Case{4, 1.0, 2.0}, Case{5, 0.1, 1.2}, Case{6, 0.5, 1.1},
                   Case{7, 0.2, 1.05}}) {
        ss f = cauer(c.n, c.r, c.ks);
        ASSERT_EQ(f.n, c.n);
        EXPECT_TRUE(all_left(f));
        const double e = std::pow(10.0, c.r / 10.0) - 1.0;
        double pmax = 0.0, pmin = INFINITY;
        for (int i = 0; i <= 2000; i++) {
            const double m2 = mag2(f, i / 2000.0);
            pmax = std::max(pmax, m2);
            pmin = std::min(pmin, m2);
        }
        EXPECT_NEAR(pmin / pmax, 1.0 / (1.0 + e), 1e-6) << c.n;
        EXPECT_NEAR(mag2(f, 1.0) / pmax, 1.0 / (1.0 + e), 1e-6) << c.n;

        const double k = 1.0 / c.ks;
        const double K = gsl_sf_ellint_Kcomp(k, GSL_PREC_DOUBLE);
        for (int i = 0; i < c.n / 2; i++) {
            double s, cn, dn;
            gsl_sf_elljac_e((c.n % 2 ? 2 * i + 2 : 2 * i + 1) * K / c.n, k * k, &s, &cn, &dn);
            EXPECT_LT(mag2(f, c.ks / s) / pmax, 1e-12) << c.n << " zero " << i;
        }
        const double edge = mag2(f, c.ks);
        EXPECT_LT(edge, pmin);
        for (int i = 1; i <= 4000; i++)
            EXPECT_LE(mag2(f, c.ks * (1.0 + i / 200.0)), edge * (1 + 1e-6)) << c.n;
        free_ss(&f);
    }
}

TEST(ApproxClassic, BesselTransferFunction)
{
    // n = 5: 945 / (s^5 + 15 s^4 + 105 s^3 + 420 s^2 + 945 s + 945).
    ss f = bessel(5);
    ASSERT_EQ(f.n, 5);
    for (cd s : {cd(0, 0), cd(0, 1), cd(0.4, 3), cd(0, 8)}) {
        const cd d = ((((s + 15.0) * s + 105.0) * s + 420.0) * s + 945.0) * s + 945.0;
        EXPECT_LT(std::abs(eval_h(f, s) - 945.0 / d), 1e-12) << s;
    }
    free_ss(&f);

    for (int n = 1; n <= 9; n++) {
        f = bessel(n);
        ASSERT_EQ(f.n, n);
        for (cd s : {cd(0, 0.5), cd(0.2, 2), cd(0, 5)}) {
            cd d = 0.0, sk = 1.0;
            for (int k = 0; k <= n; k++, sk *= s)
                d += bessel_coef(n, k) * sk;
            EXPECT_LT(std::abs(eval_h(f, s) - bessel_coef(n, 0) / d), 1e-10) << n << " at " << s;
        }
        // Unit group delay at DC: arg H(jh) = -h + O(h^3).
        const double h = 1e-4;
        EXPECT_NEAR(-std::arg(h_jw(f, h)) / h, 1.0, 1e-6) << n;
        free_ss(&f);
    }
}

TEST(ApproxClassic, InverseChebyshev)
{
    struct Case { int n; double as; };
    for (Case c : {Case{1, 20}, Case{2, 20}, Case{3, 40}, Case{4, 30}, Case{5, 60}, Case{6, 45}}) {
        ss f = ic_approx(c.n, c.as);
        ASSERT_EQ(f.n, c.n);
        EXPECT_TRUE(all_left(f));
        // |H|^2 = e^2 T^2(1/w) / (1 + e^2 T^2(1/w)), e^2 = 1 / (10^(As/10) - 1).
        const double e2 = 1.0 / (std::pow(10.0, c.as / 10.0) - 1.0);
        EXPECT_LT(worst_mag2(f, [&](double w) {
                      if (w == 0.0)
                          return 1.0;
                      const double t = cheb_t(c.n, 1.0 / w);
                      return e2 * t * t / (1.0 + e2 * t * t);
                  }),
                  1e-9)
            << c.n;
        EXPECT_NEAR(10.0 * std::log10(mag2(f, 1.0)), -c.as, 1e-9) << c.n;
        for (int k = 0; k < c.n / 2; k++)
            EXPECT_LT(mag2(f, 1.0 / std::cos((2 * k + 1) * M_PI / (2.0 * c.n))), 1e-20) << c.n;
        free_ss(&f);
    }
    // n = 2: the zero pair at +- j sqrt(2).
    ss f = ic_approx(2, 30);
    EXPECT_LT(std::abs(h_jw(f, std::sqrt(2.0))), 1e-12);
    free_ss(&f);
}

// The spectral approximations: exactly n poles, all in the left half plane,
// and |H(jw)|^2 = Q(0) / Q(w) for the polynomial Q that defines each.
TEST(ApproxClassic, GaussianFamily)
{
    // Taylor polynomial of exp(2 w^2) to degree 2n.
    auto gaussq = [](int n, double w) {
        double s = 0.0, t = 1.0;
        for (int i = 0; i <= n; i++) {
            s += t;
            t *= 2.0 * w * w / (i + 1);
        }
        return s;
    };
    for (int n = 1; n <= 10; n++) {
        ss f = gauss(n);
        ASSERT_EQ(f.n, n) << n;
        EXPECT_TRUE(all_left(f)) << n;
        EXPECT_LT(worst_mag2(f, [&](double w) { return 1.0 / gaussq(n, w); }), 1e-8) << n;
        free_ss(&f);
    }

    struct Case { int n; double r, d; };
    for (Case c : {Case{1, 0.5, 3}, Case{2, 0.5, 3}, Case{3, 0.5, 6}, Case{4, 1.0, 10}, Case{5, 0.1, 3},
                   Case{6, 0.3, 20}, Case{7, 0.5, 6}}) {
        const double a = std::sqrt(std::log(10.0) * c.d / 20.0);
        const double e = std::pow(10.0, c.r / 10.0) - 1.0;
        auto q = [&](double w) { return gaussq(c.n, w) + e * std::pow(cheb_t(c.n, w / a), 2); };
        ss f = tgauss(c.n, c.r, c.d);
        ASSERT_EQ(f.n, c.n) << c.n;
        EXPECT_TRUE(all_left(f)) << c.n;
        EXPECT_LT(worst_mag2(f, [&](double w) { return q(0.0) / q(w); }), 1e-8) << c.n;
        free_ss(&f);
    }

    // Ripple 0: the Gaussian poles.
    ss f = tgauss(4, 0.0, 3.0), g = gauss(4);
    EXPECT_LT(pole_set_distance(poles_of(f), poles_of(g)), 1e-9);
    free_ss(&f);
    free_ss(&g);
}

TEST(ApproxClassic, BesselChebyshev)
{
    struct Case { int n; double r, d; };
    for (Case c : {Case{1, 0.5, 3}, Case{2, 0.5, 3}, Case{3, 0.5, 3}, Case{4, 0.1, 6}, Case{5, 1.0, 10},
                   Case{6, 0.2, 3}, Case{7, 0.5, 6}}) {
        // P(w) = |B(jw)|^2 / B(0)^2 for the reverse Bessel polynomial B.
        auto p = [&](double w) {
            cd b = 0.0, sk = 1.0;
            for (int k = 0; k <= c.n; k++, sk *= cd(0, w))
                b += bessel_coef(c.n, k) * sk;
            return std::norm(b) / std::pow(bessel_coef(c.n, 0), 2);
        };
        // x0 with P(x0) = 10^(d/10), by bisection (P grows with w).
        const double level = std::pow(10.0, c.d / 10.0);
        double lo = 0.0, hi = 1.0;
        while (p(hi) < level)
            hi *= 2.0;
        for (int i = 0; i < 200; i++) {
            const double mid = 0.5 * (lo + hi);
            (p(mid) < level ? lo : hi) = mid;
        }
        const double x0 = 0.5 * (lo + hi);
        const double e = std::pow(10.0, c.r / 10.0) - 1.0;
        auto q = [&](double w) { return p(w) + e * std::pow(cheb_t(c.n, w / x0), 2); };

        ss f = bessel_chebyshev(c.n, c.r, c.d);
        ASSERT_EQ(f.n, c.n) << c.n;
        EXPECT_TRUE(all_left(f)) << c.n;
        EXPECT_LT(worst_mag2(f, [&](double w) { return q(0.0) / q(w); }), 1e-6) << c.n;
        free_ss(&f);
    }
}

// At high orders the polynomials are too ill-conditioned for the root
// finder, which then returns roots on the j-axis, or (elliptic) loses or
// adds pole pairs. Such a pole set must not come out as a filter: either the
// filter has order n with every pole clearly in the left half plane, or the
// routine reports that it found no stable poles.
TEST(ApproxClassic, HighOrderApproximationsAreStableOrRefused)
{
    struct Case {
        const char *what;
        ss (*make)();
        int n;
    };
    const Case cases[] = {
        {"bc(25, 0.5, 6)", [] { return bessel_chebyshev(25, 0.5, 6.0); }, 25},
        {"bc(33, 0.5, 6)", [] { return bessel_chebyshev(33, 0.5, 6.0); }, 33},
        {"bc(40, 0.5, 6)", [] { return bessel_chebyshev(40, 0.5, 6.0); }, 40},
        {"tgauss(26, 0.5, 6)", [] { return tgauss(26, 0.5, 6.0); }, 26},
        {"tgauss(31, 0.5, 6)", [] { return tgauss(31, 0.5, 6.0); }, 31},
        {"tgauss(36, 0.5, 6)", [] { return tgauss(36, 0.5, 6.0); }, 36},
        {"gauss(30)", [] { return gauss(30); }, 30},
        {"cauer(25, 3, 4)", [] { return cauer(25, 3.0, 4.0); }, 25},
        {"cauer(30, 0.1, 1.05)", [] { return cauer(30, 0.1, 1.05); }, 30},
        {"cauer(40, 1, 1.5)", [] { return cauer(40, 1.0, 1.5); }, 40},
        {"bessel(80)", [] { return bessel(80); }, 80},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        ss f = c.make();
        const std::string err = testing::internal::GetCapturedStderr();
        if (f.n == 0) {
            EXPECT_NE(err.find("no stable poles found for these arguments"), std::string::npos) << c.what << ": " << err;
            continue;
        }
        EXPECT_EQ(f.n, c.n) << c.what;
        for (cd p : poles_of(f))
            EXPECT_LT(p.real(), -1e-10 * std::abs(p)) << c.what << " pole " << p;
        free_ss(&f);
    }
}

TEST(ApproxClassic, PolySolveLevel)
{
    // 1 + x^2 reaches 5 at x = 2; 1 + x + x^3 reaches 3 at x = 1.
    poly p = newpoly(2);
    p.coef[0] = 1;
    p.coef[2] = 1;
    EXPECT_NEAR(poly_solve_level(p, 5.0), 2.0, 1e-9);
    freepoly(&p);
    p = newpoly(3);
    p.coef[0] = 1;
    p.coef[1] = 1;
    p.coef[3] = 1;
    EXPECT_NEAR(poly_solve_level(p, 3.0), 1.0, 1e-12);
    freepoly(&p);
}

TEST(ApproxClassic, ChebyshevLadderHasTheChebyshevResponse)
{
    for (int n : {1, 2, 3, 4, 5}) {
        ss f = chebyshev_ladder(n, 0.5), g = chebyshev(n, 0.5);
        for (cd s : {cd(0, 0), cd(0, 0.8), cd(0.1, 1.5)})
            EXPECT_LT(std::abs(eval_h(f, s) - eval_h(g, s)), 1e-12) << n << " at " << s;
        free_ss(&f);
        free_ss(&g);
    }
}
