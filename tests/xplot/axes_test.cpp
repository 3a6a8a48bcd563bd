// Axis rounding, data ranges, the zoom mapping and segment clipping of the
// plot window, all without a display.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <limits>

#include "xplot/xplot.h"

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan_v = std::numeric_limits<double>::quiet_NaN();

struct steps_case {
    double min, max;
    int n;
    double want_min, want_max, want_step;
    int want_mant;
};

// Worked by hand from the rule: a step of m * 10^k (m = 1, 2, 5, 10) near
// |max - min| / n, bounds moved outward to whole steps, a negative minimum
// always one step further down, equal bounds one step apart.
TEST(AdjustSteps, RoundsOutwardToWholeSteps)
{
    const steps_case cases[] = {
        {-5, 5, 2, -10, 5, 5, 5},       // negative exact multiple moves down
        {0, 37.2, 4, 0, 40, 10, 10},    // raw step 9.3 -> mantissa 10
        {0, 37.2, 0, 0, 50, 50, 5},     // n below 1 counts as 1: raw 37.2
        {-9, -2, 4, -10, -2, 1, 1},     // negative minimum: next whole step down
        {0.013, 0.047, 3, 0.01, 0.05, 0.01, 1},
        {5, 5, 3, 5, 5.1, 0.1, 10},     // constant curve: step 0.1
        {0, 0, 5, 0, 0.1, 0.1, 10},     // all-zero curve
        {-1e6, 3e6, 4, -2e6, 3e6, 1e6, 10},  // raw step exactly 1e6: mantissa 10
    };
    for (const auto &c : cases) {
        double lo = c.min, hi = c.max;
        int mant = -1;
        double step = tevo_xplot_adjust_steps(&hi, &lo, c.n, &mant);
        SCOPED_TRACE(testing::Message() << "[" << c.min << ", " << c.max << "] n=" << c.n);
        double tol = 1e-12 * std::max(1.0, std::fabs(c.want_max - c.want_min));
        EXPECT_NEAR(lo, c.want_min, tol);
        EXPECT_NEAR(hi, c.want_max, tol);
        EXPECT_NEAR(step, c.want_step, 1e-12 * c.want_step);
        EXPECT_EQ(mant, c.want_mant);
    }
}

// Over a spread of ranges the result always covers the data, has a step of
// 1, 2, 5 or 10 times a power of ten, and spans a whole and small number of
// steps.
TEST(AdjustSteps, ResultCoversDataInWholeSteps)
{
    const double ranges[][2] = {{0, 1},       {-1, 1},    {0.3, 0.31},   {-273.15, 1e3},
                                {1e-9, 3e-9}, {-7e7, -3}, {12345, 12399}, {-0.004, 0.0071}};
    for (const auto &r : ranges)
        for (int n = 1; n <= 10; n++) {
            double lo = r[0], hi = r[1];
            int mant = 0;
            double step = tevo_xplot_adjust_steps(&hi, &lo, n, &mant);
            SCOPED_TRACE(testing::Message() << "[" << r[0] << ", " << r[1] << "] n=" << n);
            EXPECT_LE(lo, r[0]);
            EXPECT_GE(hi, r[1] - 1e-12 * std::fabs(r[1]));
            EXPECT_TRUE(mant == 1 || mant == 2 || mant == 5 || mant == 10);
            double decade = step / mant;
            double k = std::log10(decade);
            EXPECT_NEAR(k, std::round(k), 1e-9);
            double nsteps = (hi - lo) / step;
            EXPECT_NEAR(nsteps, std::round(nsteps), 1e-6);
            EXPECT_GE(std::round(nsteps), 1);
            EXPECT_LE(std::round(nsteps), 2 * n + 3);
        }
}

