// Three-dimensional arrays and the polynomial-system driver on systems with
// known roots.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
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
    EXPECT_TRUE(b.data.empty());

    m3 z = newm3(2, 0, 5);
    EXPECT_TRUE(z.data.empty());
}

TEST(ThreeDimArraysDeathTest, NegativeDimensionEndsTheRun)
{
    EXPECT_EXIT(newm3(1, -2, 3), ::testing::ExitedWithCode(1), "newm3: illegal matrix dimension: 1 -2 3\n");
    EXPECT_EXIT(newim3(-1, 0, 0), ::testing::ExitedWithCode(1), "newim3: illegal matrix dimension: -1 0 0\n");
}

// The multiplicity of every "solution %d: " line: the number after
// "multiplicity " at its end, 1 without it.
std::vector<int> multiplicities(const std::string &report)
{
    std::vector<int> m;
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("solution ", 0) == 0) {
            const std::size_t at = line.find("multiplicity ");
            m.push_back(at == std::string::npos ? 1 : std::atoi(line.c_str() + at + 13));
        }
    return m;
}

// The values of every "solution %d: " line of a polysys report: "x, " is
// real, "(re,im) " complex; a multiplicity may end the line.
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
        int mult = 0;
        if (sscanf(p, "multiplicity %d%n", &mult, &used) == 1 && mult > 1)
            p += used;
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

// Every expected root is printed exactly once and nothing else is: a root
// that several paths reach (a double root) once, a path to infinity not at
// all. The roots are closed forms.
TEST(Polysys, EachFiniteRootPrintedOnce)
{
    using cplx = std::complex<double>;
    struct row {
        const char *what;
        std::vector<const char *> eqs;
        std::vector<std::vector<cplx>> roots;
        std::vector<int> mult;  // of each root
    };
    const row rows[] = {
        // (x - 1)^2 (x + 2): a double root and a simple one.
        {"double and simple", {"B0^3 - 3 * B0 + 2"}, {{1.0}, {-2.0}}, {2, 1}},
        // (x - 1)^2 = 0, y = x: both paths end at (1, 1).
        {"double in two variables", {"B0^2 - 2 * B0 + 1", "B1 - B0"}, {{1.0, 1.0}}, {2}},
        // (x - 1)^2 = (y + 1)^2 = 0: four paths, one root.
        {"fourfold", {"B0^2 - 2 * B0 + 1", "B1^2 + 2 * B1 + 1"}, {{1.0, -1.0}}, {4}},
        // (x - 2)^3 = 0, y = -1: a triple root, printed once.
        {"triple", {"B0^3 - 6 * B0^2 + 12 * B0 - 8", "B1 + 1"}, {{2.0, -1.0}}, {3}},
        // x y = 1, x y + x = 3: x = 2, y = 1/2; three of the four paths
        // go to infinity.
        {"three at infinity", {"B0 * B1 - 1", "B0 * B1 + B0 - 3"}, {{2.0, 0.5}}, {1}},
        // Large roots are roots, not points at infinity.
        {"root of size 1e7", {"1e-7 * B0 + 1", "B1 - 1"}, {{-1e7, 1.0}}, {1}},
        {"root of size 1e10", {"1e-10 * B0 + 1", "B1 - 1"}, {{-1e10, 1.0}}, {1}},
        {"two of size 1e7", {"B0^2 - 1e14", "B1 - 1"}, {{-1e7, 1.0}, {1e7, 1.0}}, {1, 1}},
        {"two of size 1e8", {"B0^2 - 1e16", "B1 - 1"}, {{-1e8, 1.0}, {1e8, 1.0}}, {1, 1}},
        // x^2 + 1 = 0, y^2 = x: y = e^(i pi/4), ... the four fourth roots
        // of -1 (every path its own root).
        {"complex", {"B0^2 + 1", "B1^2 - B0"},
         {{cplx(0, 1), std::polar(1.0, M_PI / 4)},
          {cplx(0, 1), std::polar(1.0, 5 * M_PI / 4)},
          {cplx(0, -1), std::polar(1.0, -M_PI / 4)},
          {cplx(0, -1), std::polar(1.0, 3 * M_PI / 4)}},
         {1, 1, 1, 1}},
    };
    for (const auto &r : rows) {
        eq_array E = new_eq_array(static_cast<int>(r.eqs.size()));
        for (std::size_t j = 0; j < r.eqs.size(); j++)
            E.eq[j] = P(r.eqs[j]);
        const polysys_run run = run_polysys(E);
        EXPECT_EQ(run.status, 0) << r.what;
        const auto sols = solutions(run.out);
        const auto mult = multiplicities(run.out);
        EXPECT_EQ(sols.size(), r.roots.size()) << r.what << "\n" << run.out;
        for (std::size_t i = 0; i < r.roots.size(); i++) {
            const auto &x = r.roots[i];
            int hits = 0;
            for (std::size_t k = 0; k < sols.size(); k++) {
                bool same = sols[k].size() == x.size();
                // to 1e-5 relative: six printed digits
                for (std::size_t v = 0; same && v < x.size(); v++)
                    same = std::abs(sols[k][v] - x[v]) < 1e-5 * std::max(1.0, std::abs(x[v]));
                if (same) {
                    EXPECT_EQ(mult[k], r.mult[i]) << r.what << "\n" << run.out;
                }
                hits += same;
            }
            EXPECT_EQ(hits, 1) << r.what << ": root " << x[0] << "\n" << run.out;
        }
    }
}

