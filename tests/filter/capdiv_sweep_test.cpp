// Division of the total capacitance, and the frequency and time sweeps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "filter/capdiv.h"
#include "filter/sweep.h"
#include "fixture.h"
#include "numeric/matrix.h"

namespace {

TEST(CapacitanceDivision, EqualOptimalAndRefused)
{
    fx::setup_vars();
    set_var_number("ctot", 1e-10);
    cap_ss f;
    static_cast<ss &>(f) = fx::make_ss(2, {0, 0, 0, 0}, {1, 4}, {1, 1});
    new_caps(&f, 2);
    matrix W = mid(2, 2);

    divide_caps(f, W, 0);
    EXPECT_DOUBLE_EQ(f.cap[0], 5e-11);
    EXPECT_DOUBLE_EQ(f.cap[1], 5e-11);

    // W = I, A = 0, B = (1, 4): c proportional to sqrt(1), sqrt(4)
    divide_caps(f, W, 1);
    EXPECT_NEAR(f.cap[0], 1e-10 / 3, 1e-24);
    EXPECT_NEAR(f.cap[1], 2e-10 / 3, 1e-24);

    // without W, or with no noise anywhere, the values stay as they were
    int status = ist.exit_status;
    divide_caps(f, matrix(), 1);
    matrix Z = newm(2, 2);
    divide_caps(f, Z, 1);
    EXPECT_NEAR(f.cap[0], 1e-10 / 3, 1e-24);
    EXPECT_EQ(ist.exit_status, 1);
    ist.exit_status = status;

    freem(&W);
    freem(&Z);
    free_cap_ss(&f);
}

TEST(CapacitanceDivision, FourEqualParts)
{
    fx::setup_vars();
    set_var_number("ctot", 1e-10);
    cap_ss f = new_cap_ss(4);
    divide_caps(f, matrix(), 0);
    for (int i = 0; i < 4; i++)
        EXPECT_DOUBLE_EQ(f.cap[i], 2.5e-11);
    free_cap_ss(&f);
}

TEST(Sweeps, LinearLogarithmicAndTime)
{
    clear_sweeps();
    ASSERT_EQ(set_freq_sweep(0, 1000, 10, 0), 1);
    freq_table_lin();
    ASSERT_EQ(pst.freq_last, 10);
    for (int i = 0; i <= 10; i++)
        EXPECT_DOUBLE_EQ(pst.freq_values[i], 100.0 * i);

    ASSERT_EQ(set_freq_sweep(1, 1000, 10, 1), 1);
    freq_table_log();
    EXPECT_EQ(pst.freq_values[0], 1.0);
    EXPECT_NEAR(pst.freq_values[1], std::pow(10.0, 0.1), 1e-15);
    EXPECT_NEAR(pst.freq_values[pst.freq_last], 1000, 1e-9 * 1000 * 1.26);

    ASSERT_EQ(set_freq_sweep(1000, 1, 10, 1), 1);
    freq_table_log();
    EXPECT_EQ(pst.freq_values[0], 1000.0);
    EXPECT_LT(pst.freq_values[1], 1000.0);

    ASSERT_EQ(set_time_sweep(0, 2, 4), 1);
    time_table();
    EXPECT_EQ(pst.time_last, 4);
    EXPECT_DOUBLE_EQ(pst.time_values[3], 1.5);
    clear_plot_columns();
}

TEST(Sweeps, BadSweepsRefusedOldOneKept)
{
    int status = ist.exit_status;
    ASSERT_EQ(set_freq_sweep(1, 100, 5, 1), 1);
    ASSERT_EQ(set_time_sweep(0, 1, 10), 1);
    struct { double a, b; int n, log; } bad[] = {{0, 100, 10, 1}, {-1, 100, 10, 1}, {1, 100, 0, 1},
                                                 {0, 100, 0, 0}, {0, 100, -3, 0}};
    for (auto &b : bad)
        EXPECT_EQ(set_freq_sweep(b.a, b.b, b.n, b.log), 0);
    EXPECT_EQ(set_time_sweep(0, 1, 0), 0);
    EXPECT_EQ(pst.freq_start, 1);
    EXPECT_EQ(pst.freq_points, 5);
    EXPECT_EQ(pst.freq_log, 1);
    EXPECT_EQ(pst.time_points, 10);
    EXPECT_EQ(ist.exit_status, 1);
    ist.exit_status = status;
}

// Logarithmic sweeps whose bounds are far apart: the count comes from the
// decades between them, which stop / start alone cannot give when it
// overflows (1e-300 to 1e300) or when a bound is subnormal. The last value
// of 4.9e-324 (stored as 2^-1074) times 10 per point for 323 points is
// 10^323 * 2^-1074 = 0.4940656458412465 (mpmath, 30 digits), and the other
// last values are 10^(last / points per decade) times the start.
TEST(Sweeps, WideLogarithmicSweeps)
{
    struct {
        double start, stop;
        int per_decade;
        int last;         // index of the last point; -1: refused
        double last_value;
    } cases[] = {
        {1e-300, 1e300, 1000, 600000, 1e300},
        {1e300, 1e-300, 1000, 600000, 1e-300},
        {4.9e-324, 1, 1, 323, 0.4940656458412465},
        {1, 1.7e308, 3000, 924691, 1.6995476029800456e308},  // 10^(924691 / 3000)
        {1e-300, 1e300, 1700, -1, 0},  // 1020000 points
        {2, 2000, 10, 30, 2000},       // the quotient 1000, as before
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.start);
        int status = ist.exit_status;
        testing::internal::CaptureStderr();
        int ok = set_freq_sweep(c.start, c.stop, c.per_decade, 1);
        std::string err = testing::internal::GetCapturedStderr();
        if (c.last < 0) {
            EXPECT_EQ(ok, 0);
            EXPECT_THAT(err, testing::HasSubstr("frequency sweep of more than 1000000 points"));
            ist.exit_status = status;
            continue;
        }
        ASSERT_EQ(ok, 1) << err;
        EXPECT_EQ(err, "");
        freq_table_log();
        ASSERT_EQ(pst.freq_last, c.last);
        EXPECT_EQ(pst.freq_values[0], c.start);
        double last = pst.freq_values[pst.freq_last];
        // a running product of up to 924691 factors: 1e-9 relative
        EXPECT_NEAR(last, c.last_value, 1e-9 * c.last_value);
    }
    clear_plot_columns();
}

