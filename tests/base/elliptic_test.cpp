// Jacobi elliptic functions and the complete elliptic integral against GSL.
#include <gtest/gtest.h>

#include <gsl/gsl_errno.h>
#include <gsl/gsl_sf_ellint.h>
#include <gsl/gsl_sf_elljac.h>

#include <cmath>

#include "base/elliptic.h"

namespace {

TEST(Elliptic, AgreesWithGslOverATable)
{
    const double us[] = {-3.0, -0.7, 0.0, 0.3, 0.5, 1.0, 2.2, 5.0, 12.0};
    const double ks[] = {0.0, 1e-9, 0.1, 0.5, 0.8, 0.95, 0.999, 1.0};
    for (double k : ks) {
        for (double u : us) {
            double s, c, d;
            ASSERT_EQ(gsl_sf_elljac_e(u, k * k, &s, &c, &d), GSL_SUCCESS);
            // Ten steps of Landen's transformation reach double precision;
            // the tolerance leaves room for the rounding of the ascent.
            EXPECT_NEAR(sn(u, k), s, 1e-12) << "u=" << u << " k=" << k;
            EXPECT_NEAR(cn(u, k), c, 1e-12) << "u=" << u << " k=" << k;
            EXPECT_NEAR(dn(u, k), d, 1e-12) << "u=" << u << " k=" << k;
            double js, jc, jd;
            jacobi_elliptic(u, k * k, &js, &jc, &jd);
            EXPECT_EQ(js, sn(u, k));
            EXPECT_EQ(jd, dn(u, k));
        }
    }
}

TEST(Elliptic, LimitsAndIdentities)
{
    for (double u : {0.25, 1.5, -2.0}) {
        EXPECT_DOUBLE_EQ(sn(u, 0), std::sin(u));
        EXPECT_DOUBLE_EQ(cn(u, 0), std::cos(u));
        EXPECT_DOUBLE_EQ(dn(u, 0), 1);
        EXPECT_DOUBLE_EQ(sn(u, 1), std::tanh(u));
        EXPECT_DOUBLE_EQ(cn(u, 1), 1 / std::cosh(u));
        EXPECT_DOUBLE_EQ(dn(u, 1), 1 / std::cosh(u));
    }
    double s = sn(0.5, 0.8), c = cn(0.5, 0.8), d = dn(0.5, 0.8);
    EXPECT_GT(std::fabs(d - c), 0.01);
    EXPECT_NEAR(s * s + c * c, 1, 1e-15);
    EXPECT_NEAR(d * d + 0.64 * s * s, 1, 1e-15);
    // A modulus that is not a number passes the range tests: no number out.
    EXPECT_TRUE(std::isnan(sn(1, NAN)));
    EXPECT_TRUE(std::isnan(cn(1, NAN)));
    EXPECT_TRUE(std::isnan(dn(1, NAN)));
}

TEST(Elliptic, CompleteIntegral)
{
    // Full double precision everywhere, also close to k = 1, where a mean
    // that stops at |a - b| < 2^-26 and takes a alone is off by up to 1e-8.
    for (double k : {0.0, 0.1, 0.5, 0.9, 0.99, 0.999, 0.9999, 0.99999, 0.999999, 0.9999999}) {
        double want = gsl_sf_ellint_Kcomp(k, GSL_PREC_DOUBLE);
        EXPECT_NEAR(ellint_k(k), want, 2e-15 * want) << k;
        EXPECT_NEAR(ellint(k * k), want, 2e-15 * want) << k;
    }
    EXPECT_EQ(ellint(0), M_PI / 2);
    // At m = 1 the mean does not converge: both warnings, and pi / 2^-11.
    testing::internal::CaptureStderr();
    double r = ellint(1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, M_PI * 2048);
    EXPECT_EQ(err, "ellint: modulus out of range.\nellint: accuracy not attained.\n");
    EXPECT_NEAR(arccosh(std::cosh(1.3)), 1.3, 1e-14);
}

TEST(Elliptic, DomainErrorsEndTheProgram)
{
    EXPECT_EXIT(sn(1, -0.1), ::testing::ExitedWithCode(1), "sn: k < 0");
    EXPECT_EXIT(cn(1, -0.1), ::testing::ExitedWithCode(1), "sn: k < 0");
    EXPECT_EXIT(sn(1, 1.5), ::testing::ExitedWithCode(1), "jacobi_elliptic: modulus out of range");
    EXPECT_EXIT(arccosh(0.5), ::testing::ExitedWithCode(1), "arccosh: argument < 1");
}

}  // namespace