// Data that the rule alone cannot handle: huge, tiny, infinite or NaN
// bounds. Each call must return (no endless scaling loop) with finite,
// ordered bounds and a positive finite step.
TEST(AdjustSteps, DegenerateBoundsGiveSaneRange)
{
    const double bounds[][2] = {{1e300, 1e300}, {-1e308, 1e308}, {1e-320, -1e-320},
                                {0, inf},       {-inf, inf},     {nan_v, 1},
                                {nan_v, nan_v}, {-inf, -inf},    {1e17, 1e17 + 16}};
    for (const auto &b : bounds) {
        double lo = b[0], hi = b[1];
        int mant = 0;
        double step = tevo_xplot_adjust_steps(&hi, &lo, 3, &mant);
        SCOPED_TRACE(testing::Message() << "[" << b[0] << ", " << b[1] << "]");
        EXPECT_TRUE(std::isfinite(lo));
        EXPECT_TRUE(std::isfinite(hi));
        EXPECT_LT(lo, hi);
        EXPECT_TRUE(std::isfinite(step));
        EXPECT_GT(step, 0);
    }
}

struct log_case {
    double min, max;
    int n;
    double want_min, want_max;
    int want_k;
};

TEST(AdjustStepsLog, RoundsToWholeDecades)
{
    const log_case cases[] = {
        {1, 1000, 4, 1, 1000, 10},      // fourth root of 1000 about 5.6
        {1, 100, 1, 1, 100, 100},       // one label: every 100-fold
        {1000, 1, 4, 1, 1000, 10},      // bounds in either order
        {3, 4000, 2, 1, 10000, 10},     // sqrt(1333) = 36.5
        {0.02, 3e7, 2, 0.01, 1e8, 10000},  // sqrt(1.5e9) = 38730
        {0.999995, 1000.0000005, 3, 1, 1000, 10},  // within the decade tolerances
        {0.5, 0.5, 1, 0.1, 1, 10},      // one value inside a decade
        {10, 10, 3, 10, 100, 10},       // one value on a decade: that decade is shown
        {1, 1e300, 1, 1, 1e150, 1000000000},  // factor capped, ratio kept finite
    };
    for (const auto &c : cases) {
        double lo = c.min, hi = c.max;
        int k = tevo_xplot_adjust_steps_log(&hi, &lo, c.n);
        SCOPED_TRACE(testing::Message() << "[" << c.min << ", " << c.max << "] n=" << c.n);
        EXPECT_NEAR(lo / c.want_min, 1, 1e-12);
        EXPECT_NEAR(hi / c.want_max, 1, 1e-12);
        EXPECT_EQ(k, c.want_k);
    }
}

TEST(AdjustStepsLogDeathTest, BoundAtOrBelowZeroIsFatal)
{
    double lo = -1, hi = 10;
    EXPECT_EXIT(tevo_xplot_adjust_steps_log(&hi, &lo, 3), testing::ExitedWithCode(1),
                "tevo_xplot_adjust_steps_log: negative number in logarithmic range: -1, 10");
    lo = 0;
    EXPECT_EXIT(tevo_xplot_adjust_steps_log(&hi, &lo, 3), testing::ExitedWithCode(1),
                "negative number in logarithmic range: 0, 10");
}

TEST(PlotRound, HalvesAwayFromZeroAndSaturates)
{
    const struct {
        double v;
        int want;
    } cases[] = {
        {0.0, 0},
        {0.49, 0},
        {0.5, 1},
        {2.5, 3},
        {-0.5, -1},
        {-2.5, -3},
        {-0.49, 0},
        {2147483645.4, 2147483645},
        {2147483645.7, 2147483646},
        {2147483646.0, INT_MAX},
        {-2147483646.6, -2147483647},
        {-2147483647.0, INT_MIN},
        {1e300, INT_MAX},
        {-1e300, INT_MIN},
        {inf, INT_MAX},
        {-inf, INT_MIN},
    };
    for (const auto &c : cases)
        EXPECT_EQ(plot_round(c.v), c.want) << c.v;
}

// A state over fixed arrays for the range and mapping tests.
struct state_fixture : testing::Test {
    double x[4] = {1, 2, 3, 4};
    double c0[4] = {0, -1, 5, 2};
    double c1[4] = {2, nan_v, -inf, 4.5};
    double *curves[2] = {c0, c1};
    plot_state s;
    void SetUp() override
    {
        s.npoints = 4;
        s.ncurves = 2;
        s.x = x;
        s.y = curves;
    }
};

