// The ladder drivers that no statement reaches: their shared preamble and
// the roads through the polynomial-system driver, checked against the
// solutions of the ladder equations computed exactly by SymPy.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "base/globals.h"
#include "ladder/ladder.h"
#include "ladder/ladder_drivers.h"
#include "ladder/ladder_rational.h"
#include "ladder/side_drivers.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"
#include "tests/algebra/poly_text.h"
#include "tests/base/capture.h"

namespace {

struct preamble_case {
    const char *what;
    std::vector<double> p;
    std::vector<double> w;
    std::vector<double> q, a;
};

TEST(LadderPreamble, ScaledTargetAndDiagonal)
{
    const preamble_case cases[] = {
        // (s + 2)^2 = s^2 + 4 s + 4: sc = 2, q = s^2 + 2 s + 1; a_0 and
        // a_1 take half of -2 each.
        {"no weights", {4, 4, 1}, {}, {1, 2, 1}, {-1, -1}},
        // 2 (s + 1)^3 is divided by its leading coefficient first.
        {"not monic", {2, 6, 6, 2}, {0.25}, {1, 3, 3, 1}, {-0.75, 0, -2.25}},
        // Weights beyond n - 1 are not used; the last value takes the rest.
        {"extra weights", {1, 3, 3, 1}, {0.5, 0.5, 0.9, 0.9}, {1, 3, 3, 1}, {-1.5, -0.75, -0.75}},
        // p_0 = 0: no scaling (sc = 1).
        {"zero constant", {0, 2, 3, 1}, {0.1}, {0, 2, 3, 1}, {-0.3, 0, -2.7}},
    };
    for (const auto &c : cases) {
        const int n = static_cast<int>(c.p.size()) - 1;
        std::vector<double> q(n + 1, -7), a(n, -7);
        ASSERT_TRUE(ladder_preamble(static_cast<int>(c.w.size()), c.w.data(), c.p.data(), n, q.data(), a.data()))
            << c.what;
        for (int k = 0; k <= n; k++)
            EXPECT_NEAR(q[k], c.q[k], 1e-15) << c.what << " q" << k;
        for (int k = 0; k < n; k++)
            EXPECT_NEAR(a[k], c.a[k], 1e-15) << c.what << " a" << k;
    }
}

TEST(LadderPreamble, RefusesOrderBelowTwoAndAZeroLeadingCoefficient)
{
    const double p1[2] = {1, 1}, p0lead[3] = {1, 2, 0};
    double q[3], a[2];
    ist.exit_status = 0;
    const std::string err = capture_stderr([&] {
        EXPECT_FALSE(ladder_preamble(0, nullptr, p1, 1, q, a));
        EXPECT_FALSE(ladder_preamble(0, nullptr, p0lead, 2, q, a));
    });
    EXPECT_NE(err.find("order 1"), std::string::npos) << err;
    EXPECT_NE(err.find("leading coefficient"), std::string::npos) << err;
    EXPECT_EQ(ist.exit_status, 1);
    ist.exit_status = 0;
}

// What fn prints on the report stream.
std::string report(const std::function<void()> &fn)
{
    return capture_stream([&](FILE *f) {
        FILE *saved = ist.out_fp;
        ist.out_fp = f;
        fn();
        ist.out_fp = saved;
    });
}

// The b values of the "solution %d: " lines (all real here: "x, ").
std::vector<std::vector<double>> solution_lines(const std::string &text)
{
    std::vector<std::vector<double>> sols;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("solution ", 0) != 0)
            continue;
        std::istringstream nums(line.substr(line.find(": ") + 2));
        std::vector<double> v;
        double x;
        char comma;
        while (nums >> x >> comma)
            v.push_back(x);
        sols.push_back(v);
    }
    return sols;
}

// (s + 1)^4 with weight 0.1: a = (-0.4, 0, 0, -3.6). The ladder equations
// have the two real solutions below (SymPy, solve over the rationals).
const std::vector<std::vector<double>> quartic_b = {
    {-24.03146363043311, 20.756856560384985, -1.2853929299518767},
    {-0.04853636956689094, -0.5613010048294302, -3.950162625603679},
};

