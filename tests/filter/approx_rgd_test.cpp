// The equiripple group-delay approximation, checked on the group delay of
// the installed poles (eigenvalues of A by GSL).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "approx_eval.h"
#include "filter/rgd.h"
#include "base/globals.h"
#include "numeric/cmatrix.h"
#include "numeric/poly.h"

using namespace approx_test;

namespace {

// Group delay of an all-pole filter from its poles.
double delay(const std::vector<cd> &poles, double w)
{
    double t = 0.0;
    for (cd p : poles)
        t += -p.real() / (std::pow(w - p.imag(), 2) + p.real() * p.real());
    return t;
}

// The values at the local extrema of the delay over [0, 1], the ends included.
std::vector<double> extrema(const std::vector<cd> &poles)
{
    const int N = 20000;
    std::vector<double> t(N + 1);
    for (int i = 0; i <= N; i++)
        t[i] = delay(poles, double(i) / N);
    std::vector<double> ext{t[0]};
    for (int i = 1; i < N; i++)
        if ((t[i] - t[i - 1]) * (t[i + 1] - t[i]) < 0.0)
            ext.push_back(t[i]);
    ext.push_back(t[N]);
    return ext;
}

}  // namespace

TEST(ApproxRgd, DelayIsEquiripple)
{
    struct Case { int n; double r; };
    for (Case c : {Case{1, 0.1}, Case{1, 2.0}, Case{2, 0.1}, Case{3, 0.05}, Case{4, 0.1}, Case{5, 0.02},
                   Case{6, 0.05}, Case{8, 0.01}}) {
        testing::internal::CaptureStderr();
        ss f = rgd_approx(c.n, c.r);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "") << c.n;
        ASSERT_EQ(f.n, c.n) << c.n << " " << c.r;
        const std::vector<cd> p = poles_of(f);
        for (cd z : p)
            EXPECT_LT(z.real(), 0.0);
        const std::vector<double> e = extrema(p);
        ASSERT_EQ((int)e.size(), c.n + 1) << c.n << " " << c.r;
        for (size_t i = 1; i < e.size(); i++)
            EXPECT_NEAR(std::fabs(e[i] - e[i - 1]), c.r, 1e-5 * c.r + 1e-7) << c.n << " extremum " << i;
        // Alternating maxima and minima.
        for (size_t i = 2; i < e.size(); i++)
            EXPECT_LT((e[i] - e[i - 1]) * (e[i - 1] - e[i - 2]), 0.0) << c.n << " extremum " << i;
        // Unit gain at DC.
        EXPECT_NEAR(h_jw(f, 0.0).real(), 1.0, 1e-9);
        free_ss(&f);
    }
}

TEST(ApproxRgd, FirstOrderInClosedForm)
{
    // One pole -sigma with sigma^3 + sigma = 1 / r.
    // Also at the ends of double range, where Cardano's two cube roots
    // cancel (large ripple: sigma close to 1/r) or c^2 overflows.
    for (double r : {0.01, 0.5, 1.0, 100.0, 1e10, 1e300, 1e-300}) {
        ss f = rgd_approx(1, r);
        ASSERT_EQ(f.n, 1);
        const double s = -f.A.data[0];
        EXPECT_NEAR(s * s * s + s, 1.0 / r, 1e-12 / r) << r;
        free_ss(&f);
    }
}

TEST(ApproxRgd, StartingSet)
{
    // n = 4 starts at (-0.1, 0.75), (-0.1, 0.25), (-0.1, -0.25),
    // (-0.1, -0.75); the scaling keeps the imaginary parts and the order
    // and multiplies every real part by the same factor.
    rootlist q = initial_gd_poles(4, 0.1);
    const double im[] = {0.75, 0.25, -0.25, -0.75};
    for (int k = 0; k < 4; k++) {
        EXPECT_DOUBLE_EQ(q.roots[k].im, im[k]);
        EXPECT_LT(q.roots[k].re, 0.0);
        EXPECT_DOUBLE_EQ(q.roots[k].re, q.roots[0].re);
    }
    // The scaling reaches the target difference between the two
    // frequencies (-1/n and 0) to within the stopping rule.
    const double d = pole_group_delay(q, 4, -0.25) - pole_group_delay(q, 4, 0.0);
    EXPECT_NEAR(d, 0.1, 1e-3);
    free_rootlist(&q);
}