// A sweep of more than a million points (2^31 - 1 intervals, or 2e9 points
// per decade over 600 decades) is refused as a sweep, with the old one kept;
// a table whose count an int cannot hold, should its settings get there by
// another way, ends the program with the allocation message instead of
// overflowing the count.
TEST(Sweeps, PointCountsBeyondTheBoundAreRefused)
{
    int status = ist.exit_status;
    ASSERT_EQ(set_freq_sweep(1, 100, 5, 1), 1);
    ASSERT_EQ(set_time_sweep(0, 1, 10), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(set_freq_sweep(0, 1, 2147483647, 0), 0);
    EXPECT_EQ(set_freq_sweep(1e-300, 1e300, 2000000000, 1), 0);
    EXPECT_EQ(set_freq_sweep(1, 10, 1000001, 1), 0);
    EXPECT_EQ(set_time_sweep(0, 1, 2147483647), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, testing::HasSubstr("frequency sweep of more than 1000000 points"));
    EXPECT_THAT(err, testing::HasSubstr("time sweep of more than 1000000 points"));
    EXPECT_EQ(pst.freq_points, 5);
    EXPECT_EQ(pst.time_points, 10);
    EXPECT_EQ(set_freq_sweep(1, 10, 1000000, 1), 1);
    EXPECT_EQ(ist.exit_status, 1);
    ist.exit_status = status;

    struct {
        const char *name;
        void (*build)();
        const char *message;
    } cases[] = {
        {"linear", [] { pst.freq_start = 0, pst.freq_stop = 1, pst.freq_points = 2147483647; freq_table_lin(); },
         "could not allocate space for frequency table"},
        {"logarithmic",
         [] { pst.freq_start = 1e-300, pst.freq_stop = 1e300, pst.freq_points = 2000000000; freq_table_log(); },
         "could not allocate space for frequency table"},
        {"time", [] { pst.time_start = 0, pst.time_stop = 1, pst.time_points = 2147483647; time_table(); },
         "could not allocate space for time table"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(c.build(), testing::ExitedWithCode(1), testing::HasSubstr(c.message));
    }
}

TEST(Sweeps, SelectionsAndNamedColumns)
{
    fx::setup_vars();
    clear_sweeps();
    init_plot_settings();
    plot_relsens(1);
    plot_h_magn();
    plot_h_db();
    plot_f_step();
    plot_expression("si");
    plot_expression("nosuchname");
    EXPECT_EQ(pst.relsens_col, 1);
    EXPECT_EQ(pst.h_cols, COL_MAGN | COL_DB);
    EXPECT_EQ(pst.f_time, COL_STEP);
    EXPECT_EQ(pst.freq_requested, 1);
    EXPECT_EQ(pst.time_requested, 1);
    ASSERT_NE(pst.plot_vars, nullptr);
    EXPECT_EQ(pst.plot_vars->entries.size(), 1u);
    init_plot_settings();
    EXPECT_EQ(pst.h_cols, 0);
    EXPECT_EQ(pst.plot_vars->entries.size(), 0u);
    clear_plot_columns();
    EXPECT_EQ(pst.plot_vars, nullptr);
}

}  // namespace