// The symbolic road of the ladder synthesis finds the same two solutions,
// so every road below is compared with the same values.
TEST(LadderRoads, SymbolicRoadAgreesWithSymPy)
{
    const double a[4] = {-0.4, 0, 0, -3.6}, q[5] = {1, 4, 6, 4, 1};
    matrix M = gladder_symbolic(a, q, 4);
    ASSERT_EQ(M.rows, 3);
    ASSERT_EQ(M.cols, 2);
    for (const auto &b : quartic_b) {
        int hits = 0;
        for (int j = 0; j < 2; j++) {
            bool same = true;
            for (int k = 0; k < 3; k++)
                same = same && std::fabs(M.data[j * 3 + k] - b[k]) <= 1e-9 * std::fabs(b[k]);
            hits += same;
        }
        EXPECT_EQ(hits, 1);
    }
    freem(&M);
}

TEST(LadderByPolysys, QuarticWithOneWeight)
{
    const double p[5] = {1, 4, 6, 4, 1}, w[1] = {0.1};
    const std::string out = report([&] { ladder_by_polysys(1, w, p, 4); });
    EXPECT_NE(out.find("total degree = 2\n"), std::string::npos) << out;
    const auto sols = solution_lines(out);
    ASSERT_EQ(sols.size(), 2u) << out;
    for (const auto &b : quartic_b) {
        int hits = 0;
        for (const auto &s : sols) {
            ASSERT_EQ(s.size(), 3u) << out;
            bool same = true;
            for (int k = 0; k < 3; k++)
                same = same && std::fabs(s[k] - b[k]) <= 1e-5 * std::fabs(b[k]);
            hits += same;
        }
        EXPECT_EQ(hits, 1) << out;
    }
    // Each printed b gives back the target through the ladder polynomial.
    const double a[4] = {-0.4, 0, 0, -3.6};
    for (const auto &s : sols) {
        poly P = lpoly(4, a, s.data());
        for (int k = 0; k <= 4; k++)
            EXPECT_NEAR(P.coef[k], p[k], 1e-4) << k;
        freepoly(&P);
    }
}

// Fifth-order targets with the default weight 0.5, whose ladder equations
// have a double root: the mirror image of a ladder solves them too, and the
// symmetric ladder is its own mirror. The targets are the denominators of
// the Chebyshev filters with 1 dB and 3 dB ripple (poles -sin(theta_k)
// sinh(mu) + i cos(theta_k) cosh(mu)) and of the Butterworth filter, in
// rising powers. SymPy (solve over the rationals nearest these doubles):
// the Chebyshev equations have two real solutions within 1e-8 of each other,
// each the other's mirror, which no double-precision solver tells apart;
// the Butterworth equations, with the exact target (whose coefficients are
// 1 + sqrt(5) and (3 + sqrt(5))/2 ...), have the whole line B0 = B3 = -1,
// B1 + B2 = -(sqrt(5) - 1)/2, and their lex basis ends in (B3 + 1)^2.
struct double_root_case {
    const char *what;
    std::vector<double> p;
    std::vector<std::vector<double>> sympy;  // empty for the line
};

const double_root_case double_root_cases[] = {
    {"chebyshev 1 dB",
     {0.12282667052251692, 0.58053415132205499, 0.97439607307167908, 1.6888159791782302, 0.93682013127198616, 1},
     {{-0.993211389526031, -0.706578602249394, -0.706579091277230, -0.993211382680805},
      {-0.993211382680805, -0.706579091277230, -0.706578602249394, -0.993211389526031}}},
    {"chebyshev 3 dB",
     {0.062648580812975016, 0.40796631270009387, 0.54893711402210943, 1.4150251404834586, 0.57450002695118985, 1},
     {{-1.14179118861996, -0.876002917119930, -0.876002895141984, -1.14179097808307},
      {-1.14179097808307, -0.876002895141984, -0.876002917119930, -1.14179118861996}}},
    {"butterworth",
     {1, 3.2360679774997902, 5.2360679774997898, 5.2360679774997907, 3.2360679774997898, 1},
     {}},
};

