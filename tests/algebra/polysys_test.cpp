// Three-dimensional arrays and the polynomial-system driver on systems with
// known roots.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "algebra/m3.h"
#include "algebra/polysys.h"
#include "tests/algebra/helpers.h"

namespace {

TEST(ThreeDimArrays, FirstIndexRunsFastest)
{
    m3 a = newm3(2, 3, 4);
    ASSERT_EQ(a.data.size(), 24u);
    for (double x : a.data)
        EXPECT_EQ(x, 0.0);
    EXPECT_EQ(m3index(a, 1, 2, 3), (3 * 3 + 2) * 2 + 1);
    a.data[m3index(a, 1, 0, 2)] = 7.5;
    EXPECT_EQ(m3_element(a, 1, 0, 2), 7.5);
    free_m3(&a);
    EXPECT_TRUE(a.data.empty());

    im3 b = newim3(3, 1, 2);
    EXPECT_EQ(im3index(b, 2, 0, 1), 5);
    b.data[5] = -4;
    EXPECT_EQ(im3_element(b, 2, 0, 1), -4);
    free_im3(&b);

    m3 z = newm3(2, 0, 5);
    EXPECT_TRUE(z.data.empty());
}

TEST(ThreeDimArraysDeathTest, NegativeDimensionEndsTheRun)
{
    EXPECT_EXIT(newm3(1, -2, 3), ::testing::ExitedWithCode(1), "newm3: illegal matrix dimension: 1 -2 3\n");
    EXPECT_EXIT(newim3(-1, 0, 0), ::testing::ExitedWithCode(1), "newim3: illegal matrix dimension: -1 0 0\n");
}

// The values of every "solution %d: " line of a polysys report: "x, " is
// real, "(re,im) " complex.
std::vector<std::vector<std::complex<double>>> solutions(const std::string &report)
{
    std::vector<std::vector<std::complex<double>>> sols;
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("solution ", 0) != 0)
            continue;
        std::vector<std::complex<double>> v;
        const char *p = line.c_str() + line.find(": ") + 2;
        double re, im;
        int used;
        while (*p) {
            if (sscanf(p, " (%lf,%lf) %n", &re, &im, &used) == 2)
                v.emplace_back(re, im);
            else if (sscanf(p, " %lf, %n", &re, &used) == 1)
                v.emplace_back(re, 0.0);
            else
                break;
            p += used;
        }
        EXPECT_EQ(*p, '\0') << "unread text in: " << line;
        sols.push_back(v);
    }
    return sols;
}

struct polysys_run {
    std::string out;
    int status;
};

polysys_run run_polysys(const eq_array &E)
{
    ist.exit_status = 0;
    polysys_run r;
    r.out = traced(0, [&] { polysys(E); });
    r.status = ist.exit_status;
    ist.exit_status = 0;
    return r;
}

TEST(Polysys, CircleAndHyperbolaHaveFourRealSolutions)
{
    const polysys_run r = run_polysys(EQ({"B0^2 + B1^2 - 5", "B0 * B1 - 2"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("equations:\n  0   ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n\ntotal degree = 4\n\nsolution "), std::string::npos) << r.out;
    // The end game stops within 2e-7 of lambda = 1, so a real root may keep
    // an imaginary part of that size and print in the complex form.
    const auto sols = solutions(r.out);
    ASSERT_EQ(sols.size(), 4u) << r.out;
    const std::array<std::array<double, 2>, 4> expected = {{{1, 2}, {2, 1}, {-1, -2}, {-2, -1}}};
    for (const auto &x : expected) {
        int hits = 0;
        for (const auto &s : sols) {
            ASSERT_EQ(s.size(), 2u) << r.out;
            hits += std::abs(s[0] - x[0]) < 1e-6 && std::abs(s[1] - x[1]) < 1e-6;
        }
        EXPECT_EQ(hits, 1) << x[0] << ", " << x[1] << "\n" << r.out;
    }
}

// x^2 + 1 = 0: a complex pair, printed as "(re,im) ".
TEST(Polysys, ComplexSolutionsInParentheses)
{
    const polysys_run r = run_polysys(EQ({"B0^2 + 1"}));
    EXPECT_NE(r.out.find("total degree = 2\n"), std::string::npos);
    const auto sols = solutions(r.out);
    ASSERT_EQ(sols.size(), 2u) << r.out;
    EXPECT_EQ(r.out.find(", "), std::string::npos) << r.out;
    EXPECT_LT(std::abs(sols[0][0] * sols[1][0] - 1.0), 1e-6) << r.out;  // i * (-i)
    EXPECT_LT(std::abs(sols[0][0] + sols[1][0]), 1e-6) << r.out;
    EXPECT_LT(std::abs(std::abs(sols[0][0].imag()) - 1.0), 1e-6) << r.out;
}

TEST(Polysys, ConstantEquationGivesTotalDegreeZeroAndNoSolution)
{
    const polysys_run r = run_polysys(EQ({"B0 - 1", "3"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\ntotal degree = 0\n\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("solution"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
}

// A variable outside B0 .. B(n-1) is an error, not dropped: no total
// degree, no solve.
TEST(Polysys, VariableBeyondTheUnknownsIsAnError)
{
    const polysys_run r = run_polysys(EQ({"B0 - 1", "B1 * B2 - 2"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("total degree"), std::string::npos) << r.out;
}

// The solver refuses a system with no equations (code -1).
TEST(Polysys, RefusedSystemPrintsErrorAndSetsTheStatus)
{
    const polysys_run r = run_polysys(new_eq_array(0));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "equations:\n\ntotal degree = 1\nError in polysys.\n\n");
}

// Degrees whose product is beyond an int are refused before any array is
// made.
TEST(Polysys, TotalDegreeBeyondAnIntIsRefused)
{
    const polysys_run r =
        run_polysys(EQ({"B0^2000 - 1", "B1^2000 - 1", "B2^2000 - 1", "B3 - 1"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("total degree ="), std::string::npos) << r.out;
}

}  // namespace