// The analytic Jacobian against central differences of the equations.
TEST(ApproxRgd, JacobianMatchesDifferences)
{
    for (int n : {2, 3, 5}) {
        rootlist p = initial_gd_poles(n, 0.1);
        rootlist q = new_rootlist(n);
        for (int k = 0; k < n; k++) {
            const cd z(p.roots[k].re, p.roots[k].im);
            cd w = std::sqrt((z * z + 1.0) / (z * z));
            if (w.real() > 0)
                w = -w;
            q.roots[k] = {w.real(), w.imag()};
        }
        cmatrix J = updf(0.1, q, n);
        const double h = 1e-6;
        for (int j = 0; j < n; j++) {
            rootlist a = copy_rootlist(q.roots, n), b = copy_rootlist(q.roots, n);
            a.roots[j].re += h;
            b.roots[j].re -= h;
            cmatrix Fa = upf(0.1, a, n), Fb = upf(0.1, b, n);
            for (int k = 0; k < n; k++) {
                const cd d = (cd(celem(Fa, k, 0).re, celem(Fa, k, 0).im) - cd(celem(Fb, k, 0).re, celem(Fb, k, 0).im)) /
                             (2 * h);
                const cd an(celem(J, k, j).re, celem(J, k, j).im);
                EXPECT_LT(std::abs(d - an), 1e-5 * (1 + std::abs(an))) << n << " (" << k << ", " << j << ")";
            }
            cfreem(&Fa);
            cfreem(&Fb);
            free_rootlist(&a);
            free_rootlist(&b);
        }
        cfreem(&J);
        free_rootlist(&q);
        free_rootlist(&p);
    }
}

TEST(ApproxRgd, QuietUnlessVerbose)
{
    FILE *saved = ist.out_fp;
    ist.out_fp = stdout;
    testing::internal::CaptureStdout();
    ss f = rgd_approx(4, 0.1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    free_ss(&f);
    ist.verbosity = 1;
    testing::internal::CaptureStdout();
    f = rgd_approx(4, 0.1);
    const std::string out = testing::internal::GetCapturedStdout();
    ist.verbosity = 0;
    ist.out_fp = saved;
    EXPECT_EQ(out.rfind("Number of iterations is ", 0), 0u) << out;
    free_ss(&f);
}

TEST(ApproxRgdDeathTest, FatalArgumentChecks)
{
    EXPECT_EXIT(rgd_approx(0, 0.1), testing::ExitedWithCode(1), "Order must be positive");
    EXPECT_EXIT(rgd_approx(3, 0.0), testing::ExitedWithCode(1), "ripple must be positive");
    EXPECT_EXIT(upf(0.1, rootlist{}, 0), testing::ExitedWithCode(1), "upf: order too small");
}

// A ripple far too small for the order: the iteration does not converge.
// The failure goes through the error routine, and no filter with a pole on
// or right of the j-axis comes out. (Near 1e-4 at order 9 whether the
// iteration ends within its 100 steps turns on the last bits of rounding,
// which differ between optimisation levels; 1e-12 is out of reach in any.)
TEST(ApproxRgd, NoConvergenceIsAnError)
{
    ist.exit_status = 0;
    testing::internal::CaptureStderr();
    ss f = rgd_approx(9, 1e-12);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no convergence in 100 iterations"), std::string::npos) << err;
    EXPECT_EQ(ist.exit_status, 1);
    if (f.n > 0) {
        for (cd z : poles_of(f))
            EXPECT_LT(z.real(), 0.0);
    }
    free_ss(&f);
    ist.exit_status = 0;
}

// The complex Newton step and the difference Jacobian (reached by no
// statement) agree with the real-form step and the analytic Jacobian.
TEST(ApproxRgd, ComplexStepReachesTheSamePoles)
{
    for (int n : {3, 4}) {
        const double r = 0.1;
        rootlist p = initial_gd_poles(n, r);
        rootlist a = new_rootlist(n), b = new_rootlist(n);
        for (int k = 0; k < n; k++) {
            cd z(p.roots[k].re, p.roots[k].im);
            cd w = std::sqrt((z * z + 1.0) / (z * z));
            if (w.real() > 0)
                w = -w;
            a.roots[k] = b.roots[k] = {w.real(), w.imag()};
        }
        cmatrix J = updf(r, a, n), Jd = updf_differences(r, a, n);
        for (int k = 0; k < n; k++)
            for (int j = 0; j < n; j++)
                EXPECT_LT(std::hypot(celem(J, k, j).re - celem(Jd, k, j).re, celem(J, k, j).im - celem(Jd, k, j).im),
                          1e-4 * (1 + std::hypot(celem(J, k, j).re, celem(J, k, j).im)));
        cmatrix Fa = upf(r, a, n), Fb = upf(r, b, n);
        double ea = 1, eb = 1;
        for (int i = 0; i < 30 && (ea > 1e-10 || eb > 1e-10); i++) {
            ea = ripple_step(a, n, r, Fa);
            eb = ripple_step_complex(b, n, r, Fb);
        }
        EXPECT_LT(ea, 1e-10);
        EXPECT_LT(eb, 1e-10);
        for (int k = 0; k < n; k++)
            EXPECT_LT(std::hypot(a.roots[k].re - b.roots[k].re, a.roots[k].im - b.roots[k].im), 1e-8) << n << " " << k;
        cfreem(&Fa);
        cfreem(&Fb);
        cfreem(&J);
        cfreem(&Jd);
        free_rootlist(&a);
        free_rootlist(&b);
        free_rootlist(&p);
    }
}