// b solves the case's equations: within tol of every SymPy solution (they
// lie closer together than that), or on the Butterworth line.
void expect_double_root(const double_root_case &c, const std::vector<double> &b, double tol)
{
    ASSERT_EQ(b.size(), 4u) << c.what;
    if (c.sympy.empty()) {
        EXPECT_NEAR(b[0], -1.0, tol) << c.what;
        EXPECT_NEAR(b[3], -1.0, tol) << c.what;
        EXPECT_NEAR(b[1] + b[2], -(std::sqrt(5.0) - 1) / 2, tol) << c.what;
        return;
    }
    for (const auto &ref : c.sympy)
        for (int k = 0; k < 4; k++)
            EXPECT_NEAR(b[k], ref[k], tol * std::fabs(ref[k])) << c.what << " B" << k;
}

// The verification road finds the double root once, and its ladder
// polynomial gives back the target.
TEST(LadderByGroebnerVerify, DoubleRootFoundOnce)
{
    for (const auto &c : double_root_cases) {
        std::vector<double> q(6), a(5);
        ASSERT_TRUE(ladder_preamble(0, nullptr, c.p.data(), 5, q.data(), a.data()));
        const std::string out = report([&] { ladder_by_groebner_verify(a.data(), q.data(), 5); });
        const std::size_t at = out.find("Solutions:\n(4, 1)\n");
        ASSERT_NE(at, std::string::npos) << c.what << "\n" << out;
        std::istringstream in(out.substr(at + std::string("Solutions:\n(4, 1)\n").size()));
        std::vector<double> b(4);
        for (double &x : b)
            in >> x;
        expect_double_root(c, b, 2e-6);
        const std::size_t e = out.find("error = ");
        ASSERT_NE(e, std::string::npos) << out;
        EXPECT_LT(std::strtod(out.c_str() + e + 8, nullptr), 1e-9) << c.what << "\n" << out;
        EXPECT_EQ(out.find("error = ", e + 1), std::string::npos) << c.what << "\n" << out;
    }
}

// The coordinates of the point printed after " one at " for a solution set
// of positive dimension: reals ("x, ") and complex numbers ("(re,im) ").
std::vector<std::complex<double>> point_on_line(const std::string &out)
{
    std::vector<std::complex<double>> z;
    const std::size_t set = out.find("positive-dimensional solution set: ");
    const std::size_t at = set == std::string::npos ? set : out.find(" one at ", set);
    if (at == std::string::npos)
        return z;
    const char *c = out.c_str() + at + 8;
    while (*c && *c != '\n') {
        char *end = nullptr;
        if (*c == '(') {
            const double re = std::strtod(c + 1, &end);
            const double im = std::strtod(end + 1, &end);
            z.emplace_back(re, im);
            c = end + 1;
        } else {
            z.emplace_back(std::strtod(c, &end), 0.0);
            if (end == c)
                break;
            c = end + 1;
        }
        while (*c == ' ')
            c++;
    }
    return z;
}

