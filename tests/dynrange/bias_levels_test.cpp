// Bias levels of the integrators: the level at one frequency, its limit at
// infinite frequency, the peaks of the bias search, and the report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "dr_helpers.h"
#include "dynrange/bias.h"
#include "dynrange/peaks.h"
#include "base/vars.h"

using namespace drt;

namespace {

const double r2 = std::sqrt(2.0);

// The Butterworth companion form with capacitor values c1, c2 installed.
void butterworth_with_caps(double c1, double c2)
{
    install(butter2());
    fst.cur_filter.cap[0] = c1;
    fst.cur_filter.cap[1] = c2;
}

// |F_j(jw)| sqrt(S_j^2 + w^2 c_j^2) of the Butterworth form, from GSL's F
// and the column sums of |A| weighted by the capacitor of each row.
double reference_level(double w, int j, double c1, double c2)
{
    ss ref = butter2();
    std::vector<cplx> F = F_of(ref, w);
    double S = j == 0 ? c2 : c1 + r2 * c2;
    double c = j == 0 ? c1 : c2;
    return std::abs(F[j]) * std::sqrt(S * S + w * w * c * c);
}

TEST(BiasLevel, MatchesFAndTheDrivenCapacitance)
{
    program p;
    const double c1 = 1.5e-12, c2 = 0.5e-12;
    butterworth_with_caps(c1, c2);
    struct { double w; int j; } cases[] = {{0.0, 0}, {0.0, 1}, {0.7, 0}, {0.7, 1}, {1.0, 1}, {25.0, 0}, {25.0, 1}};
    for (auto c : cases) {
        double want = reference_level(c.w, c.j, c1, c2);
        EXPECT_NEAR(bias_level(fst.ana, fst.cur_filter, c.w, c.j), want, 1e-12 * want) << "w " << c.w << " j " << c.j;
    }
    // At w = 0 the level of integrator 1 is |F_1(0)| S_1 = 1 * c2 (edge of the
    // plot column); F_2(0) = 0.
    EXPECT_NEAR(bias_level(fst.ana, fst.cur_filter, 0.0, 0), c2, 1e-24);
    EXPECT_EQ(bias_level(fst.ana, fst.cur_filter, 0.0, 1), 0.0);
    // An index beyond the integrators reads nothing and gives no current.
    EXPECT_EQ(bias_level(fst.ana, fst.cur_filter, 1.0, 2), 0.0);
    EXPECT_EQ(bias_level(fst.ana, fst.cur_filter, 1.0, -1), 0.0);
}

TEST(BiasLevel, ObjectiveAtInfiniteFrequencyIsItsLimit)
{
    program p;
    // B = (0.5, 2) on a full 2 x 2 A, so both integrators are fed directly.
    install(make_ss(2, {-1, 0.5, -2, -3}, {0.5, 2}, {1, 1}));
    fst.cur_filter.cap[0] = 3e-12;
    fst.cur_filter.cap[1] = 1e-12;
    const double limit[2] = {-(0.5 * 3e-12) * (0.5 * 3e-12), -(2 * 1e-12) * (2 * 1e-12)};
    for (int k = 0; k < 2; k++) {
        bst.index = k;
        double at1 = bias_level_neg(fst.ana, fst.cur_filter, 1.0);
        ASSERT_TRUE(std::isfinite(at1));
        EXPECT_NEAR(at1, limit[k], 1e-12 * std::fabs(limit[k]));
        // the objective approaches it continuously
        EXPECT_NEAR(bias_level_neg(fst.ana, fst.cur_filter, 1.0 - 1e-7), limit[k], 1e-5 * std::fabs(limit[k]));
    }
}

TEST(MaxInputLevel, PeaksOfTheButterworthForm)
{
    program p;
    const double c = 1e-12;
    butterworth_with_caps(c, c);
    // Closed forms: (1 + u)/(1 + u^2) peaks at (1 + sqrt2)/2; u (a + u)/(1 + u^2)
    // with a = (1 + sqrt2)^2 at u = (1 + sqrt(1 + a^2))/a.
    double a = (1 + r2) * (1 + r2);
    double u = (1 + std::sqrt(1 + a * a)) / a;
    double want[2] = {c * std::sqrt((1 + r2) / 2), c * std::sqrt(u * (a + u) / (1 + u * u))};
    matrix m = max_input_level(fst.ana, fst.cur_filter);
    ASSERT_EQ(m.rows, 2);
    ASSERT_EQ(m.cols, 1);
    for (int j = 0; j < 2; j++)
        EXPECT_NEAR(at(m, j, 0), want[j], 1e-9 * want[j]);
    // the search scales the frequency axis by |det A|^(1/n)
    EXPECT_DOUBLE_EQ(pks.w0, 1.0);
    freem(&m);
}

TEST(MaxInputLevel, ResonantPeakAwayFromTheMiddleOfTheAxis)
{
    program p;
    // 1/(s^2 + 0.1 s + 100): poles near w = 10, so w0 = 10; with c = (0, 1)
    // the level of integrator 2 is |F_2| sqrt(0.1^2 + w^2) = |jw F_1|
    // sqrt(0.01 + w^2), sampled densely by GSL as the reference.
    install(companion({100, 0.1, 1}, {1}));
    fst.cur_filter.cap[0] = 0.0;
    fst.cur_filter.cap[1] = 1.0;
    ss ref = companion({100, 0.1, 1}, {1});
    double best = 0;
    for (int k = 0; k <= 200000; k++) {
        double w = 9.0 + 2.0 * k / 200000;
        std::vector<cplx> F = F_of(ref, w);
        best = std::max(best, std::abs(F[1]) * std::sqrt(0.01 + w * w));
    }
    matrix m = max_input_level(fst.ana, fst.cur_filter);
    EXPECT_NEAR(pks.w0, 10.0, 1e-12);
    EXPECT_NEAR(at(m, 1, 0), best, 1e-6 * best);
    freem(&m);
}

// The currents charge the capacitors: a new filter, whose values are not set
// (and do not follow ctot), has none, where the report once gave 0 A.
TEST(PrintBias, UnsetCapacitorValuesAreRefused)
{
    program p;
    install(butter2());
    ist.evalc_flag = 0;  // the zero values of the new filter are kept
    testing::internal::CaptureStderr();
    print_bias(p.out, fst);
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::EndsWith(": the capacitor values of this filter are not set.\n"));
    EXPECT_EQ(p.report(), "");
}

}  // namespace