using DataRange = state_fixture;

TEST_F(DataRange, SpansFiniteValuesOfAllCurves)
{
    plot_data_range(&s);
    EXPECT_EQ(s.x_lo, 1);
    EXPECT_EQ(s.x_hi, 4);
    EXPECT_EQ(s.y_lo, -1);  // -inf and NaN of the second curve are skipped
    EXPECT_EQ(s.y_hi, 5);
}

TEST_F(DataRange, FirstValuesNotFiniteStillSpanTheRest)
{
    c0[0] = inf;
    x[0] = nan_v;
    plot_data_range(&s);
    EXPECT_EQ(s.x_lo, 2);
    EXPECT_EQ(s.x_hi, 4);
    EXPECT_EQ(s.y_lo, -1);
    EXPECT_EQ(s.y_hi, 5);
}

TEST_F(DataRange, LogarithmicAxisSkipsValuesAtOrBelowZero)
{
    x[0] = 0;
    x[1] = -3;
    s.xscale = 'l';
    plot_data_range(&s);
    EXPECT_EQ(s.x_lo, 3);
    EXPECT_EQ(s.x_hi, 4);
}

TEST_F(DataRange, NoCurvesOrNoFiniteValuesGiveDefaultRanges)
{
    s.ncurves = 0;
    plot_data_range(&s);
    EXPECT_EQ(s.x_lo, 1);
    EXPECT_EQ(s.x_hi, 4);
    EXPECT_EQ(s.y_lo, 0);
    EXPECT_EQ(s.y_hi, 1);

    s.ncurves = 1;
    for (double &v : c0)
        v = nan_v;
    s.npoints = 0;
    s.xscale = 'l';
    plot_data_range(&s);
    EXPECT_EQ(s.x_lo, 1);
    EXPECT_EQ(s.x_hi, 10);
    EXPECT_EQ(s.y_lo, 0);
    EXPECT_EQ(s.y_hi, 1);
}

// The plot area of the zoom tests: x0 = 10, y0 = 5, 200 x 100 pixels,
// showing x 0 .. 100 and y -1 .. 1.
struct Zoom : state_fixture {
    void SetUp() override
    {
        state_fixture::SetUp();
        s.x0 = 10;
        s.y0 = 5;
        s.plot_w = 200;
        s.plot_h = 100;
        s.x_lo_shown = 0;
        s.x_hi_shown = 100;
        s.y_lo_shown = -1;
        s.y_hi_shown = 1;
    }
};

TEST_F(Zoom, RectangleMapsToValuesInAnyDragDirection)
{
    // Pixels 60 .. 160 are a quarter and three quarters across; rows 30 .. 80
    // a quarter and three quarters down, so y runs from -0.5 to 0.5.
    const int drags[][4] = {{60, 30, 160, 80}, {160, 80, 60, 30}, {160, 30, 60, 80}, {60, 80, 160, 30}};
    for (const auto &d : drags) {
        ASSERT_TRUE(plot_zoom(&s, d[0], d[1], d[2], d[3]));
        EXPECT_DOUBLE_EQ(s.x_lo, 25);
        EXPECT_DOUBLE_EQ(s.x_hi, 75);
        EXPECT_DOUBLE_EQ(s.y_lo, -0.5);
        EXPECT_DOUBLE_EQ(s.y_hi, 0.5);
    }
}

TEST_F(Zoom, RectangleIsClampedToThePlotArea)
{
    ASSERT_TRUE(plot_zoom(&s, -50, -50, 400, 400));
    EXPECT_DOUBLE_EQ(s.x_lo, 0);
    EXPECT_DOUBLE_EQ(s.x_hi, 100);
    EXPECT_DOUBLE_EQ(s.y_lo, -1);
    EXPECT_DOUBLE_EQ(s.y_hi, 1);
}