// The printed roots of a system: how many, and the largest residual of any
// equation at any of them relative to the size of the equation's terms
// there, and whether two of them agree to the printed digits.
struct root_check {
    std::size_t count = 0;
    double worst = 0.0;
    bool repeated = false;
};

root_check check_roots(const std::vector<const char *> &texts, const std::string &out)
{
    root_check rc;
    const auto sols = solutions(out);
    rc.count = sols.size();
    for (std::size_t a = 0; a < sols.size(); a++) {
        for (const char *t : texts) {
            termlist L = P(t);
            std::complex<double> sum = 0.0;
            double size = 0.0;
            for (int k = 0; k < L.n; k++) {
                std::complex<double> term = static_cast<double>(L.t[k].coef);
                for (int v = 0; v < L.t[k].n; v++)
                    term *= std::pow(sols[a][v], L.t[k].exp[v]);
                sum += term;
                size += std::abs(term);
            }
            rc.worst = std::max(rc.worst, std::abs(sum) / std::max(size, 1.0));
        }
        for (std::size_t b = 0; b < a; b++) {
            double d = 0.0;
            for (std::size_t v = 0; v < sols[a].size(); v++)
                d = std::max(d, std::abs(sols[a][v] - sols[b][v]));
            rc.repeated = rc.repeated || d < 1e-5;
        }
    }
    return rc;
}

polysys_run run_texts(const std::vector<const char *> &texts)
{
    eq_array E = new_eq_array(static_cast<int>(texts.size()));
    for (std::size_t j = 0; j < texts.size(); j++)
        E.eq[j] = P(texts[j]);
    const polysys_run r = run_polysys(E);
    return r;
}

// Printed solutions with every value in the real form "x, ".
int real_solutions(const std::string &out)
{
    int count = 0;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
        count += line.rfind("solution ", 0) == 0 && line.find('(') == std::string::npos;
    return count;
}

// cyclic-5 has 70 isolated roots, 10 of them real (PHCpack's blackbox
// solver, run once by hand); 50 of its 120 paths go to infinity. Among the
// roots is (1, w, w^2, w^3, w^4), w = e^(2 pi i/5).
TEST(Polysys, CyclicFiveHasSeventyRoots)
{
    const std::vector<const char *> cyclic5 = {
        "B0 + B1 + B2 + B3 + B4",
        "B0 * B1 + B1 * B2 + B2 * B3 + B3 * B4 + B4 * B0",
        "B0 * B1 * B2 + B1 * B2 * B3 + B2 * B3 * B4 + B3 * B4 * B0 + B4 * B0 * B1",
        "B0 * B1 * B2 * B3 + B1 * B2 * B3 * B4 + B2 * B3 * B4 * B0 + B3 * B4 * B0 * B1 + B4 * B0 * B1 * B2",
        "B0 * B1 * B2 * B3 * B4 - 1",
    };
    const polysys_run r = run_texts(cyclic5);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\ntotal degree = 120\n"), std::string::npos);
    const root_check rc = check_roots(cyclic5, r.out);
    EXPECT_EQ(rc.count, 70u) << r.out;
    EXPECT_EQ(real_solutions(r.out), 10) << r.out;
    EXPECT_LT(rc.worst, 1e-4) << r.out;  // six printed digits
    EXPECT_FALSE(rc.repeated) << r.out;
    int found = 0;
    for (const auto &s : solutions(r.out)) {
        bool same = true;
        for (int v = 0; v < 5; v++)
            same = same && std::abs(s[v] - std::polar(1.0, 2 * M_PI * v / 5)) < 1e-5;
        found += same;
    }
    EXPECT_EQ(found, 1) << r.out;
}

