// The pole/zero list and its cascade of sections.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "approx_eval.h"
#include "filter/pzlist.h"

using namespace approx_test;

namespace {

pz_entry pole(double re, double im) { return pz_entry{re, im, 0.0, 0.0, 0}; }
pz_entry pole_zero(double pr, double pi, double zr, double zi) { return pz_entry{pr, pi, zr, zi, 1}; }

double elem_a(const ss &f, int i, int j) { return A_(f, i, j); }

}  // namespace

// Every section against its closed-form transfer function at a few points
// of the s plane (and at DC where the gain is normalised).
TEST(ApproxCascade, SectionsRealiseTheirClosedForms)
{
    struct Case {
        const char *what;
        pz_entry e;
        double d;
        cd (*h)(cd);
    };
    const Case cases[] = {
        {"real pole", pole(-1, 0), 0.5, [](cd s) { return 1.0 / (s + 1.0); }},
        {"integrator", pole(0, 0), 0.5, [](cd s) { return 1.0 / s; }},
        {"real pole, zero beyond it", pole_zero(-1, 0, -4, 0), 0.5,
         [](cd s) { return 0.25 * (s + 4.0) / (s + 1.0); }},
        {"real pole, zero inside it", pole_zero(-2, 0, -1, 0), 0.5,
         [](cd s) { return (s + 1.0) / (s + 2.0); }},
        {"pair, no zero", pole(-1, 1), 0.5, [](cd s) { return 2.0 / (s * s + 2.0 * s + 2.0); }},
        {"pair, no zero, d = 0", pole(-1, 1), 0.0, [](cd s) { return 2.0 / (s * s + 2.0 * s + 2.0); }},
        {"pair, no zero, d = 1", pole(-0.3, 2), 1.0, [](cd s) { return 4.09 / (s * s + 0.6 * s + 4.09); }},
        // zeros +-2j with poles -1 +- j: k = |p|^2 / |z|^2 = 0.5.
        {"pair, zero pair above", pole_zero(-1, 1, 0, 2), 0.5,
         [](cd s) { return 0.5 * (s * s + 4.0) / (s * s + 2.0 * s + 2.0); }},
        // zeros +-0.5j below the poles: k = 1 (unit gain at high frequency).
        {"pair, zero pair below", pole_zero(-1, 1, 0, 0.5), 0.3,
         [](cd s) { return (s * s + 0.25) / (s * s + 2.0 * s + 2.0); }},
        {"pair, complex zero off the axis", pole_zero(-1, 3, 0.5, 1), 0.5,
         [](cd s) { return (s * s - s + 1.25) / (s * s + 2.0 * s + 10.0); }},
    };
    for (const Case &c : cases) {
        ss f = pz_section(c.e, c.d);
        for (cd s : {cd(0, 0.3), cd(0, 1.7), cd(0.5, 2.0), cd(-0.2, 5.0)})
            EXPECT_LT(std::abs(eval_h(f, s) - c.h(s)), 1e-12 * (1 + std::abs(c.h(s)))) << c.what << " at " << s;
        free_ss(&f);
    }
}

// The real-zero biquad is B(1) (s - z) / (s^2 - 2 pr s + |p|^2); its shape is
// fixed, its gain comes from the normalisation of the section.
TEST(ApproxCascade, RealZeroBiquadHasTheZeroAndThePoles)
{
    ss f = pz_section(pole_zero(-1, 2, -3, 0), 0.5);
    ASSERT_EQ(f.n, 2);
    EXPECT_LT(std::abs(eval_h(f, cd(-3, 0))), 1e-12);
    EXPECT_EQ(f.D, 0.0);
    const cd ref = (cd(0, 1.3) + 3.0) / (cd(0, 1.3) * cd(0, 1.3) + 2.0 * cd(0, 1.3) + 5.0);
    const cd got = eval_h(f, cd(0, 1.3));
    const cd ratio = got / ref;  // the gain B(1), real and positive
    EXPECT_GT(ratio.real(), 0.0);
    EXPECT_NEAR(ratio.imag(), 0.0, 1e-12);
    EXPECT_NEAR(std::abs(eval_h(f, cd(0, 7.0)) / ((cd(0, 7.0) + 3.0) / (cd(0, 7.0) * cd(0, 7.0) + 2.0 * cd(0, 7.0) + 5.0))),
                ratio.real(), 1e-12);
    free_ss(&f);
}