// The homotopy road on the same equations. Each of them lies within the
// rounding of its coefficients of a system whose solutions fill the line
// B0 = B3 = b, B1 + B2 = s (for the Chebyshev targets b and s of the SymPy
// pair, which lies on that line to 1e-8; for the Butterworth target exactly),
// so whether the doubles show the pair as one double root or the paths as
// ending on a line depends on the last bits of the target and of the
// arithmetic (it differs between processors). What must hold for every
// rounding: something is reported, at most one root is printed, every root
// printed is the SymPy pair (or on the Butterworth line), and every point
// given on a line is on the line. The target is tried as given and with its
// coefficients moved by up to 3 units in the last place.
TEST(LadderByPolysys, DoubleRootFoundOnce)
{
    for (const auto &c0 : double_root_cases) {
        const double b = c0.sympy.empty() ? -1.0 : (c0.sympy[0][0] + c0.sympy[0][3]) / 2;
        const double s = c0.sympy.empty() ? -(std::sqrt(5.0) - 1) / 2 : c0.sympy[0][1] + c0.sympy[0][2];
        unsigned seed = 1;
        for (int trial = 0; trial < 12; trial++) {
            double_root_case c = c0;
            for (double &x : c.p) {
                seed = seed * 1103515245u + 12345u;
                const int k = trial == 0 ? 0 : static_cast<int>((seed >> 16) % 7) - 3;
                for (int i = 0; i < std::abs(k); i++)
                    x = std::nextafter(x, k > 0 ? 2.0 : -2.0);
            }
            const std::string out = report([&] { ladder_by_polysys(0, nullptr, c.p.data(), 5); });
            const std::string what = std::string(c.what) + " trial " + std::to_string(trial) + "\n" + out;
            EXPECT_NE(out.find("total degree = 4\n"), std::string::npos) << what;
            const auto sols = solution_lines(out);
            const bool line = out.find("positive-dimensional solution set: ") != std::string::npos;
            EXPECT_TRUE(line || sols.size() == 1u) << what;
            EXPECT_LE(sols.size(), 1u) << what;
            for (const auto &sol : sols)
                expect_double_root(c0, sol, 2e-5);
            if (line) {
                const auto z = point_on_line(out);
                ASSERT_EQ(z.size(), 4u) << what;
                EXPECT_LT(std::abs(z[0] - b), 2e-5) << what;
                EXPECT_LT(std::abs(z[3] - b), 2e-5) << what;
                EXPECT_LT(std::abs(z[1] + z[2] - s), 2e-5) << what;
            }
        }
    }
}

// The equations printed after header (print_eq_array lines up to an empty
// line) hold at both SymPy solutions, relative to the size of their terms.
void expect_basis_holds(const std::string &out, const char *header, double tol)
{
    const std::size_t at = out.find(header);
    ASSERT_NE(at, std::string::npos) << out;
    std::istringstream in(out.substr(at + std::string(header).size()));
    std::string line;
    int equations = 0;
    while (std::getline(in, line) && !line.empty()) {
        termlist L;
        std::string err;
        ASSERT_TRUE(poly_text::parse_termlist(line.c_str() + 6, &L, &err)) << line << ": " << err;
        for (const auto &b : quartic_b) {
            double sum = 0, scale = 0;
            for (int k = 0; k < L.n; k++) {
                double t = static_cast<double>(L.t[k].coef);
                for (int v = 0; v < L.t[k].n; v++)
                    t *= std::pow(b[v], L.t[k].exp[v]);
                sum += t;
                scale += std::fabs(t);
            }
            EXPECT_LT(std::fabs(sum), tol * scale) << line;
        }
        equations++;
    }
    EXPECT_EQ(equations, 3) << out;
}

// The verification road on the same equations: the solution matrix (one
// column per solution, "%15.6e") against SymPy, and the printed error of
// each ladder polynomial against the target below 1e-8.
TEST(LadderByGroebnerVerify, QuarticWithOneWeight)
{
    const double a[4] = {-0.4, 0, 0, -3.6}, q[5] = {1, 4, 6, 4, 1};
    const std::string out = report([&] { ladder_by_groebner_verify(a, q, 4); });
    const std::size_t at = out.find("Solutions:\n(3, 2)\n");
    ASSERT_NE(at, std::string::npos) << out;
    std::istringstream in(out.substr(at + std::string("Solutions:\n(3, 2)\n").size()));
    double M[3][2];
    for (auto &row : M)
        in >> row[0] >> row[1];
    for (const auto &b : quartic_b) {
        int hits = 0;
        for (int j = 0; j < 2; j++) {
            bool same = true;
            for (int k = 0; k < 3; k++)
                same = same && std::fabs(M[k][j] - b[k]) <= 1e-6 * std::fabs(b[k]);
            hits += same;
        }
        EXPECT_EQ(hits, 1) << out;
    }
    int errors = 0;
    for (std::size_t e = 0; (e = out.find("error = ", e)) != std::string::npos; e++) {
        EXPECT_LT(std::strtod(out.c_str() + e + 8, nullptr), 1e-8) << out;
        errors++;
    }
    EXPECT_EQ(errors, 2) << out;
    EXPECT_NE(out.find("Verification:\n              1 * s^4 +\n"), std::string::npos) << out;
}