// katsura-6 has all its 64 = 2^6 roots finite, 32 of them real (PHCpack,
// run once by hand);
// tracked at 1e-4, several pairs of its paths meet, and the paths tracked
// again part.
TEST(Polysys, KatsuraSixHasSixtyFourRoots)
{
    const std::vector<const char *> katsura6 = {
        "B0 + 2 * B1 + 2 * B2 + 2 * B3 + 2 * B4 + 2 * B5 + 2 * B6 - 1",
        "B0^2 + 2 * B1^2 + 2 * B2^2 + 2 * B3^2 + 2 * B4^2 + 2 * B5^2 + 2 * B6^2 - B0",
        "2 * B0 * B1 + 2 * B1 * B2 + 2 * B2 * B3 + 2 * B3 * B4 + 2 * B4 * B5 + 2 * B5 * B6 - B1",
        "2 * B0 * B2 + B1^2 + 2 * B1 * B3 + 2 * B2 * B4 + 2 * B3 * B5 + 2 * B4 * B6 - B2",
        "2 * B0 * B3 + 2 * B1 * B2 + 2 * B1 * B4 + 2 * B2 * B5 + 2 * B3 * B6 - B3",
        "2 * B0 * B4 + 2 * B1 * B3 + 2 * B1 * B5 + B2^2 + 2 * B2 * B6 - B4",
        "2 * B0 * B5 + 2 * B1 * B4 + 2 * B1 * B6 + 2 * B2 * B3 - B5",
    };
    const polysys_run r = run_texts(katsura6);
    EXPECT_EQ(r.status, 0);
    const root_check rc = check_roots(katsura6, r.out);
    EXPECT_EQ(rc.count, 64u) << r.out;
    EXPECT_EQ(real_solutions(r.out), 32) << r.out;
    EXPECT_LT(rc.worst, 1e-4) << r.out;
    EXPECT_FALSE(rc.repeated) << r.out;
}

// katsura-4: the last coordinate B4 of its 16 roots are the roots of the
// last polynomial of the lex basis (SymPy: groebner over QQ, then nroots
// to 20 digits); two of them lie only 9e-6 apart.
TEST(Polysys, KatsuraFourAgainstTheLexBasis)
{
    const std::vector<const char *> katsura4 = {
        "B0 + 2 * B1 + 2 * B2 + 2 * B3 + 2 * B4 - 1",
        "B0^2 + 2 * B1^2 + 2 * B2^2 + 2 * B3^2 + 2 * B4^2 - B0",
        "2 * B0 * B1 + 2 * B1 * B2 + 2 * B2 * B3 + 2 * B3 * B4 - B1",
        "2 * B0 * B2 + B1^2 + 2 * B1 * B3 + 2 * B2 * B4 - B2",
        "2 * B0 * B3 + 2 * B1 * B2 + 2 * B1 * B4 - B3",
    };
    using cplx = std::complex<double>;
    std::vector<cplx> b4 = {-0.22139001521928151474, -0.13060193748187072126, -0.13059296603803747022,
                            -0.10684888036378067128, -0.055094704185095969744, 0.0,
                            0.088575036959033282453, 0.12047230128671340625,  0.24493331580441736158,
                            0.27345908033901357840,  0.30214306806002112378,  0.33333333333333333333,
                            {0.072586184317863129281, -0.18137363883425277120},
                            {0.072586184317863129281, 0.18137363883425277120},
                            {0.13964857086347543001, -0.13682837315564645023},
                            {0.13964857086347543001, 0.13682837315564645023}};
    const polysys_run r = run_texts(katsura4);
    const auto sols = solutions(r.out);
    ASSERT_EQ(sols.size(), 16u) << r.out;
    for (const auto &s : sols) {
        ASSERT_EQ(s.size(), 5u);
        auto near = std::find_if(b4.begin(), b4.end(), [&](cplx z) { return std::abs(z - s[4]) < 2e-6; });
        ASSERT_NE(near, b4.end()) << "B4 = " << s[4] << "\n" << r.out;
        b4.erase(near);
    }
    EXPECT_LT(check_roots(katsura4, r.out).worst, 1e-4) << r.out;
}