TEST(ApproxCascade, DistributionSharesTheDamping)
{
    struct Case { double d, a11, a22; };
    for (Case c : {Case{0.5, -1, -1}, Case{0.0, 0, -2}, Case{1.0, -2, 0}}) {
        ss f = pz_section(pole(-1, 1), c.d);
        EXPECT_DOUBLE_EQ(elem_a(f, 0, 0), c.a11) << c.d;
        EXPECT_DOUBLE_EQ(elem_a(f, 1, 1), c.a22) << c.d;
        // trace 2 pr, determinant |p|^2 = 2
        EXPECT_NEAR(elem_a(f, 0, 0) * elem_a(f, 1, 1) - elem_a(f, 0, 1) * elem_a(f, 1, 0), 2.0, 1e-14);
        free_ss(&f);
    }
    ss f = pz_section(pole(-1, 1), 0.5);
    EXPECT_DOUBLE_EQ(elem_a(f, 0, 1), 1.0);
    EXPECT_DOUBLE_EQ(elem_a(f, 1, 0), -1.0);
    EXPECT_DOUBLE_EQ(B_(f, 0), -2.0);
    EXPECT_DOUBLE_EQ(B_(f, 1), 0.0);
    EXPECT_DOUBLE_EQ(C_(f, 0), 0.0);
    EXPECT_DOUBLE_EQ(C_(f, 1), 1.0);
    free_ss(&f);
}

