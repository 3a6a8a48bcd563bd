// The solver on systems with known roots, in every mode; its refused calls.
#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <vector>

#include "degree64_system.h"
#include "system_fixture.h"

namespace {

using cplx = std::complex<double>;
using root_list = std::vector<std::vector<cplx>>;

// {x^2 - 1, y^2 - 4}
const std::vector<std::vector<term_spec>> squares = {{{1, {2, 0}}, {-1, {0, 0}}}, {{1, {0, 2}}, {-4, {0, 0}}}};
const root_list squares_roots = {{1, 2}, {1, -2}, {-1, 2}, {-1, -2}};

// {x^2 + y^2 - 5, x y - 2}
const std::vector<std::vector<term_spec>> circle_hyperbola = {{{1, {2, 0}}, {1, {0, 2}}, {-5, {0, 0}}},
                                                               {{1, {1, 1}}, {-2, {0, 0}}}};
const root_list circle_hyperbola_roots = {{1, 2}, {2, 1}, {-1, -2}, {-2, -1}};

// x^3 - x^2 + x - 1 = (x - 1)(x^2 + 1)
const std::vector<std::vector<term_spec>> cubic = {{{1, {3}}, {-1, {2}}, {1, {1}}, {-1, {0}}}};
const root_list cubic_roots = {{1}, {cplx(0, 1)}, {cplx(0, -1)}};

// Every expected root is the end of some converged path, and every
// converged path ends at an expected root, each to tol.
void expect_roots(const solve_run &run, const root_list &expected, double tol)
{
    auto close = [&](int k, const std::vector<cplx> &r) {
        for (int i = 0; i < run.n; i++)
            if (std::abs(run.root(k, i) - r[i]) > tol)
                return false;
        return true;
    };
    for (const auto &r : expected) {
        bool found = false;
        for (int k = 0; k < run.total_degree; k++)
            found = found || (run.path_flag[k] == 1 && close(k, r));
        EXPECT_TRUE(found) << "root " << r[0] << " not found";
    }
    for (int k = 0; k < run.total_degree; k++) {
        if (run.path_flag[k] != 1)
            continue;
        EXPECT_NEAR(run.lambda[k], 1.0, 1e-10) << "path " << k;
        bool known = false;
        for (const auto &r : expected)
            known = known || close(k, r);
        EXPECT_TRUE(known) << "path " << k << " ends at " << run.root(k, 0) << " which is no root";
    }
}

struct known_case {
    const char *name;
    const std::vector<std::vector<term_spec>> *eqs;
    const root_list *roots;
};

const known_case known_cases[] = {
    {"squares", &squares, &squares_roots},
    {"circle_hyperbola", &circle_hyperbola, &circle_hyperbola_roots},
    {"cubic", &cubic, &cubic_roots},
};

class KnownRoots : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(KnownRoots, EveryRootFoundAndEveryConvergedPathAtARoot)
{
    const auto [case_index, mode] = GetParam();
    const known_case &kc = known_cases[case_index];
    solve_run run(*kc.eqs, mode);
    run.solve();
    ASSERT_EQ(run.mode, mode) << kc.name;
    int converged = 0;
    for (int k = 0; k < run.total_degree; k++) {
        converged += run.path_flag[k] == 1;
        EXPECT_GT(run.eval_count[k], 0);
        EXPECT_GT(run.arc_length[k], 0.0);
    }
    // These systems have all their roots finite and simple.
    EXPECT_EQ(converged, run.total_degree) << kc.name;
    expect_roots(run, *kc.roots, 1e-10);
    // Without the projective transformation the homogenising coordinate is 1.
    if (mode < 10) {
        for (int k = 0; k < run.total_degree; k++)
            EXPECT_EQ(run.root(k, run.n), cplx(1.0, 0.0));
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, KnownRoots,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Values(0, 1, 10, 11)));

// A coefficient scale of 1e6 between the equations and the variables:
// x = 1e3 u, y = 1e-3 w with u^2 = 1, w^2 = 4.
TEST(HomSolve, ScalingModesSolveABadlyScaledSystem)
{
    const std::vector<std::vector<term_spec>> eqs = {{{1e-6, {2, 0}}, {-1, {0, 0}}}, {{1e6, {0, 2}}, {-4, {0, 0}}}};
    const root_list expected = {{1e3, 2e-3}, {1e3, -2e-3}, {-1e3, 2e-3}, {-1e3, -2e-3}};
    for (int mode : {1, 11}) {
        solve_run run(eqs, mode);
        run.solve();
        ASSERT_EQ(run.mode, mode);
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(run.path_flag[k], 1);
        // Relative check on each coordinate.
        for (const auto &r : expected) {
            bool found = false;
            for (int k = 0; k < 4; k++)
                found = found || (std::abs(run.root(k, 0) - r[0]) < 1e-10 * 1e3 &&
                                  std::abs(run.root(k, 1) - r[1]) < 1e-10 * 2e-3);
            EXPECT_TRUE(found) << "mode " << mode << " root " << r[0] << ", " << r[1];
        }
        // The scaled coefficients replaced the given ones, whose magnitudes
        // are now equal within each equation.
        EXPECT_NEAR(std::abs(run.coef[0]), std::abs(run.coef[run.ld]), 1e-12 * std::abs(run.coef[0]));
    }
}

// {x y - 1, x - 2}: total degree 2, one finite root (2, 1/2); the
// other path goes to infinity, which the projective chart shows as a
// homogenising coordinate tending to 0.
TEST(HomSolve, RootAtInfinityInProjectiveMode)
{
    const std::vector<std::vector<term_spec>> eqs = {{{1, {1, 1}}, {-1, {0, 0}}}, {{1, {1, 0}}, {-2, {0, 0}}}};
    solve_run run(eqs, 10);
    run.solve();
    ASSERT_EQ(run.mode, 10);
    ASSERT_EQ(run.total_degree, 2);
    int finite = -1, infinite = -1;
    for (int k = 0; k < 2; k++) {
        EXPECT_EQ(run.path_flag[k], 1) << "path " << k;
        if (std::abs(run.root(k, 2)) < 1e-8)
            infinite = k;
        else
            finite = k;
    }
    ASSERT_GE(finite, 0);
    ASSERT_GE(infinite, 0);
    EXPECT_LT(std::abs(run.root(finite, 0) - 2.0), 1e-10);
    EXPECT_LT(std::abs(run.root(finite, 1) - 0.5), 1e-10);
}

// Mode 10 + 10000 stops a path at a point with 1 - 1e-4 <= lambda < 1,
// short of the end game, with result 8; a path that steps past lambda = 1
// from below that band ends as in mode 10. {(x - 1)^2, y - 1}: both paths
// close in on the double root (1, 1) like the square root of 1 - lambda,
// in steps too short to pass the band, and stop some 1e-2 from it (y
// within 1e-3).
TEST(HomSolve, PathsStopShortOfTheEndGame)
{
    const std::vector<std::vector<term_spec>> eqs = {{{1, {2, 0}}, {-2, {1, 0}}, {1, {0, 0}}},
                                                     {{1, {0, 1}}, {-1, {0, 0}}}};
    solve_run run(eqs, 10010);
    run.solve();
    ASSERT_EQ(run.mode, 10010);
    for (int k = 0; k < 2; k++) {
        EXPECT_EQ(run.path_flag[k], 8) << "path " << k;
        EXPECT_GE(run.lambda[k], 1.0 - 1e-4) << "path " << k;
        EXPECT_LT(run.lambda[k], 1.0) << "path " << k;
        EXPECT_LT(std::abs(run.root(k, 0) - 1.0), 5e-2) << run.root(k, 0);
        EXPECT_LT(std::abs(run.root(k, 1) - 1.0), 1e-3) << run.root(k, 1);
    }
    // The same paths in mode 10 run on into the end game.
    solve_run full(eqs, 10);
    full.solve();
    for (int k = 0; k < 2; k++)
        EXPECT_NE(full.path_flag[k], 8) << "path " << k;
}

TEST(HomSolve, OneLinearEquation)
{
    const std::vector<std::vector<term_spec>> eqs = {{{2, {1}}, {-3, {0}}}};
    solve_run run(eqs);
    run.solve();
    ASSERT_EQ(run.mode, 0);
    EXPECT_EQ(run.path_flag[0], 1);
    EXPECT_LT(std::abs(run.root(0, 0) - 1.5), 1e-12);
}

// The powers of a point are formed from a table that the powers piece of
// the work array holds when the exponents are not far beyond the number of
// terms; x^12 - 1 (two terms, 13 powers of x and of the homogenising
// coordinate) takes each power from the polar form instead. Both ways give
// the twelve roots of unity, each from one path.
TEST(HomSolve, HighDegreeBeyondThePowerTable)
{
    const std::vector<std::vector<term_spec>> eqs = {{{1, {12}}, {-1, {0}}}};
    root_list unity;
    for (int k = 0; k < 12; k++)
        unity.push_back({std::polar(1.0, 2 * M_PI * k / 12)});
    for (int mode : {0, 1}) {
        solve_run run(eqs, mode);
        run.solve();
        ASSERT_EQ(run.mode, mode);
        for (int k = 0; k < 12; k++)
            EXPECT_EQ(run.path_flag[k], 1) << "mode " << mode << " path " << k;
        expect_roots(run, unity, 1e-10);
        for (const auto &r : unity) {
            int hits = 0;
            for (int k = 0; k < 12; k++)
                hits += std::abs(run.root(k, 0) - r[0]) < 1e-10;
            EXPECT_EQ(hits, 1) << "mode " << mode << " root " << r[0];
        }
    }
}

TEST(HomSolve, SkippedPathKeepsItsOutputsAndTheNextStartsFromItsOwnRoot)
{
    solve_run all(circle_hyperbola);
    all.solve();
    solve_run some(circle_hyperbola);
    some.path_flag[1] = 5;
    some.solve();
    EXPECT_EQ(some.path_flag[1], 5);
    EXPECT_EQ(some.lambda[1], -9.0);
    EXPECT_EQ(some.arc_length[1], -9.0);
    EXPECT_EQ(some.eval_count[1], -9);
    EXPECT_EQ(some.roots[2 * 3 * 1], -9.0);
    for (int k : {0, 2, 3}) {
        EXPECT_EQ(some.path_flag[k], all.path_flag[k]);
        EXPECT_EQ(some.root(k, 0), all.root(k, 0));
        EXPECT_EQ(some.root(k, 1), all.root(k, 1));
    }
}

TEST(HomSolve, MaxRestartsBelowOneBecomesOne)
{
    solve_run run(squares);
    run.max_restarts = 0;
    run.solve();
    EXPECT_EQ(run.max_restarts, 1);
    EXPECT_EQ(run.path_flag[0], 1);
}

// A degree-0 equation makes the total degree 0: no path at all.
TEST(HomSolve, ConstantEquationHasNoPaths)
{
    const std::vector<std::vector<term_spec>> eqs = {{{1, {1, 0}}, {-1, {0, 0}}}, {{3, {0, 0}}}};
    solve_run run(eqs, 0, 0, 1);
    run.solve();
    EXPECT_EQ(run.mode, 0);
    EXPECT_EQ(run.path_flag[0], -2);
    EXPECT_EQ(run.lambda[0], -9.0);
}

// Refused calls: the code, and nothing written to any output or work array.
TEST(HomSolve, RefusedCallsInTheirOrderWriteNothing)
{
    struct refusal {
        const char *what;
        int code;
        void (*spoil)(solve_run &);
    };
    const refusal cases[] = {
        {"ld below n", -1, [](solve_run &r) { r.ld = 1; }},
        {"no equations", -1, [](solve_run &r) { r.n = 0; }},
        {"term capacity below a count", -2, [](solve_run &r) { r.max_terms = 2; }},
        {"negative term count", -2, [](solve_run &r) { r.term_count[1] = -1; }},
        {"one path short", -3, [](solve_run &r) { r.total_degree = 3; }},
        {"negative exponent", -3, [](solve_run &r) { r.e[0] = -1; }},
        // The arrays themselves are one element short: the sanitizer build
        // catches any access past them.
        {"real work one short", -4,
         [](solve_run &r) {
             r.real_work.assign(--r.real_len, 0.0);
             r.real_work.shrink_to_fit();
         }},
        {"integer work one short", -5,
         [](solve_run &r) {
             r.int_work.assign(--r.int_len, 0);
             r.int_work.shrink_to_fit();
         }},
        {"mode 2", -6, [](solve_run &r) { r.mode = 2; }},
        {"mode 2 and short real work", -4, [](solve_run &r) { r.mode = 2; r.real_len--; }},
        {"mode -1 and short integer work", -5, [](solve_run &r) { r.mode = -1; r.int_len--; }},
        {"short term capacity before short work", -2,
         [](solve_run &r) { r.max_terms = 2; r.real_len = 0; }},
    };
    for (const auto &c : cases) {
        solve_run run(circle_hyperbola);
        c.spoil(run);
        const auto coef = run.coef;
        const auto e = run.e;
        const auto flags = run.path_flag;
        run.max_restarts = 0;
        run.solve();
        EXPECT_EQ(run.mode, c.code) << c.what;
        EXPECT_EQ(run.coef, coef) << c.what;
        EXPECT_EQ(run.e, e) << c.what;
        EXPECT_EQ(run.path_flag, flags) << c.what;
        EXPECT_EQ(run.max_restarts, 0) << c.what;
        for (double x : run.real_work)
            EXPECT_EQ(x, 0.0) << c.what;
        for (int x : run.int_work)
            EXPECT_EQ(x, 0) << c.what;
        for (double x : run.lambda)
            EXPECT_EQ(x, -9.0) << c.what;
    }
}

// Work arrays of exactly the stated lengths are enough; the sanitizer
// build checks that nothing past them is touched. The arrays are handed over
// as heap blocks of exactly that size, so one element beyond is caught.
TEST(HomSolve, ExactWorkLengthsSuffice)
{
    for (int mode : {0, 1, 10, 11}) {
        solve_run run(circle_hyperbola, mode);
        run.real_work.shrink_to_fit();
        run.int_work.shrink_to_fit();
        run.solve();
        EXPECT_EQ(run.mode, mode);
    }
}

}  // namespace