// Systems of the cyclic, katsura, eco, noon and reimer families: the number
// of isolated roots (Singular: vdim of the standard basis over QQ, and
// PHCpack's blackbox solver `phc -b`, both run once by hand, agree), every
// one printed once and nothing else, with exit status 0. noon-4 has the
// root (a, b, b, a), a = -0.21477392 + 0.62655819i, b = 1.06192283 +
// 0.39959179i, and eco-5 the exact root (-1/4, -1/4, -1/4, -1/4, -16), which
// were lost before; three of the ends of reimer-4 are points at infinity.
// eco-6 (16 roots of 162 paths; the exact root (-1/5, ..., -1/5, -25) by
// hand), katsura-7 (128 of 128) and cyclic-6 (156 of 720): most of their
// paths go to singular points at infinity, which the work bound once
// refused them for (counts by Singular's vdim, run by hand, and PHCpack).
TEST(Polysys, FamiliesAgainstTheirRootCounts)
{
    using cplx = std::complex<double>;
    struct row {
        const char *what;
        std::vector<const char *> eqs;
        std::size_t roots;
        std::vector<cplx> one;  // one of the roots, or none
    };
    const cplx a(-0.21477392, 0.62655819), b(1.06192283, 0.39959179);
    const row rows[] = {
        {"katsura-3", {"B0 + 2*B1 + 2*B2 + 2*B3 - 1", "B0^2 + 2*B1^2 + 2*B2^2 + 2*B3^2 - B0",
          "2*B0*B1 + 2*B1*B2 + 2*B2*B3 - B1", "2*B0*B2 + B1^2 + 2*B1*B3 - B2"}, 8, {}},
        {"eco-5", {"B0*B4 + B0*B1*B4 + B1*B2*B4 + B2*B3*B4 - 1", "B1*B4 + B0*B2*B4 + B1*B3*B4 - 2",
          "B2*B4 + B0*B3*B4 - 3", "B3*B4 - 4", "B0 + B1 + B2 + B3 + 1"}, 8, {-0.25, -0.25, -0.25, -0.25, -16}},
        {"noon-3", {"10*B0*B1^2 + 10*B0*B2^2 - 11*B0 + 10", "10*B1*B0^2 + 10*B1*B2^2 - 11*B1 + 10",
          "10*B2*B0^2 + 10*B2*B1^2 - 11*B2 + 10"}, 21, {}},
        {"noon-4", {"10*B0*B1^2 + 10*B0*B2^2 + 10*B0*B3^2 - 11*B0 + 10",
          "10*B1*B0^2 + 10*B1*B2^2 + 10*B1*B3^2 - 11*B1 + 10", "10*B2*B0^2 + 10*B2*B1^2 + 10*B2*B3^2 - 11*B2 + 10",
          "10*B3*B0^2 + 10*B3*B1^2 + 10*B3*B2^2 - 11*B3 + 10"}, 73, {a, b, b, a}},
        {"reimer-3", {"2*B0^2 - 2*B1^2 + 2*B2^2 - 1", "2*B0^3 - 2*B1^3 + 2*B2^3 - 1",
          "2*B0^4 - 2*B1^4 + 2*B2^4 - 1"}, 12, {}},
        {"reimer-4", {"2*B0^2 - 2*B1^2 + 2*B2^2 - 2*B3^2 - 1", "2*B0^3 - 2*B1^3 + 2*B2^3 - 2*B3^3 - 1",
          "2*B0^4 - 2*B1^4 + 2*B2^4 - 2*B3^4 - 1", "2*B0^5 - 2*B1^5 + 2*B2^5 - 2*B3^5 - 1"}, 36, {}},
        {"eco-6", {"B0*B5 + B0*B1*B5 + B1*B2*B5 + B2*B3*B5 + B3*B4*B5 - 1",
          "B1*B5 + B0*B2*B5 + B1*B3*B5 + B2*B4*B5 - 2", "B2*B5 + B0*B3*B5 + B1*B4*B5 - 3", "B3*B5 + B0*B4*B5 - 4",
          "B4*B5 - 5", "B0 + B1 + B2 + B3 + B4 + 1"}, 16, {-0.2, -0.2, -0.2, -0.2, -0.2, -25}},
        {"katsura-7", {"B0 + 2*B1 + 2*B2 + 2*B3 + 2*B4 + 2*B5 + 2*B6 + 2*B7 - 1",
          "B0^2 + 2*B1^2 + 2*B2^2 + 2*B3^2 + 2*B4^2 + 2*B5^2 + 2*B6^2 + 2*B7^2 - B0",
          "2*B0*B1 + 2*B1*B2 + 2*B2*B3 + 2*B3*B4 + 2*B4*B5 + 2*B5*B6 + 2*B6*B7 - B1",
          "2*B0*B2 + B1^2 + 2*B1*B3 + 2*B2*B4 + 2*B3*B5 + 2*B4*B6 + 2*B5*B7 - B2",
          "2*B0*B3 + 2*B1*B2 + 2*B1*B4 + 2*B2*B5 + 2*B3*B6 + 2*B4*B7 - B3",
          "2*B0*B4 + 2*B1*B3 + 2*B1*B5 + B2^2 + 2*B2*B6 + 2*B3*B7 - B4",
          "2*B0*B5 + 2*B1*B4 + 2*B1*B6 + 2*B2*B3 + 2*B2*B7 - B5",
          "2*B0*B6 + 2*B1*B5 + 2*B1*B7 + 2*B2*B4 + B3^2 - B6"}, 128, {}},
        {"cyclic-6", {"B0 + B1 + B2 + B3 + B4 + B5", "B0*B1 + B1*B2 + B2*B3 + B3*B4 + B4*B5 + B5*B0",
          "B0*B1*B2 + B1*B2*B3 + B2*B3*B4 + B3*B4*B5 + B4*B5*B0 + B5*B0*B1",
          "B0*B1*B2*B3 + B1*B2*B3*B4 + B2*B3*B4*B5 + B3*B4*B5*B0 + B4*B5*B0*B1 + B5*B0*B1*B2",
          "B0*B1*B2*B3*B4 + B1*B2*B3*B4*B5 + B2*B3*B4*B5*B0 + B3*B4*B5*B0*B1 + B4*B5*B0*B1*B2 + B5*B0*B1*B2*B3",
          "B0*B1*B2*B3*B4*B5 - 1"}, 156, {}},
    };
    for (const auto &r : rows) {
        const polysys_run run = run_texts(r.eqs);
        EXPECT_EQ(run.status, 0) << r.what << "\n" << run.out;
        const root_check rc = check_roots(r.eqs, run.out);
        EXPECT_EQ(rc.count, r.roots) << r.what << "\n" << run.out;
        EXPECT_LT(rc.worst, 1e-4) << r.what;  // six printed digits
        EXPECT_FALSE(rc.repeated) << r.what;
        if (r.one.empty())
            continue;
        int found = 0;
        for (const auto &s : solutions(run.out)) {
            bool same = s.size() == r.one.size();
            for (std::size_t v = 0; same && v < s.size(); v++)
                same = std::abs(s[v] - r.one[v]) < 1e-5 * std::max(1.0, std::abs(r.one[v]));
            found += same;
        }
        EXPECT_EQ(found, 1) << r.what << "\n" << run.out;
    }
}

