// Optimal realisation by second-order modes, against the Hankel singular
// values sqrt(eig(K W)) computed with GSL.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "dr_helpers.h"
#include "dynrange/optimize.h"
#include "filter/approx.h"
#include "filter/current.h"
#include "base/error.h"

using namespace drt;

namespace {

matrix to_matrix(int n, const dvec &rowmajor)
{
    matrix M = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            M.data[j * n + i] = rowmajor[i * n + j];
    return M;
}

// The numbers printed under "Second order modes:".
dvec printed_modes(const std::string &rep)
{
    dvec m;
    size_t at = rep.find("Second order modes:\n\n");
    if (at == std::string::npos)
        return m;
    std::istringstream in(rep.substr(at + 21));
    std::string line;
    while (std::getline(in, line) && !line.empty())
        m.push_back(std::strtod(line.c_str(), nullptr));
    return m;
}

struct opt_case {
    const char *name;
    ss s;
};

TEST(Optimize, ModesAndEqualisedGramians)
{
    const double r3 = std::sqrt(3.0);
    const opt_case cases[] = {
        {"butterworth 2", butter2()},
        {"third order with zeros", companion({1, 2, 2, 1}, {1, -0.4, 0.3})},
        {"fourth order spread", companion({24, 50, 35, 10, 1}, {24, 3})},
        {"dense 3x3", make_ss(3, {-1, 0.5, 0.2, -0.3, -2, 1, 0.1, -0.4, -0.7}, {1, 0.5, -2}, {0.3, 1, 0.2})},
    };
    for (const auto &c : cases) {
        program p;
        int n = c.s.n;
        matrix K = to_matrix(n, gram_k(c.s)), W = to_matrix(n, gram_w(c.s));
        matrix P;
        matrix T0 = optimize(fst.cur_filter, K, W, &P, p.out, 1, 8);
        ASSERT_EQ(T0.rows, n) << c.name;
        ASSERT_EQ(P.rows, n) << c.name;
        dvec want = modes_of(c.s);
        if (std::string(c.name) == "butterworth 2") {
            EXPECT_NEAR(want[0], (r3 - 1) / 4, 1e-12);
            EXPECT_NEAR(want[1], (r3 + 1) / 4, 1e-12);
        }
        dvec got = printed_modes(p.report());
        ASSERT_EQ(got.size(), (size_t)n) << c.name;
        double mean = 0;
        for (int i = 0; i < n; i++) {
            EXPECT_NEAR(got[i], want[i], 1e-6 * want[n - 1]) << c.name;  // printed with %e
            mean += want[i] / n;
        }
        // the transformed realisation: K' = W' = P' with diagonal = mean of the modes
        ss t = transform_ss(T0, c.s);
        dvec Kt = gram_k(t), Wt = gram_w(t);
        for (int i = 0; i < n; i++) {
            EXPECT_NEAR(Kt[i * n + i], mean, 1e-9) << c.name;
            for (int j = 0; j < n; j++) {
                EXPECT_NEAR(Kt[i * n + j], Wt[i * n + j], 1e-9) << c.name;
                EXPECT_NEAR(at(P, i, j), Kt[i * n + j], 1e-9) << c.name;
            }
        }
        for (double w : {0.0, 0.4, 1.3, 6.0})
            EXPECT_LT(std::abs(H_of(t, w) - H_of(c.s, w)), 1e-9) << c.name;
        // optimising again: the same modes, an equalised P' again
        matrix P2;
        matrix T2 = optimize(fst.cur_filter, to_matrix(n, Kt), to_matrix(n, Wt), &P2, p.out, 0, 8);
        for (int i = 0; i < n; i++)
            EXPECT_NEAR(at(P2, i, i), mean, 1e-9) << c.name;
        EXPECT_EQ(ist.exit_status, 0);
        (void)T2;
    }
}

TEST(Optimize, QuietWithSeededSettingsAndNoticesWhenMissing)
{
    program p;
    ss s = butter2();
    matrix K = to_matrix(2, gram_k(s)), W = to_matrix(2, gram_w(s)), P;
    optimize(fst.cur_filter, K, W, &P, p.out, 0, 8);
    EXPECT_EQ(p.report(), "");
    // itmax and epsrel without a value: notices, direct method, eps 1e-4
    define_var("itmax", new_varnode(xstrdup("nothing")));
    define_var("epsrel", new_varnode(xstrdup("nothing")));
    matrix T0 = optimize(fst.cur_filter, K, W, &P, p.out, 0, 8);
    EXPECT_EQ(p.report(), "Itmax put to 0.\nEpsrel put to 1.000000e-04.\n");
    EXPECT_NEAR(at(P, 0, 0), at(P, 1, 1), 1e-12);
    // the iterative equaliser gives the same equal diagonal
    set_var_number("itmax", 50);
    set_var_number("epsrel", 1e-10);
    optimize(fst.cur_filter, K, W, &P, p.out, 0, 8);
    EXPECT_NEAR(at(P, 0, 0), std::sqrt(3.0) / 4, 1e-9);
    EXPECT_NEAR(at(P, 1, 1), std::sqrt(3.0) / 4, 1e-9);
    // a limit beyond the range of an int is taken as the largest int, not
    // wrapped to a negative count that runs no iteration
    set_var_number("itmax", 1e12);
    optimize(fst.cur_filter, K, W, &P, p.out, 0, 8);
    EXPECT_NEAR(at(P, 0, 0), std::sqrt(3.0) / 4, 1e-9);
    EXPECT_NEAR(at(P, 1, 1), std::sqrt(3.0) / 4, 1e-9);
    (void)T0;
}

TEST(Optimize, ZeroModesAreReplacedWithAWarning)
{
    // W = I and K = diag(1, 0): an exactly zero squared mode (in a filter
    // rounding leaves it a tiny positive number)
    program p;
    matrix K = to_matrix(2, {1, 0, 0, 0}), W = to_matrix(2, {1, 0, 0, 1}), P;
    matrix T0 = optimize(fst.cur_filter, K, W, &P, p.out, 1, 8);
    ASSERT_EQ(T0.rows, 2);
    EXPECT_EQ(p.report(), "Second order modes:\n\n0.000000e+00\n1.000000e+00\n\n\n"
                          "WARNING: 1 zero valued second order mode has been found.\n"
                          "         Approximations are used;\n"
                          "         zero efficiencies will result, also in the optimal case.\n\n");
    // the replacement 1e-6 * 1 keeps T invertible (R = diag(1e-6^(1/4), 1));
    // P' comes from the true K: its diagonal is the mean of the modes 0 and 1
    double d = at(T0, 0, 0) * at(T0, 1, 1) - at(T0, 0, 1) * at(T0, 1, 0);
    EXPECT_NEAR(std::fabs(d), std::pow(1e-6, 0.25), 1e-12);
    EXPECT_NEAR(at(P, 0, 0), 0.5, 1e-12);
    EXPECT_NEAR(at(P, 1, 1), 0.5, 1e-12);
    // two such modes: the plural form
    program q;
    K = to_matrix(3, {0, 0, 0, 0, 4, 0, 0, 0, 0});
    W = to_matrix(3, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    optimize(fst.cur_filter, K, W, &P, q.out, 0, 8);
    EXPECT_EQ(q.report().find("WARNING: 2 zero valued second order modes have been found.\n"), 0u) << q.report();
    EXPECT_EQ(ist.exit_status, 0);
    // epsrel 0 (or below) replaces the zero mode by 0 again: T stays singular,
    // which is reported instead of ending the run
    for (double eps : {0.0, -1.0}) {
        program z;
        set_var_number("epsrel", eps);
        K = to_matrix(2, {1, 0, 0, 0});
        W = to_matrix(2, {1, 0, 0, 1});
        matrix T = optimize(fst.cur_filter, K, W, &P, z.out, 0, 8);
        EXPECT_EQ(T.rows, 0) << eps;
        EXPECT_EQ(P.rows, 0) << eps;
        EXPECT_EQ(ist.exit_status, 1) << eps;
    }
}

TEST(Optimize, RefusesSingularWAndZeroModes)
{
    struct bad {
        const char *name;
        ss s;
    };
    const bad cases[] = {
        {"C = 0: W = 0", make_ss(2, {0, 1, -1, -1}, {0, 1}, {0, 0})},
        {"B = 0: all modes 0", make_ss(2, {0, 1, -1, -1}, {0, 0}, {1, 0})},
        {"unobservable state: W singular", make_ss(2, {-1, 0, 0, -2}, {1, 1}, {1, 0})},
    };
    for (const auto &c : cases) {
        program p;
        int n = c.s.n;
        matrix K = to_matrix(n, gram_k(c.s)), W = to_matrix(n, gram_w(c.s)), P;
        matrix T0 = optimize(fst.cur_filter, K, W, &P, p.out, 0, 8);
        EXPECT_EQ(T0.rows, 0) << c.name;
        EXPECT_EQ(P.rows, 0) << c.name;
        EXPECT_EQ(ist.exit_status, 1) << c.name;
    }
}

TEST(Optimize, RefusesGramiansThatAreNotFinite)
{
    // the integrated Gramians of 1/s diverge; one infinite entry is enough
    const double inf = INFINITY;
    struct bad {
        int n;
        dvec K, W;
    };
    const bad cases[] = {
        {1, {inf}, {inf}},
        {2, {1, 0, 0, 1}, {1, 0, 0, inf}},
        {2, {inf, 0, 0, 1}, {1, 0, 0, 1}},
    };
    for (const auto &c : cases) {
        program p;
        matrix K = to_matrix(c.n, c.K), W = to_matrix(c.n, c.W), P;
        matrix T0 = optimize(fst.cur_filter, K, W, &P, p.out, 0, 8);
        EXPECT_EQ(T0.rows, 0) << c.n;
        EXPECT_EQ(P.rows, 0) << c.n;
        EXPECT_EQ(ist.exit_status, 1) << c.n;
    }
}

}  // namespace

namespace {

// Butterworth of order 24: W's smallest eigenvalue is below its rounding, so
// an eigenvalue test of W refuses it; the factors of K and W still give the
// transformation. The largest modes against sqrt(eig(K W)) from GSL
// (dr_helpers.h), the realisation's response against the original's, and
// its fresh Gramians equal with equal diagonal entries, to 1e-6 of the
// largest mode.
TEST(Optimize, FactoredRouteBeyondTheEigenvalueTestOfW)
{
    program p;
    const int n = 24;
    ss s = butterworth(n);
    ss keep = copy_ss(s);
    install(s);
    ensure_k(fst);
    ensure_w(fst);
    matrix P;
    matrix T0 = optimize(fst.cur_filter, fst.cur_K, fst.cur_W, &P, p.out, 1, 8);
    ASSERT_EQ(T0.rows, n) << p.report();
    dvec want = modes_of(keep);
    dvec got = printed_modes(p.report());
    ASSERT_EQ((int)got.size(), n);
    double top = want[n - 1], mean = 0;
    for (int i = 0; i < n; i++)
        mean += got[i] / n;
    for (int i = n - 6; i < n; i++)
        EXPECT_NEAR(got[i], want[i], 1e-6 * top) << "mode " << i;
    for (int i = 1; i < n; i++)
        EXPECT_GT(got[i], got[i - 1]);
    ss t = transform_ss(T0, keep);
    for (double w : {0.0, 0.5, 0.99, 1.01, 3.0})
        EXPECT_LT(std::abs(H_of(t, w) - H_of(keep, w)), 1e-7) << w;
    dvec Kt = gram_k(t), Wt = gram_w(t);
    for (int i = 0; i < n; i++) {
        EXPECT_NEAR(Kt[i * n + i], mean, 1e-6 * top) << i;
        for (int j = 0; j < n; j++)
            EXPECT_NEAR(Kt[i * n + j], Wt[i * n + j], 1e-6 * top) << i << ", " << j;
    }
    EXPECT_EQ(ist.exit_status, 0);
    freem(&T0);
    freem(&P);
    free_ss(&t);
    free_ss(&keep);
}

}  // namespace
