// The approximations whose poles are roots of a polynomial, at orders where
// the polynomial's coefficients span tens to hundreds of decades: the
// installed poles against roots made independently at high precision, and
// the equiripple group delay against its defining property.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "approx_eval.h"
#include "filter/approx.h"
#include "filter/rgd.h"

using namespace approx_test;

namespace {

// The poles of a cascade as its sections hold them: a block of two where
// A(i, i+1) is not 0, its eigenvalues in long double.
std::vector<cd> section_poles(const ss &f)
{
    std::vector<cd> out;
    for (int i = 0; i < f.n;) {
        if (i + 1 < f.n && A_(f, i, i + 1) != 0.0) {
            const long double a = A_(f, i, i), b = A_(f, i, i + 1), c = A_(f, i + 1, i), d = A_(f, i + 1, i + 1);
            const long double tr = (a + d) / 2, disc = (a - d) * (a - d) / 4 + b * c;
            const long double s = std::sqrt(std::fabs(disc));
            if (disc < 0) {
                out.emplace_back((double)tr, (double)s);
                out.emplace_back((double)tr, (double)-s);
            } else {
                out.emplace_back((double)(tr + s), 0.0);
                out.emplace_back((double)(tr - s), 0.0);
            }
            i += 2;
        } else {
            out.emplace_back(A_(f, i, i), 0.0);
            i += 1;
        }
    }
    return out;
}

struct pole_case {
    const char *name;
    std::function<ss()> build;
    int order;
    std::vector<cd> poles;  // the lowest, middle and highest pole of the upper half plane
};

}  // namespace

// Reference poles: the roots of the polynomial of each approximation as the
// approximation defines it, made once with mpmath (the polynomial built in
// mpmath from its definition: the reverse Bessel polynomial from its
// recurrence; the Taylor polynomial of exp(2 w^2), plus e T_n(w / a)^2 for
// tgauss and e T_n(w / x0)^2 over |B(jw)|^2 / B(0)^2 for bessel_chebyshev with
// x0 by bisection; for cauer PP + e c2 PZ with x_i = mpmath.ellipfun('sn',
// u_i, m = 1/ks^2) and K = mpmath.ellipk), its roots by mpmath.polyroots at
// n + 60 digits (error estimate below 1e-25), an even polynomial in s^2. For
// bessel(200) polyroots is too slow: the roots are SciPy's Bessel zeros
// (scipy.signal._filter_design._bessel_zeros, inverted) refined by Newton's
// method on the exact integer polynomial at 400 digits, all 200 distinct.
// Before the roots were found in extended precision, bessel(30) was 9 % and
// cauer(20, 0.5, 1.5) 3e-4 off, bessel(200) and cauer(41, 0.1, 1.05)
// refused. Tolerance 1e-15 of |p|: the true root rounded to double (at most
// about 1.1e-16) and the pole taken back from its section.
TEST(ApproxHighOrder, PolesAreTheTrueRoots)
{
    const pole_case cases[] = {
        {"bessel(30)", [] { return bessel(30); }, 30,
         {{-20.201029296144066264, 0.86775009395265550002}, {-17.123227631372564072, 13.173901048247331984},
          {-4.7346785008177072707, 27.435615334413758724}}},
        {"bessel(61)", [] { return bessel(61); }, 61,
         {{-40.758868192195441202, 0.0}, {-34.633284604987082008, 26.343527866236815801},
          {-6.1169531508405312699, 57.706566908829413527}}},
        {"bessel(200)", [] { return bessel(200); }, 200,
         {{-132.87813223493440031, 0.86776122985693154749}, {-111.49067143838382817, 88.77234042218472619},
          {-9.2535133621954711916, 194.98094232473405994}}},
        {"gauss(51)", [] { return gauss(51); }, 51,
         {{-2.7548870555438403006, 0.0}, {-2.4463155397732321178, 1.7569508041835739477},
          {-0.95020911598955003843, 4.3843379794236712386}}},
        {"tgauss(40, 0.5, 6)", [] { return tgauss(40, 0.5, 6); }, 40,
         {{-0.036841356493869766674, 0.032614915892488349409}, {-0.030101104914371536917, 0.61067809525302669413},
          {-0.0019997268040944307042, 0.83203727427680026657}}},
        {"bessel_chebyshev(40, 0.5, 6)", [] { return bessel_chebyshev(40, 0.5, 6); }, 40,
         {{-0.46099323856783593475, 0.40811285880521070022}, {-0.37637899785107836912, 7.6413458850364838751},
          {-0.025023028498723318579, 10.411208096702040532}}},
        {"cauer(20, 0.5, 1.5)", [] { return cauer(20, 0.5, 1.5); }, 20,
         {{-0.10184647899452152241, 0.090986172753605063675}, {-0.051120558319233263905, 0.808749180975390221},
          {-0.0051349368252082970541, 1.0006364525608147452}}},
        {"cauer(41, 0.1, 1.05)", [] { return cauer(41, 0.1, 1.05); }, 41,
         {{-0.10496897259996299403, 0.0}, {-0.029343590288693639907, 0.8692496104168493897},
          {-0.00061714828585934191649, 1.0003216895260288853}}},
    };
    for (const pole_case &c : cases) {
        ss f = c.build();
        ASSERT_EQ(f.n, c.order) << c.name;
        const std::vector<cd> got = section_poles(f);
        for (cd p : got)
            EXPECT_LT(p.real(), 0.0) << c.name << " pole " << p;
        for (cd want : c.poles) {
            double best = INFINITY;
            for (cd p : got)
                best = std::min(best, std::abs(p - want));
            EXPECT_LE(best, 1e-15 * std::abs(want)) << c.name << " pole " << want;
        }
        free_ss(&f);
    }
}