// {x (x - 1), x (y - 2)}: the point (1, 2) and the line x = 0. The line is
// reported as a solution set of positive dimension, with a point on it,
// and none of its points as a root.
TEST(Polysys, LineOfSolutionsIsReportedAsSuch)
{
    const polysys_run r = run_texts({"B0^2 - B0", "B0 * B1 - 2 * B0"});
    EXPECT_EQ(r.status, 0) << r.out;
    const auto sols = solutions(r.out);
    ASSERT_EQ(sols.size(), 1u) << r.out;
    EXPECT_LT(std::abs(sols[0][0] - 1.0), 1e-6) << r.out;
    EXPECT_LT(std::abs(sols[0][1] - 2.0), 1e-6) << r.out;
    // The point given on the line has B0 = 0 to its accuracy (printed as 0
    // or as a tiny value below its accuracy, which differs by build).
    const std::string head = "positive-dimensional solution set: 3 of 4 paths end on it, one at ";
    const std::size_t at = r.out.find(head);
    ASSERT_NE(at, std::string::npos) << r.out;
    char *end = nullptr;
    const double b0 = std::strtod(r.out.c_str() + at + head.size(), &end);
    ASSERT_EQ(*end, ',') << r.out;
    EXPECT_LT(std::abs(b0), 1e-8) << r.out;
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