namespace {

// Every one of the 64 paths converges, each end point satisfies the system
// (residual checked directly) and the 64 end points are distinct. With a
// loose tracking tolerance (1e-4 here) two paths can come close enough for
// the corrector to jump from one to the other; 1e-6 keeps them apart.
TEST(HomSolve, SixtyFourPathsEndAtSixtyFourDistinctRoots)
{
    const auto eqs = degree64_system();
    solve_run run(eqs);
    run.track_tol = 1e-6;
    run.solve();
    ASSERT_EQ(run.mode, 0);
    ASSERT_EQ(run.total_degree, 64);
    for (int k = 0; k < 64; k++) {
        ASSERT_EQ(run.path_flag[k], 1) << "path " << k;
        cplx x[3] = {run.root(k, 0), run.root(k, 1), run.root(k, 2)};
        for (const auto &eq : eqs) {
            cplx sum = 0, scale = 0;
            for (const auto &t : eq) {
                cplx term = t.coef;
                for (int i = 0; i < 3; i++)
                    term *= std::pow(x[i], t.exps[i]);
                sum += term;
                scale += std::abs(term);
            }
            EXPECT_LT(std::abs(sum), 1e-10 * std::max(1.0, scale.real())) << "path " << k;
        }
        for (int l = 0; l < k; l++) {
            double d = 0;
            for (int i = 0; i < 3; i++)
                d += std::abs(run.root(k, i) - run.root(l, i));
            EXPECT_GT(d, 1e-6) << "paths " << l << " and " << k << " end at the same root";
        }
    }
}

}  // namespace