namespace {

// The group delay of a filter's section poles at w.
double delay(const std::vector<cd> &poles, double w)
{
    double t = 0.0;
    for (cd p : poles)
        t += -p.real() / ((w - p.imag()) * (w - p.imag()) + p.real() * p.real());
    return t;
}

// The extremes of the delay on 0 <= w <= 1.05, w = 0 first: a grid of 100 n
// points, each turn refined by golden-section search.
std::vector<double> delay_extremes(const std::vector<cd> &poles)
{
    const int n = (int)poles.size(), m = 100 * n;
    const double h = 1.05 / m, g = (std::sqrt(5.0) - 1.0) / 2.0;
    std::vector<double> ext{delay(poles, 0.0)};
    for (int i = 1; i < m; i++) {
        const double t0 = delay(poles, (i - 1) * h), t1 = delay(poles, i * h), t2 = delay(poles, (i + 1) * h);
        if (!((t1 - t0) * (t2 - t1) < 0.0))
            continue;
        const double sign = t1 > t0 ? -1.0 : 1.0;  // minimise sign * delay
        double a = (i - 1) * h, b = (i + 1) * h;
        for (int k = 0; k < 100; k++) {
            const double x1 = b - g * (b - a), x2 = a + g * (b - a);
            if (sign * delay(poles, x1) < sign * delay(poles, x2))
                b = x2;
            else
                a = x1;
        }
        ext.push_back(delay(poles, (a + b) / 2));
    }
    return ext;
}

}  // namespace

// rgd: n extremes of the delay on the band (w = 0 among them), the maxima
// equal, the minima equal, peak to peak the ripple. The extremes are found
// here from the installed poles, independently of the routine's own check.
// Tolerance 1e-10 s: the converged poles are polished to the working
// precision (the spread is 2e-13 at order 50 and was 3e-8 when the iteration
// stopped at a residual of 1e-6). Arguments where the iteration ends on
// another solution of its equations (one ripple or none in the band) or
// does not converge are refused with the reason.
TEST(ApproxHighOrder, GroupDelayIsEquirippleOrRefused)
{
    for (auto [n, ripple] : {std::pair{10, 0.1}, {20, 0.1}, {50, 0.1}, {10, 0.01}}) {
        ss f = rgd_approx(n, ripple);
        ASSERT_EQ(f.n, n) << n << ", " << ripple;
        const std::vector<double> ext = delay_extremes(section_poles(f));
        ASSERT_EQ((int)ext.size(), n) << n << ", " << ripple;
        double hi_lo = INFINITY, hi_hi = -INFINITY, lo_lo = INFINITY, lo_hi = -INFINITY;
        const bool first_high = ext[0] > ext[1];
        for (int i = 0; i < n; i++) {
            const bool high = (i % 2 == 0) == first_high;
            (high ? hi_lo : lo_lo) = std::min(high ? hi_lo : lo_lo, ext[i]);
            (high ? hi_hi : lo_hi) = std::max(high ? hi_hi : lo_hi, ext[i]);
        }
        EXPECT_LT(hi_hi - hi_lo, 1e-10) << n << ", " << ripple;
        EXPECT_LT(lo_hi - lo_lo, 1e-10) << n << ", " << ripple;
        EXPECT_NEAR(hi_lo - lo_hi, ripple, 1e-10) << n << ", " << ripple;
        free_ss(&f);
    }
    struct refused {
        int n;
        double ripple;
        const char *message;
    };
    for (const refused &c : {refused{30, 0.1, "no equiripple group delay found for these arguments"},
                             refused{20, 0.01, "no equiripple group delay found for these arguments"},
                             refused{70, 0.01, "no convergence in 100 iterations"}}) {
        testing::internal::CaptureStderr();
        ss f = rgd_approx(c.n, c.ripple);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(f.n, 0) << c.n << ", " << c.ripple;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.n << ", " << c.ripple << ": " << err;
    }
}
