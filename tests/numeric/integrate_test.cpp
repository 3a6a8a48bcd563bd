// Adaptive integration of matrix functions on integrands with known
// integrals (closed forms, GSL's special functions).
#include <gmock/gmock.h>
#include <gsl/gsl_sf_expint.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/globals.h"
#include "helpers.h"

using testing::Eq;
using testing::ExitedWithCode;

namespace {

long calls = 0;

void one(matrix &out, double)
{
    calls++;
    out.data[0] = 1;
}

void cubic(matrix &out, double t)
{
    calls++;
    out.data[0] = t * t * t;
    out.data[1] = t;
}

void decay(matrix &out, double t)
{
    calls++;
    out.data[0] = std::exp(-t);
}

// e^(At) B B^T e^(A^T t) of the first-order filter A = -3, B = 2.
void gramian1(matrix &out, double t)
{
    calls++;
    double x = std::exp(-3 * t) * 2;
    out.data[0] = x * x;
}

// The same for A = [[0, 1], [-2, -3]], B = (0, 1): e^(At) B =
// (e^-t - e^-2t, -e^-t + 2 e^-2t).
void gramian2(matrix &out, double t)
{
    calls++;
    double x1 = std::exp(-t) - std::exp(-2 * t), x2 = -std::exp(-t) + 2 * std::exp(-2 * t);
    matrix_set(out, 0, 0, x1 * x1);
    matrix_set(out, 0, 1, x1 * x2);
    matrix_set(out, 1, 0, x2 * x1);
    matrix_set(out, 1, 1, x2 * x2);
}

void not_a_number(matrix &out, double)
{
    calls++;
    out.data[0] = std::numeric_limits<double>::quiet_NaN();
}

void inverse_sqrt(matrix &out, double t)
{
    calls++;
    out.data[0] = 1 / std::sqrt(t);
}

void jump(matrix &out, double t)
{
    calls++;
    out.data[0] = t < 5.3 ? 1 : 0;
}

void oscillating(matrix &out, double t)
{
    calls++;
    out.data[0] = t > 0 ? std::sin(1 / t) : 0;
}

}  // namespace

TEST(Integrate, FiniteIntervals)
{
    calls = 0;
    matrix z = mintegrate(one, 1, 1, 3, 3, 1e-6, 1e-6);
    EXPECT_EQ(z.data[0], 0);
    EXPECT_EQ(calls, 0);  // a == b: f is not called

    // The whole interval in one step; reversed limits negate.
    calls = 0;
    matrix m = mintegrate(one, 1, 1, 2, 0, 1e-6, 1e-6);
    EXPECT_DOUBLE_EQ(m.data[0], -2);
    EXPECT_EQ(calls, 5);

    // Simpson's rule is exact for cubics: int_0^2 t^3 = 4, int_0^2 t = 2.
    matrix c = mintegrate(cubic, 1, 2, 0, 2, 0, 0);
    EXPECT_NEAR(c.data[0], 4, 1e-14);
    EXPECT_NEAR(c.data[1], 2, 1e-14);
    matrix back = mintegrate(cubic, 1, 2, 2, 0, 1e-9, 1e-12);
    EXPECT_NEAR(back.data[0], -4, 1e-14);

    matrix d = mintegrate(decay, 1, 1, 0, 5, 1e-10, 1e-12);
    EXPECT_NEAR(d.data[0], 1 - std::exp(-5.0), 1e-9);

    EXPECT_EXIT(mintegrate(one, 0, 1, 0, 1, 0, 0), ExitedWithCode(1), Eq("Matrix integrate size error.\n"));
    EXPECT_EXIT(mintegrate(one, 1, 0, 0, 1, 0, 0), ExitedWithCode(1), Eq("Matrix integrate size error.\n"));
}

TEST(Integrate, InfiniteIntervalGramians)
{
    struct Case {
        mfunction f;
        int n;
        std::vector<double> value;  // column-major
    } cases[] = {
        {decay, 1, {1.0}},
        {gramian1, 1, {4.0 / 6}},  // b^2 / (2a)
        {gramian2, 2, {1.0 / 12, 0, 0, 1.0 / 6}},
    };
    for (auto &c : cases) {
        calls = 0;
        matrix k = mintegrate_inf(c.f, c.n, c.n, 1e-8, 1e-12);
        for (int i = 0; i < c.n * c.n; i++)
            EXPECT_NEAR(k.data[i], c.value[i], 1e-8);
        // The decades stop once they no longer add anything.
        EXPECT_LT(calls, 20000);
    }
    // Default tolerances.
    matrix k = mintegrate_inf(decay, 1, 1, 0, 0);
    EXPECT_NEAR(k.data[0], 1, 1e-5);
}

TEST(Integrate, HardIntegrandsEnd)
{
    // Not a number everywhere: the integration ends, the result is not a number.
    calls = 0;
    matrix n = mintegrate(not_a_number, 1, 1, 0, 1, 1e-6, 1e-6);
    EXPECT_TRUE(std::isnan(n.data[0]));
    EXPECT_LT(calls, 1000);

    // Infinite at the lower limit.
    calls = 0;
    mintegrate(inverse_sqrt, 1, 1, 0, 1, 1e-6, 1e-6);
    EXPECT_LT(calls, 100000);

    // A jump away from 0: the step shrinks to its floor there and goes on.
    calls = 0;
    matrix j = mintegrate(jump, 1, 1, 0, 10, 1e-6, 1e-6);
    EXPECT_NEAR(j.data[0], 5.3, 1e-6);
    EXPECT_LT(calls, 100000);

    // sin(1/t) never settles near 0; int_0^1 = sin 1 - Ci(1).
    calls = 0;
    matrix o = mintegrate(oscillating, 1, 1, 0, 1, 1e-6, 1e-6);
    EXPECT_NEAR(o.data[0], std::sin(1.0) - gsl_sf_Ci(1.0), 1e-2);
    EXPECT_LT(calls, 1000000);
}

namespace {

// e^-t and (1 - t^2) / (1 + t^2)^2, the derivative of t / (1 + t^2), as an
// entry of a Gramian whose integral is 0: integrals over [0, infinity) 1 and 0.
void decay_and_zero(matrix &out, double t)
{
    calls++;
    out.data[0] = std::exp(-t);
    out.data[1] = (1 - t * t) / ((1 + t * t) * (1 + t * t));
}

}  // namespace

// An absolute tolerance of 1e-300 cannot be met on an entry whose integral
// is 0 (the decades that follow are never small beside the sum): the integral still
// ends after a bounded number of calls, says that its tolerances were not
// met, and the entries stay near their values.
TEST(Integrate, TolerancesThatCannotBeMetEndWithAMessage)
{
    ist.exit_status = 0;
    calls = 0;
    testing::internal::CaptureStderr();
    matrix k = mintegrate_inf(decay_and_zero, 2, 1, 1e-6, 1e-300);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Matrix integrate: tolerances not met within 1000000 evaluations.\n");
    EXPECT_LT(calls, 1100000);
    EXPECT_NEAR(k.data[0], 1, 1e-4);
    EXPECT_NEAR(k.data[1], 0, 1e-4);
    EXPECT_EQ(ist.exit_status, 1);
    ist.exit_status = 0;
    freem(&k);

    // Ordinary tolerances on the same integrand: no message.
    testing::internal::CaptureStderr();
    k = mintegrate_inf(decay_and_zero, 2, 1, 1e-6, 1e-9);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NEAR(k.data[0], 1, 1e-5);
    EXPECT_EQ(ist.exit_status, 0);
    freem(&k);
}