TEST_F(Zoom, RectangleUnderTwoPixelsIsIgnored)
{
    s.x_lo = 7;
    s.x_hi = 8;
    s.y_lo = 9;
    s.y_hi = 10;
    const int drags[][4] = {{60, 30, 61, 80},   {60, 30, 160, 31}, {60, 30, 60, 30},
                            {300, 30, 400, 80}, {0, 30, 5, 80}};  // last two: outside, clamped flat
    for (const auto &d : drags) {
        EXPECT_FALSE(plot_zoom(&s, d[0], d[1], d[2], d[3]));
        EXPECT_EQ(s.x_lo, 7);
        EXPECT_EQ(s.x_hi, 8);
        EXPECT_EQ(s.y_lo, 9);
        EXPECT_EQ(s.y_hi, 10);
    }
}

TEST_F(Zoom, LogarithmicAxisInvertsTheLogarithmicPlacement)
{
    // 1 .. 1000 over 300 pixels: each 100 pixels are one decade.
    s.xscale = 'l';
    s.x0 = 0;
    s.plot_w = 300;
    s.x_lo_shown = 1;
    s.x_hi_shown = 1000;
    ASSERT_TRUE(plot_zoom(&s, 100, 30, 200, 80));
    EXPECT_NEAR(s.x_lo, 10, 1e-12);
    EXPECT_NEAR(s.x_hi, 100, 1e-10);
    EXPECT_GT(s.x_lo, 0);
    for (double v : {1.0, 3.7, 42.0, 999.0})
        EXPECT_NEAR(plot_x_value(&s, s.x0 + plot_x_offset(&s, v)), v, 1e-12 * v);
    // Even the left edge maps to the lower bound, never to 0.
    ASSERT_TRUE(plot_zoom(&s, -20, 30, 2, 80));
    EXPECT_DOUBLE_EQ(s.x_lo, 1);
}

TEST(RubberRect, SpansBothPointsInAnyOrder)
{
    for (const auto &p : {std::array<int, 4>{10, 40, 50, 90}, std::array<int, 4>{50, 90, 10, 40},
                          std::array<int, 4>{10, 90, 50, 40}}) {
        XRectangle r = rubber_rect(p[0], p[1], p[2], p[3]);
        EXPECT_EQ(r.x, 10);
        EXPECT_EQ(r.y, 40);
        EXPECT_EQ(r.width, 40);
        EXPECT_EQ(r.height, 50);
    }
}

TEST(ClipSegment, KeepsThePartInsideTheRectangle)
{
    // Rectangle 0 .. 100 x 0 .. 50.
    const struct {
        double xa, ya, xb, yb;
        bool inside;
        double cxa, cya, cxb, cyb;
    } cases[] = {
        {10, 10, 90, 40, true, 10, 10, 90, 40},     // wholly inside
        {-100, 25, 200, 25, true, 0, 25, 100, 25},  // across both sides
        {50, -1e12, 50, 1e12, true, 50, 0, 50, 50}, // a far vertical line
        {-10, -10, 20, 20, true, 0, 0, 20, 20},     // through a corner
        {-10, 60, 200, 60, false, 0, 0, 0, 0},      // wholly below
        {110, 10, 120, 40, false, 0, 0, 0, 0},      // wholly right
        {-20, 40, 10, 70, false, 0, 0, 0, 0},       // passes the corner outside
    };
    for (const auto &c : cases) {
        double xa = c.xa, ya = c.ya, xb = c.xb, yb = c.yb;
        bool got = clip_segment(&xa, &ya, &xb, &yb, 0, 0, 100, 50);
        SCOPED_TRACE(testing::Message() << c.xa << "," << c.ya << " - " << c.xb << "," << c.yb);
        ASSERT_EQ(got, c.inside);
        if (!got)
            continue;
        EXPECT_NEAR(xa, c.cxa, 1e-9);
        EXPECT_NEAR(ya, c.cya, 1e-9);
        EXPECT_NEAR(xb, c.cxb, 1e-9);
        EXPECT_NEAR(yb, c.cyb, 1e-9);
    }
}

