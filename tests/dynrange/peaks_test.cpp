// Peak searches over frequency against the closed-form peaks of
// second-order sections 1 / (s^2 + s / Q + 1) and s / (s^2 + s / Q + 1).
#include <gtest/gtest.h>

#include <cmath>

#include "dr_helpers.h"
#include "dynrange/peaks.h"
#include "numeric/vector.h"

using namespace drt;

namespace {

// Lowpass peak Q / sqrt(1 - 1 / (4 Q^2)) for Q > 1 / sqrt 2, else 1 at w = 0.
double lowpass_peak(double Q) { return Q > M_SQRT1_2 ? Q / std::sqrt(1 - 1 / (4 * Q * Q)) : 1.0; }

TEST(LinfPeaks, SecondOrderSectionsClosedForm)
{
    struct peak_case {
        double Q;
        double scale;  // frequency of the section: s -> s / scale
        int grid;
    };
    const peak_case cases[] = {
        {0.5, 1, 50}, {0.8, 1, 50}, {2, 1, 50}, {10, 1, 50},
        {2, 1e4, 50}, {10, 1e-3, 50}, {2, 1, 2}, {0.6, 1, 2},
        // det A = a^4 lies beyond the range of a double: w0 must still be a
        {2, 1e100, 50}, {0.8, 1e-100, 50},
        // resonances far narrower than the grid's spacing
        {100, 1, 50}, {1000, 3, 50}, {1e4, 1e-2, 2},
    };
    for (const auto &c : cases) {
        program p;
        ist.scale_grid = c.grid;
        // companion form of 1 / ((s/a)^2 + (s/a) / Q + 1) = a^2 / (s^2 + a s / Q + a^2),
        // with B = a^2 and C = (1, 0): F_1 = H, F_2 = s F_1 (so |F_2| peaks at a Q)
        double a = c.scale;
        install(make_ss(2, {0, 1, -a * a, -a / c.Q}, {0, a * a}, {1, 0}));
        vector t = linf_peaks(fst.ana);
        ASSERT_EQ(t.n, 2);
        double want1 = lowpass_peak(c.Q), want2 = a * c.Q;
        EXPECT_NEAR(t.data[0], want1, 1e-6 * want1) << "Q=" << c.Q << " a=" << a << " N=" << c.grid;
        EXPECT_NEAR(t.data[1], want2, 1e-6 * want2) << "Q=" << c.Q << " a=" << a << " N=" << c.grid;
        EXPECT_NEAR(pks.w0, a, 1e-12 * a);
        EXPECT_NEAR(linf_peak_h(fst.ana), want1, 1e-6 * want1) << "Q=" << c.Q;
        freevector(&t);
    }
}

TEST(LinfPeaks, GridScanPicksEarliestBestPoint)
{
    program p;
    ist.scale_grid = 10;
    // first-order lowpass: |F| falls with w, the best grid point is w = 0
    install(make_ss(1, {-2}, {3}, {1}));
    pks.w0 = 2;
    ivector g = linf_grid_scan(fst.ana);
    ASSERT_EQ(g.n, 2);
    EXPECT_EQ(g.data[0], 0);
    EXPECT_EQ(g.data[1], 10);
    vector t = linf_peaks(fst.ana);
    EXPECT_NEAR(t.data[0], 1.5, 1e-12);  // |F(0)| = 3 / 2
    // a state that the input never reaches keeps index 0 and top 0
    install(make_ss(2, {-1, 0, 0, -1}, {1, 0}, {1, 1}));
    ivector g2 = linf_grid_scan(fst.ana);
    EXPECT_EQ(g2.data[1], 0);
    vector t2 = linf_peaks(fst.ana);
    EXPECT_EQ(t2.data[1], 0.0);
}

TEST(LinfPeaks, MappingOfTheFrequencyAxis)
{
    pks.w0 = 3;
    EXPECT_EQ(map_freq(0), 0);
    EXPECT_DOUBLE_EQ(map_freq(0.5), 3);
    EXPECT_DOUBLE_EQ(map_freq(0.75), 9);
    EXPECT_DOUBLE_EQ(map_freq_deriv(0.5), 12);
    // the derivative of the objective agrees with a central difference
    program p;
    install(butter2());
    pks.w0 = 1;
    for (int k : {0, 1, 2}) {
        pks.component = k;
        for (double x : {0.2, 0.5, 0.8}) {
            double f, df, h = 1e-6;
            peak_fdf(fst.ana, x, &f, &df);
            EXPECT_DOUBLE_EQ(f, peak_f(fst.ana, x));
            EXPECT_NEAR(df, (peak_f(fst.ana, x + h) - peak_f(fst.ana, x - h)) / (2 * h), 1e-6) << k << " " << x;
        }
        double f = 1, df = 1;
        peak_fdf(fst.ana, 1.0, &f, &df);
        EXPECT_EQ(f, 0);
        EXPECT_EQ(df, 0);
    }
}

}  // namespace
