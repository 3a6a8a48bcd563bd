// Filter reports: titles, noise, maximum output level, dynamic range, poles
// and zeros, byte for byte where the text is fixed.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <sstream>
#include <string>

#include "dr_helpers.h"
#include "dynrange/peaks.h"
#include "dynrange/dr_report.h"
#include "filter/approx.h"
#include "filter/report.h"
#include "filter/transform.h"
#include "base/error.h"

using namespace drt;

namespace {

std::string title(const char *text, int width)
{
    FILE *f = tmpfile();
    print_title(f, text, width);
    long n = ftell(f);
    rewind(f);
    std::string s(n, '\0');
    size_t got = fread(s.data(), 1, n, f);
    s.resize(got);
    fclose(f);
    return s;
}

TEST(PrintTitle, FramesTheText)
{
    const std::string t30 = "Optimization of Dynamic Range:";  // 30 characters
    ASSERT_EQ(t30.size(), 30u);
    EXPECT_EQ(title(t30.c_str(), 80), std::string(21, '*') + "    " + t30 + "    " + std::string(21, '*') + "\n\n");
    EXPECT_EQ(title(t30.c_str(), 80).size(), 82u);
    // odd remainder: one extra blank keeps the line at 80 characters
    EXPECT_EQ(title("Bandpass Transform:", 80),
              std::string(26, '*') + "    Bandpass Transform:     " + std::string(26, '*') + "\n\n");
    EXPECT_EQ(title("", 10), "**********\n\n");
    // longer than width - 8: no stars; an odd remainder still gets its blank
    EXPECT_EQ(title("abcde", 12), "    abcde     \n\n");
    EXPECT_EQ(title("abcdef", 12), "    abcdef    \n\n");
}

TEST(DynamicRangeReport, FirstOrderFilterLines)
{
    struct dr_case {
        int linf;
        int optc;
        const char *head;
    };
    const dr_case cases[] = {
        {1, 0, "\nOutput noise level: 9.100769e-05 V.\nScaling is L-infinity.\n"},
        {0, 0, "\nOutput noise level: 9.100769e-05 V.\nScaling is L2.\n"},
        {1, 1, "\nCapacitance is divided optimally.\nOutput noise level: 9.100769e-05 V.\nScaling is L-infinity.\n"},
    };
    for (const auto &c : cases) {
        program p;
        ist.linf_flag = c.linf;
        ist.optc_flag = c.optc;
        set_var_number("ctot", 1e-12);
        set_var_number("umax", 1);
        install(make_ss(1, {-1}, {1}, {1}));
        print_dr(p.out, fst);
        EXPECT_EQ(p.report(), std::string(c.head) +
                                  "Maximum output level: 1.000000e+00 V.\n"
                                  "Dynamic range: 1.098808e+04 (80.82 dB).\n\n");
        EXPECT_NEAR(fst.cur_filter.cap[0], 1e-12, 1e-24);
        EXPECT_EQ(ist.exit_status, 0);
    }
}

TEST(DynamicRangeReport, SettingsChangeTheFigures)
{
    // without ctot: no noise and no dynamic range
    {
        program p;
        set_var_number("umax", 1);
        install(make_ss(1, {-1}, {1}, {1}));
        print_dr(p.out, fst);
        EXPECT_EQ(p.report(), "\nScaling is L-infinity.\nMaximum output level: 1.000000e+00 V.\n");
    }
    // noisefactor 4 doubles the noise level; umax 3 triples the level
    {
        program p;
        set_var_number("ctot", 1e-12);
        set_var_number("umax", 3);
        set_var_number("noisefactor", 4);
        install(make_ss(1, {-1}, {1}, {1}));
        print_dr(p.out, fst);
        std::string r = p.report();
        EXPECT_NE(r.find("Output noise level: 1.820154e-04 V.\n"), std::string::npos) << r;
        EXPECT_NE(r.find("Maximum output level: 3.000000e+00 V.\n"), std::string::npos) << r;
    }
}

TEST(DynamicRangeReport, LinfLevelMatchesSampledPeaks)
{
    // a bandpass at 1e4 rad/s: the top of H and the F tops sampled densely
    program p;
    set_var_number("umax", 0.8);
    ss lp = companion({1, 2, 2, 1}, {1});
    ss bp = bandpass_ss(lp, 1e4, 2e3);
    ss keep = copy_ss(bp);
    install(bp);
    double htop = 0;
    for (int k = 0; k < 200000; k++)
        htop = std::max(htop, std::abs(H_of(keep, 1e3 + k * 0.1)));
    dvec tops = sampled_tops(keep, 1e2, 1e6, 100000);
    double ftop = *std::max_element(tops.begin(), tops.end());
    EXPECT_NEAR(linf_peak_h(fst.ana), htop, 1e-4 * htop);
    EXPECT_NEAR(out_max_inf(fst.ana), htop * 0.8 / ftop, 1e-3 * htop * 0.8 / ftop);
}

TEST(PeakSearch, TopOfHFollowsTheFilterSearched)
{
    // a lowpass at 1 rad/s first, then a Butterworth bandpass at 1e4 rad/s:
    // the frequency scale must come from the bandpass itself
    program p;
    install(butter2());
    EXPECT_NEAR(linf_peak_h(fst.ana), 1.0, 1e-6);
    vector t = linf_peaks(fst.ana);
    EXPECT_NEAR(t.data[0], 1.0, 1e-6);
    EXPECT_NEAR(t.data[1], 1 / std::sqrt(2.0), 1e-6);  // |jw / (1 - w^2 + j sqrt2 w)| at w = 1
    install(bandpass_ss(butter2(), 1e4, 1e3));
    EXPECT_NEAR(linf_peak_h(fst.ana), 1.0, 1e-5);
}

TEST(DynamicRangeReport, L2LevelFromFreshGramian)
{
    program p;
    ist.linf_flag = 0;
    set_var_number("umax", 0.5);
    ss s = companion({1, 2, 2, 1}, {1, -0.4, 0.3});
    ss keep = copy_ss(s);
    install(s);
    dvec K = gram_k(keep);
    double out = 0, m = 0;
    for (int i = 0; i < 3; i++) {
        m = std::max(m, K[i * 3 + i]);
        for (int j = 0; j < 3; j++)
            out += keep.C.data[i] * K[i * 3 + j] * keep.C.data[j];
    }
    char want[80];
    snprintf(want, sizeof want, "Maximum output level: %e V.\n", std::sqrt(0.25 * out / m));
    print_dr(p.out, fst);
    EXPECT_NE(p.report().find(want), std::string::npos) << p.report();
}

TEST(DynamicRangeReport, UndeterminedWIsAnErrorNotACrash)
{
    // an integrator at the origin: no solution of the Lyapunov equation
    program p;
    set_var_number("ctot", 1e-12);
    install(make_ss(2, {0, 1, 0, -1}, {0, 1}, {1, 0}));
    print_dr(p.out, fst);
    EXPECT_EQ(ist.exit_status, 1);
    EXPECT_EQ(p.report().find("Output noise level"), std::string::npos);
    // no filter at all
    program q;
    print_dr(q.out, fst);
    EXPECT_EQ(ist.exit_status, 1);
    EXPECT_EQ(q.report(), "");
}

TEST(UsqOutMaxDeathTest, DimensionsChecked)
{
    matrix K = newm(2, 3), C = newm(1, 2);
    EXPECT_EXIT(Usq_out_max(K, C), testing::ExitedWithCode(1), "Usq_out_max: error: dimensions of K \\(2,3\\) not appropriate.");
    matrix K2 = mid(2, 2), C3 = newm(1, 3);
    EXPECT_EXIT(Usq_out_max(K2, C3), testing::ExitedWithCode(1), "Usq_out_max: error: dimensions of C \\(1,3\\) not appropriate.");
}

TEST(PolesAndZeros, ListsInFixedFormat)
{
    // H(s) = (s - 2) / (s^2 + 3 s + 2): poles -1, -2, zero 2
    program p;
    install(companion({2, 3, 1}, {-2, 1}));
    printpoles(p.out, fst.cur_filter);
    printzeros(p.out, fst.ana);
    std::string r = p.report();
    char hb[40];
    snprintf(hb, sizeof hb, "%15s %15s\n\n", "real part", "imaginary part");
    const std::string head = hb;
    char l1[40], l2[40];
    snprintf(l1, sizeof l1, "%15e %15e\n", -1.0, 0.0);
    snprintf(l2, sizeof l2, "%15e %15e\n", -2.0, 0.0);
    std::string poles_a = "Poles of the filter:\n\n" + head + l1 + l2 + "\n\n";
    std::string poles_b = "Poles of the filter:\n\n" + head + l2 + l1 + "\n\n";
    ASSERT_EQ(r.compare(0, poles_a.size(), poles_a) == 0 || r.compare(0, poles_b.size(), poles_b) == 0, true) << r;
    char z[40];
    snprintf(z, sizeof z, "%15e %15e\n", 2.0, 0.0);
    EXPECT_EQ(r.substr(poles_a.size()), "Zeros of the filter:\n\n" + head + z + "\n\n");
    // a constant numerator
    program q;
    install(butter2());
    printzeros(q.out, fst.ana);
    EXPECT_EQ(q.report(), "The filter has no finite zeros.\n\n");
    EXPECT_EQ(ist.exit_status, 0);
    // H = 0 (C = 0, D = 0): an error that lets the run go on, no list
    program z0;
    install(make_ss(2, {0, 1, -1, -1}, {0, 1}, {0, 0}));
    printzeros(z0.out, fst.ana);
    EXPECT_EQ(z0.report(), "");
    EXPECT_EQ(ist.exit_status, 1);
}

// bessel(61): a cascade whose whole matrix is so far from normal that its
// eigenvalues were printed more than their size off. The printed poles are
// those of its sections: every one in the left half-plane, and the lowest,
// a middle and the highest pole of the reference (mpmath.polyroots of the
// reverse Bessel polynomial at 121 digits) among them to the 7 printed
// digits.
TEST(PolesAndZeros, PolesOfAFarFromNormalCascadeAreItsSections)
{
    program p;
    install(bessel(61));
    printpoles(p.out, fst.cur_filter);
    std::istringstream in(p.report());
    std::string line;
    std::vector<std::pair<double, double>> got;
    while (std::getline(in, line)) {
        double re, im;
        if (std::sscanf(line.c_str(), "%lf %lf", &re, &im) == 2)
            got.emplace_back(re, im);
    }
    ASSERT_EQ(got.size(), 61u) << p.report();
    for (const auto &z : got)
        EXPECT_LT(z.first, 0.0) << z.first << " " << z.second;
    const double want[][2] = {
        {-40.758868192195441202, 0.0}, {-34.633284604987082008, 26.343527866236815801},
        {-6.1169531508405312699, 57.706566908829413527}};
    for (const auto &w : want) {
        double best = INFINITY;
        for (const auto &z : got)
            best = std::min(best, std::hypot(z.first - w[0], z.second - w[1]));
        EXPECT_LT(best, 1e-6 * std::hypot(w[0], w[1])) << w[0] << " " << w[1];
    }
}

}  // namespace
