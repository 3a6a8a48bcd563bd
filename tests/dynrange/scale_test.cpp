// Scaling in the L2 and L-infinity sense and to a geometric mean, checked
// against fresh Lyapunov solves and dense sampling of |F_i(jw)| with GSL.
#include <gtest/gtest.h>

#include <cmath>

#include "dr_helpers.h"
#include "dynrange/peaks.h"
#include "dynrange/scale.h"
#include "base/error.h"
#include "numeric/linalg.h"

using namespace drt;

namespace {

struct scale_case {
    const char *name;
    ss s;
};

std::vector<scale_case> filters()
{
    return {
        {"butterworth 2", butter2()},
        {"third order with zeros", companion({1, 2, 2, 1}, {1, -0.4, 0.3})},
        {"bandpass-like, peaks away from 0", make_ss(4, {-0.1, 3, 0, 0, -3, -0.1, 1, 0, 0, 0, -0.2, 2, 0, 0, -2, -0.2},
                                                     {1, 0, 0, 0.5}, {0, 1, 1, 0})},
        {"fourth order, poles at 1e3", companion({24e12, 50e9, 35e6, 10e3, 1}, {24e12})},
    };
}

void expect_same_response(const ss &a, const ss &b, const char *name)
{
    for (double w : {0.0, 0.5, 2.0, 1e3, 3e3}) {
        cplx ha = H_of(a, w);
        EXPECT_LT(std::abs(ha - H_of(b, w)), 1e-9 * (1 + std::abs(ha))) << name;
    }
}

// Cached Gramians of the current filter against a fresh solve.
void expect_caches_fresh(const char *name)
{
    int n = fst.cur_filter.n;
    dvec K = gram_k(fst.cur_filter), W = gram_w(fst.cur_filter);
    ASSERT_EQ(fst.cur_K.rows, n);
    ASSERT_EQ(fst.cur_W.rows, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            EXPECT_NEAR(at(fst.cur_K, i, j), K[i * n + j], 1e-9 * (1 + std::fabs(K[i * n + j]))) << name;
            EXPECT_NEAR(at(fst.cur_W, i, j), W[i * n + j], 1e-9 * (1 + std::fabs(W[i * n + j]))) << name;
        }
}

TEST(DoScale, L2GivesEveryIntegratorTheOutputPower)
{
    for (const auto &c : filters()) {
        program p;
        ist.linf_flag = 0;
        ss keep = copy_ss(c.s);
        install(c.s);
        ensure_w();
        ASSERT_EQ(do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, 1.0), 0) << c.name;
        int n = keep.n;
        dvec K = gram_k(fst.cur_filter);
        double out = 0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                out += fst.cur_filter.C.data[i] * K[i * n + j] * fst.cur_filter.C.data[j];
        for (int i = 0; i < n; i++)
            EXPECT_NEAR(K[i * n + i], out, 1e-9 * out) << c.name;
        expect_same_response(keep, fst.cur_filter, c.name);
        expect_caches_fresh(c.name);
        // the analysis copy follows: its response is that of the scaled record
        EXPECT_EQ(fst.ana_ss.A.data, fst.cur_filter.A.data);
        // a second scaling changes nothing
        ss once = copy_ss(fst.cur_filter);
        ASSERT_EQ(do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, 1.0), 0);
        for (int k = 0; k < n * n; k++)
            EXPECT_NEAR(fst.cur_filter.A.data[k], once.A.data[k], 1e-9 * (1 + std::fabs(once.A.data[k])));
    }
}

TEST(DoScale, LinfPutsEveryPeakAtTheTarget)
{
    for (double sf : {1.0, 2.5}) {
        for (const auto &c : filters()) {
            program p;
            ss keep = copy_ss(c.s);
            install(c.s);
            ensure_k();
            ensure_w();
            ASSERT_EQ(do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, sf), 0) << c.name;
            double w0 = std::pow(std::fabs(det(keep.A)), 1.0 / keep.n);
            dvec tops = sampled_tops(fst.cur_filter, 1e-4 * w0, 1e4 * w0, 40000);
            for (int i = 0; i < keep.n; i++) {
                EXPECT_LT(tops[i], sf * (1 + 1e-6)) << c.name << " i=" << i;
                EXPECT_GT(tops[i], sf * (1 - 1e-3)) << c.name << " i=" << i;
            }
            expect_same_response(keep, fst.cur_filter, c.name);
            expect_caches_fresh(c.name);
        }
    }
}

TEST(DoScale, RefusesFactorsThatAreZeroOrNotFinite)
{
    // the second state is not reached by the input: K_22 = 0 and |F_2| = 0
    for (int linf : {0, 1}) {
        program p;
        ist.linf_flag = linf;
        install(make_ss(2, {-1, 0.5, 0, -2}, {1, 0}, {1, 1}));
        ss keep = copy_ss(fst.cur_filter);
        EXPECT_EQ(do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, 1.0), 1) << linf;
        EXPECT_EQ(ist.exit_status, 1);
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(fst.cur_filter.A.data[k], keep.A.data[k]);
        for (int k = 0; k < 2; k++) {
            EXPECT_EQ(fst.cur_filter.B.data[k], keep.B.data[k]);
            EXPECT_EQ(fst.cur_filter.C.data[k], keep.C.data[k]);
        }
    }
    // a target peak of 0 makes every factor infinite
    program p;
    install(butter2());
    EXPECT_EQ(do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, 0.0), 1);
    EXPECT_EQ(fst.cur_filter.C.data[0], 1.0);
}