// Layout with a fixed-width font of 6-pixel characters, ascent 10 and
// descent 3 (a line of 13 pixels). XTextWidth reads only the font record.
struct Layout : state_fixture {
    XFontStruct font{};
    char label0[8] = "magn(H)";
    char label1[8] = "db(H)";
    char *labels[2] = {label0, label1};
    double xs[4] = {0, 250, 600, 1000};
    double ys[4] = {0, 10, 37.2, 20};
    double *ycurves[1] = {ys};
    void SetUp() override
    {
        state_fixture::SetUp();
        font.min_bounds.width = font.max_bounds.width = 6;
        font.ascent = font.max_bounds.ascent = 10;
        font.descent = font.max_bounds.descent = 3;
        font.min_char_or_byte2 = 0;
        font.max_char_or_byte2 = 255;
        s.font = &font;
        s.line_h = 13;
        s.labels = labels;
        s.ncurves = 1;
        s.x = xs;
        s.y = ycurves;
        plot_data_range(&s);
    }
};

TEST_F(Layout, MarginsAndStepsOfA300By200Window)
{
    plot_layout_size(&s, 300, 200);
    // 200 / 65 = 3 y labels wanted: raw step 12.4 -> 10, range 0 .. 40.
    EXPECT_DOUBLE_EQ(s.y_lo_shown, 0);
    EXPECT_DOUBLE_EQ(s.y_hi_shown, 40);
    EXPECT_DOUBLE_EQ(s.y_step, 10);
    // Widest y label "10" .. "40": 12 pixels, plus 5.
    EXPECT_EQ(s.x0, 17);
    EXPECT_EQ(s.y0, 15);
    EXPECT_EQ(s.plot_h, 200 - 30 - 1);
    // Legend "magn(H)": 42 + 5 pixels; 300 - 17 - 47 - 10.
    EXPECT_EQ(s.plot_w, 226);
    // 226 / 60 = 3, plus one, minus one: 3 labels over 0 .. 1000 give a step
    // of 500, and "1000" (24 pixels) fits 1.5 times in 113 pixels.
    EXPECT_DOUBLE_EQ(s.x_lo_shown, 0);
    EXPECT_DOUBLE_EQ(s.x_hi_shown, 1000);
    EXPECT_DOUBLE_EQ(s.x_step, 500);
    EXPECT_EQ(s.x_mant, 5);
}

TEST_F(Layout, LabelsOfANarrowWindowAreSpacedOrReduced)
{
    xs[0] = 1000;  // labels 1000 .. 1250: 4 digits each
    xs[1] = 1100;
    xs[2] = 1200;
    xs[3] = 1237;
    plot_data_range(&s);
    double lo1 = 1000, hi1 = 1237;
    int mant1;
    double step_one_label = tevo_xplot_adjust_steps(&hi1, &lo1, 1, &mant1);
    for (int width : {120, 180, 250, 400, 800}) {
        plot_layout_size(&s, width, 200);
        SCOPED_TRACE(width);
        EXPECT_LE(s.x_lo_shown, 1000);
        EXPECT_GE(s.x_hi_shown, 1237);
        // Neighbouring labels at least one and a half label widths apart,
        // or else as few labels as one wanted label gives.
        double label_px = s.plot_w * s.x_step / (s.x_hi_shown - s.x_lo_shown);
        EXPECT_TRUE(label_px >= 1.5 * 4 * 6 || s.x_step >= step_one_label)
            << "step " << s.x_step << " at " << label_px << " pixels";
    }
}

TEST_F(Layout, LogarithmicAxisGetsDecadeFactor)
{
    xs[0] = 0.1;
    xs[1] = 0.5;
    xs[2] = 2;
    xs[3] = 10;
    s.xscale = 'l';
    plot_data_range(&s);
    plot_layout_size(&s, 300, 200);
    EXPECT_DOUBLE_EQ(s.x_lo_shown, 0.1);
    EXPECT_DOUBLE_EQ(s.x_hi_shown, 10);
    EXPECT_EQ(s.x_decade, 10);
}

}  // namespace