// Two elimination passes, then the Groebner basis of what is left: its
// equations hold at the SymPy solutions (up to the six digits printed).
TEST(GLadderEliminate2, TwoPassesThenABasisWithTheSameSolutions)
{
    const double a[4] = {-0.4, 0, 0, -3.6}, q[5] = {1, 4, 6, 4, 1};
    const std::string out = report([&] { g_ladder_eliminate2(a, q, 4); });
    EXPECT_EQ(out.rfind("s=\n", 0), 0u) << out;
    EXPECT_NE(out.find("\ntarget=\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\ns-target=\n"), std::string::npos) << out;
    EXPECT_NE(out.find("e1 = 0 0 0\ne2= 0 0 0\nvar =\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n\nmin=3, min_i=2\n\n"), std::string::npos) << out;
    int passes = 0;
    for (std::size_t e = 0; (e = out.find("\nmin=", e)) != std::string::npos; e++)
        passes++;
    EXPECT_EQ(passes, 2) << out;
    expect_basis_holds(out, "after elimination:\n", 1e-5);
}

// The method selector: the target and the scaled target, then the chosen
// road. The rational road converts the coefficients to nearby rationals
// (within 0.001), so its basis holds at the exact solutions only to that
// accuracy; it prints no b values of its own.
TEST(LadderSymbolicTest, EachMethodOnTheQuartic)
{
    const double p[5] = {2, 8, 12, 8, 2}, w[1] = {0.1};  // 2 (s + 1)^4
    const std::string head = "target=\n              2 * s^4 +\n              8 * s^3 +\n             12 * s^2 +\n"
                             "              8 * s^1 +\n              2 * s^0\n\nscaled target=\n"
                             "              1 * s^4 +\n              4 * s^3 +\n              6 * s^2 +\n"
                             "              4 * s^1 +\n              1 * s^0\n\n";
    std::string out[4];
    for (int method = 0; method < 4; method++)
        out[method] = report([&] { ladder_symbolic_test(1, w, p, 4, method); });
    for (const auto &o : out)
        EXPECT_EQ(o.rfind(head, 0), 0u) << o;
    expect_basis_holds(out[0], "\nfloating-point:\n", 1e-2);
    // Each road runs on the preamble's diagonal and scaled target.
    const double a[4] = {-0.4, 0, 0, -3.6}, q[5] = {1, 4, 6, 4, 1};
    EXPECT_EQ(out[0], head + report([&] { rational_pipeline(a, q, 4); }));
    EXPECT_EQ(out[1], head + report([&] { ladder_by_groebner_verify(a, q, 4); }));
    EXPECT_EQ(out[2], head + report([&] { write_cas_script(a, q, 4); }));
    EXPECT_NE(out[2].find("ring r=real,(B0,B1,B2), lp;\npoly f0=B0 * B2 - 1.44 * B1 - 1;\n"), std::string::npos)
        << out[2];
    EXPECT_NE(out[2].find("ideal i=f0,f1,f2;\nideal g=groebner(i);\ng;\nquit;\n"), std::string::npos) << out[2];
    EXPECT_EQ(out[3], head);

    const int saved = ist.verbosity;
    ist.verbosity = -1;
    const std::string quiet = report([&] { ladder_symbolic_test(1, w, p, 4, 3); });
    ist.verbosity = saved;
    EXPECT_EQ(quiet, "");
}

}  // namespace