// A lightly damped pair far from the origin: |p|^2 - a11 a22 is a difference
// of nearly equal numbers when formed directly; the coupling must keep the
// imaginary part.
TEST(ApproxCascade, CouplingSurvivesRounding)
{
    ss f = pz_section(pole(-1e8, 1e-3), 0.5);
    EXPECT_NE(elem_a(f, 0, 1), 0.0);
    EXPECT_NEAR(elem_a(f, 0, 1), 1e-3, 1e-15);
    std::vector<cd> p = poles_of(f);
    EXPECT_LT(pole_set_distance(p, {cd(-1e8, 1e-3), cd(-1e8, -1e-3)}), 1e-3);
    free_ss(&f);

    // d outside [0, 1] still gives a finite coupling, with the warning.
    testing::internal::CaptureStderr();
    f = pz_section(pole(-1, 1), 1.5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: biquad-generation distribution parameter\nis outside its normal [0:1] range.\n");
    EXPECT_TRUE(std::isfinite(elem_a(f, 0, 1)));
    EXPECT_LT(std::abs(eval_h(f, cd(0, 0.7)) - 2.0 / (cd(0, 0.7) * cd(0, 0.7) + cd(0, 1.4) + 2.0)), 1e-12);
    free_ss(&f);
}

TEST(ApproxCascade, SeriesConnectionMultiplies)
{
    // The list (-1), (-0.5 +- 2j with zeros +-3j), in that order.
    pz_new();
    pz_add_pole(-1, 0);
    pz_add_pole(-0.5, -2);  // the sign of the imaginary part does not matter
    pz_add_zero(0, 3);
    ss f = pz_cascade();
    pz_free();
    ASSERT_EQ(f.n, 3);
    // Section 2: |p|^2 = 4.25 < 9, k = 4.25 / 9.
    auto h = [](cd s) { return 1.0 / (s + 1.0) * (4.25 / 9.0) * (s * s + 9.0) / (s * s + s + 4.25); };
    for (cd s : {cd(0, 0), cd(0, 1), cd(0, 3), cd(1, 1), cd(0, 10)})
        EXPECT_LT(std::abs(eval_h(f, s) - h(s)), 1e-12) << s;
    // The first section drives the second: A is block lower triangular.
    EXPECT_EQ(elem_a(f, 0, 1), 0.0);
    EXPECT_EQ(elem_a(f, 0, 2), 0.0);
    free_ss(&f);

    // One pair with its zero pair: 0.5 s^2 + 2 over s^2 + 2 s + 2.
    pz_new();
    pz_add_pole(-1, 1);
    pz_add_zero(0, 2);
    f = pz_cascade();
    pz_free();
    ASSERT_EQ(f.n, 2);
    EXPECT_DOUBLE_EQ(f.D, 0.5);
    for (cd s : {cd(0, 0), cd(0, 2), cd(0.3, -1)})
        EXPECT_LT(std::abs(eval_h(f, s) - (0.5 * s * s + 2.0) / (s * s + 2.0 * s + 2.0)), 1e-12);
    free_ss(&f);
}

TEST(ApproxCascade, ListGrowsPastItsCapacity)
{
    pz_new();
    for (int i = 1; i <= 13; i++)
        pz_add_pole(-i, 0);
    EXPECT_EQ(pz_list.entries.size(), 13u);
    ss f = pz_cascade();
    pz_free();
    ASSERT_EQ(f.n, 13);
    // prod i / (s + i), i = 1 .. 13: unit gain at DC.
    cd ref = 1.0;
    const cd s(0.2, 0.9);
    for (int i = 1; i <= 13; i++)
        ref *= double(i) / (s + double(i));
    EXPECT_LT(std::abs(eval_h(f, s) - ref), 1e-12);
    EXPECT_NEAR(eval_h(f, 0.0).real(), 1.0, 1e-12);
    free_ss(&f);
}

TEST(ApproxCascade, RealPoleWithComplexZeroIsRefused)
{
    pz_new();
    pz_add_pole(-1, 0);
    pz_add_zero(0, 2);
    testing::internal::CaptureStderr();
    ss f = pz_cascade();
    const std::string err = testing::internal::GetCapturedStderr();
    pz_free();
    EXPECT_EQ(f.n, 0);
    EXPECT_NE(err.find("complex zero"), std::string::npos) << err;
}

// |p|^2 or |z|^2 beyond double range would give infinite or undefined
// elements; the cascade refuses them. Large values that stay in range are
// realised.
TEST(ApproxCascade, PolesOrZerosOutOfRangeAreRefused)
{
    struct Case {
        double pr, pi, zr, zi;
        bool zero, refused;
    };
    const Case cases[] = {
        {-1, 1, 1e300, 1e300, true, true},
        {-1e300, 1e300, 0, 0, false, true},
        {-1e200, 0, 0, 0, false, false},
        {-1, 1, 0, 1e100, true, false},
    };
    for (const Case &c : cases) {
        pz_new();
        pz_add_pole(c.pr, c.pi);
        if (c.zero)
            pz_add_zero(c.zr, c.zi);
        testing::internal::CaptureStderr();
        ss f = pz_cascade();
        const std::string err = testing::internal::GetCapturedStderr();
        pz_free();
        SCOPED_TRACE(testing::Message() << "pole " << c.pr << "+-j" << c.pi << " zero " << c.zr << "+-j" << c.zi);
        if (c.refused) {
            EXPECT_EQ(f.n, 0);
            EXPECT_NE(err.find("poles or zeros out of range"), std::string::npos) << err;
        } else {
            ASSERT_GT(f.n, 0);
            EXPECT_EQ(err, "");
            // Unit gain at DC; for the pair the zeros far above make the
            // high-frequency gain k = |p|^2 / |z|^2 = 2e-200.
            EXPECT_NEAR(eval_h(f, 0.0).real(), 1.0, 1e-12);
            if (c.zero) {
                EXPECT_NEAR(f.D / 2e-200, 1.0, 1e-12);
            }
        }
        free_ss(&f);
    }
}

TEST(ApproxCascadeDeathTest, ZeroWithoutPoleEndsTheProgram)
{
    EXPECT_EXIT(
        {
            pz_new();
            pz_add_zero(0, 1);
        },
        testing::ExitedWithCode(1), "trying to add zero with no pole defined");
}