TEST(DoScale, L2WithZeroOutputUsesMeanOfDiagonal)
{
    program p;
    ist.linf_flag = 0;
    ss s = make_ss(2, {-1, 0, 0, -3}, {1, 1}, {0, 0});
    install(s);
    ASSERT_EQ(do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, 1.0), 0);
    // K = diag(1/2, 1/6) before: both become the mean 1/3
    dvec K = gram_k(fst.cur_filter);
    EXPECT_NEAR(K[0], 1.0 / 3, 1e-12);
    EXPECT_NEAR(K[3], 1.0 / 3, 1e-12);
}

TEST(ScaleGeomean, ScalewAndScalekReachKappa)
{
    for (int which : {0, 1}) {
        for (double kappa : {2.0, 0.01}) {
            program p;
            ss s = companion({1, 2, 2, 1}, {1, -0.4, 0.3});
            ss keep = copy_ss(s);
            install(s);
            ensure_k();
            ensure_w();
            dvec G = which == 0 ? gram_w(keep) : gram_k(keep);
            double g = std::cbrt(G[0] * G[4] * G[8]);
            double d = std::sqrt(kappa / g);
            if (which == 0)
                do_scalew(&fst.cur_filter, &fst.cur_W, &fst.cur_K, kappa);
            else
                do_scalek(&fst.cur_filter, &fst.cur_W, &fst.cur_K, kappa);
            // scalew: B / d and C d; scalek: B d and C / d
            double fb = which == 0 ? 1 / d : d;
            for (int i = 0; i < 3; i++) {
                EXPECT_NEAR(fst.cur_filter.B.data[i], keep.B.data[i] * fb, 1e-12);
                EXPECT_NEAR(fst.cur_filter.C.data[i], keep.C.data[i] / fb, 1e-12);
            }
            dvec N = which == 0 ? gram_w(fst.cur_filter) : gram_k(fst.cur_filter);
            EXPECT_NEAR(std::cbrt(N[0] * N[4] * N[8]), kappa, 1e-9 * kappa);
            expect_same_response(keep, fst.cur_filter, "scalew/scalek");
            expect_caches_fresh("scalew/scalek");
            EXPECT_EQ(fst.ana_ss.B.data, fst.cur_filter.B.data);
        }
    }
}

// Forty integrators whose W_ii and K_ii are 5e-21 and 5e19 (A = -I, B and
// C 1e-10 and 1e10 times ones): the product of the diagonal underflows or
// overflows, the mean does not. W_ii = C_i^2 / 2 and K_ii = B_i^2 / 2 by
// the closed form of a diagonal A, so after scalew(1) C is sqrt(2) times
// ones and after scalek(1) B is.
TEST(ScaleGeomean, ReachesKappaWhereTheProductLeavesTheRange)
{
    for (int which : {0, 1}) {
        program p;
        const int n = 40;
        std::vector<double> a(n * n, 0.0), b(n, 1e10), c(n, 1e-10);
        for (int i = 0; i < n; i++)
            a[i * n + i] = -1.0;
        install(make_ss(n, a, b, c));
        ensure_k();
        ensure_w();
        if (which == 0)
            do_scalew(&fst.cur_filter, &fst.cur_W, &fst.cur_K, 1.0);
        else
            do_scalek(&fst.cur_filter, &fst.cur_W, &fst.cur_K, 1.0);
        EXPECT_EQ(ist.exit_status, 0) << which;
        const double *v = which == 0 ? fst.cur_filter.C.data : fst.cur_filter.B.data;
        for (int i = 0; i < n; i++)
            EXPECT_NEAR(v[i], std::sqrt(2.0), 1e-12) << which << " " << i;
    }
}

TEST(ScaleGeomeanDeathTest, KappaNotPositiveEndsTheRun)
{
    EXPECT_EXIT(
        {
            program p;
            install(butter2());
            ensure_w();
            do_scalew(&fst.cur_filter, &fst.cur_W, &fst.cur_K, 0.0);
        },
        testing::ExitedWithCode(1), "do_scalew: kappa is not positive");
    EXPECT_EXIT(
        {
            program p;
            install(butter2());
            ensure_k();
            do_scalek(&fst.cur_filter, &fst.cur_W, &fst.cur_K, -1.0);
        },
        testing::ExitedWithCode(1), "do_scalek: kappa is not positive");
}

TEST(ScaleGeomean, ZeroDiagonalCannotScale)
{
    // W_22 = 0 (second state not seen at the output): the geometric mean is 0
    program p;
    install(make_ss(2, {-1, 0, 0, -2}, {1, 1}, {1, 0}));
    ensure_w();
    ss keep = copy_ss(fst.cur_filter);
    do_scalew(&fst.cur_filter, &fst.cur_W, &fst.cur_K, 1.0);
    EXPECT_EQ(ist.exit_status, 1);
    EXPECT_EQ(fst.cur_filter.B.data[0], keep.B.data[0]);
    EXPECT_EQ(fst.cur_filter.C.data[0], keep.C.data[0]);
}

}  // namespace
