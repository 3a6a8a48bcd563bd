// The pieces of the solver: machine constants, complex helpers, the
// Hermite cubic, the zero finder, the least-squares scaling, the start
// roots, the homotopy's Jacobian and the tangent routine.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "homotopy/complex_ops.h"
#include "homotopy/end_game.h"
#include "homotopy/hermite.h"
#include "homotopy/homotopy_map.h"
#include "homotopy/machine.h"
#include "homotopy/scale.h"
#include "homotopy/start_system.h"
#include "homotopy/tracker.h"
#include "base/globals.h"
#include "system_fixture.h"
#include "tests/base/capture.h"

namespace {

TEST(D1mach, IeeeConstants)
{
    EXPECT_EQ(D1MACH(1), 2.2250738585072014e-308);
    EXPECT_EQ(D1MACH(2), 1.7976931348623157e+308);
    EXPECT_EQ(D1MACH(3), std::ldexp(1.0, -53));
    EXPECT_EQ(D1MACH(4), std::ldexp(1.0, -52));
    EXPECT_DOUBLE_EQ(D1MACH(5), 0.30102999566398120);
}

TEST(D1machDeathTest, IndexOutOfBoundsEndsTheRunWithStatusOne)
{
    EXPECT_EXIT(D1MACH(0), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(D1MACH(6), ::testing::ExitedWithCode(1), "");
}

TEST(ComplexOps, PowerTable)
{
    struct row {
        int k;
        double zre, zim, re, im;
    };
    const row rows[] = {
        {0, 0, 0, 1, 0},   {3, 0, 0, 0, 0},      {1, 2, -3, 2, -3},  {-2, 0, 2, -0.25, 0},
        {2, 1, 1, 0, 2},   {3, 1, 1, -2, 2},     {-1, 0, 2, 0, -0.5}, {5, -1, 0, -1, 0},
    };
    for (const auto &r : rows) {
        const double z[2] = {r.zre, r.zim};
        double c[2];
        hom_cpow(r.k, z, c);
        EXPECT_NEAR(c[0], r.re, 1e-15) << r.k << " (" << r.zre << "," << r.zim << ")";
        EXPECT_NEAR(c[1], r.im, 1e-15) << r.k << " (" << r.zre << "," << r.zim << ")";
    }
}

TEST(ComplexOps, ProductAndGuardedQuotient)
{
    const double a[2] = {1, 2}, b[2] = {3, -1};
    double c[2];
    hom_cmul(a, b, c);
    EXPECT_EQ(c[0], 5.0);
    EXPECT_EQ(c[1], 5.0);
    int flag = 7;
    hom_cdiv(c, b, c, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_NEAR(c[0], 1.0, 1e-15);
    EXPECT_NEAR(c[1], 2.0, 1e-15);

    const double one[2] = {1, 0}, zero[2] = {0, 0};
    hom_cdiv(one, zero, c, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(c[0], D1MACH(2));
    EXPECT_EQ(c[1], D1MACH(2));

    const double nan[2] = {std::nan(""), 0};
    hom_cdiv(one, nan, c, flag);
    EXPECT_EQ(flag, 1);
}

TEST(Hermite, CubicThroughValuesAndSlopes)
{
    // p(t) = 2 - t + 3 t^2 - t^3 on [0, 2]: p(0) = 2, p'(0) = -1, p(2) = 4, p'(2) = -1.
    auto p = [](double t) { return 2 - t + 3 * t * t - t * t * t; };
    for (double t : {-0.5, 0.0, 0.7, 2.0, 3.1})
        EXPECT_NEAR(hom_hermite(2, -1, 4, -1, 2, t), p(t), 1e-13) << t;
}

// Runs the zero finder on f over [b, c] and returns its result flag.
template <class F>
int find_zero(F f, double &b, double c, double re, double ae, int *evals = nullptr)
{
    hom_zero_state st;
    double t = 0, ft = 0;
    int flag = 0, count = 0;
    for (;;) {
        hom_zero_finder(t, ft, b, c, re, ae, flag, st);
        if (flag > 0)
            break;
        ft = f(t);
        count++;
    }
    if (evals)
        *evals = count;
    return flag;
}

TEST(ZeroFinder, ResultsOfTheSearch)
{
    double b = 0;
    int evals = 0;
    EXPECT_EQ(find_zero([](double t) { return t * t - 2; }, b, 2.0, 1e-14, 0, &evals), 1);
    EXPECT_NEAR(b, std::sqrt(2.0), 1e-13);
    EXPECT_LT(evals, 30);

    b = -1;
    EXPECT_EQ(find_zero([](double t) { return t; }, b, 3.0, 0, 0), 2);
    EXPECT_EQ(b, 0.0);

    b = 0;
    EXPECT_EQ(find_zero([](double t) { return t * t + 1; }, b, 1.0, 1e-10, 0), 4);

    b = 0;
    EXPECT_EQ(find_zero([](double t) { return 1.0 / (t - 0.3); }, b, 1.0, 1e-12, 0), 3);

    // A relative tolerance of 0 is raised to the machine spacing; the cap
    // of 500 evaluations ends a search that cannot get there.
    b = 1;
    EXPECT_LE(find_zero([](double t) { return std::cbrt(t - 1.2345678); }, b, 2.0, 0, 0, &evals), 2);
    EXPECT_NEAR(b, 1.2345678, 1e-14);
    b = 0;
    evals = 0;
    EXPECT_EQ(find_zero([](double t) { return t < 0.5 ? -1.0 : 1.0; }, b, 1.0, 0, -1, &evals), 1);
    EXPECT_LE(evals, 500);
}

// hom_scale of a packed system, with scratch of the stated lengths.
struct scaling {
    std::vector<int> kc, ke;
    std::vector<double> kcoef, M, b, R, work, v, f, scaled;
    int fail = -1;
    explicit scaling(solve_run &s)
    {
        const int n = s.n, m = s.max_terms;
        kc.resize(n);
        ke.resize(n * n * m);
        kcoef.resize(n * m);
        M.resize(4 * n * n);
        b.resize(2 * n);
        R.resize(n * (2 * n + 1));
        work.resize(2 * n);
        v.resize(n);
        f.resize(n);
        scaled.resize(n * m);
        hom_scale(n, s.ld, m, s.term_count.data(), s.e.data(), 0, 0.0, s.coef.data(), kc.data(), ke.data(),
                  kcoef.data(), M.data(), b.data(), R.data(), work.data(), v.data(), f.data(), scaled.data(), fail);
    }
};

// Coefficients of magnitude 1 need no scaling: f = v = 0.
TEST(Scale, UnitCoefficientsAreLeftAlone)
{
    solve_run sys({{{1, {2, 0}}, {-1, {0, 2}}, {1, {0, 0}}}, {{-1, {1, 1}}, {1, {0, 0}}}});
    scaling sc(sys);
    EXPECT_EQ(sc.fail, 0);
    for (int i = 0; i < 2; i++) {
        EXPECT_NEAR(sc.v[i], 0.0, 1e-14);
        EXPECT_NEAR(sc.f[i], 0.0, 1e-14);
    }
    for (int j = 0; j < 2; j++)
        for (int k = 0; k < sys.term_count[j]; k++)
            EXPECT_NEAR(sc.scaled[k * 2 + j], sys.coef[k * 2 + j], 1e-14);
}

// Each term of {1e4 x^2 - 1e-2, 1e-3 y - 10 + 0 x}: the least-squares
// scaling makes every coefficient 1 in magnitude exactly (the problem has
// an exact solution), and the zero coefficient stays 0. A homogeneous
// system has no unique scaling: that is reported, and nothing is scaled.
TEST(Scale, ExactlyScalableAndSingularSystems)
{
    solve_run sys({{{1e4, {2, 0}}, {-1e-2, {0, 0}}}, {{1e-3, {0, 1}}, {-10, {0, 0}}, {0, {1, 0}}}});
    scaling sc(sys);
    EXPECT_EQ(sc.fail, 0);
    EXPECT_EQ(sc.kc[1], 2);
    EXPECT_NEAR(sc.scaled[0], 1.0, 1e-12);
    EXPECT_NEAR(sc.scaled[2], -1.0, 1e-12);
    EXPECT_NEAR(sc.scaled[1], 1.0, 1e-12);
    EXPECT_NEAR(sc.scaled[3], -1.0, 1e-12);
    EXPECT_EQ(sc.scaled[5], 0.0);
    // x = 10^v1 u with 1e4 x^2 = 1e-2: |x| = 1e-3, so v1 = -3; y = 1e4, v2 = 4.
    EXPECT_NEAR(sc.v[0], -3.0, 1e-12);
    EXPECT_NEAR(sc.v[1], 4.0, 1e-12);

    // {x^2 + 3 x y, y^2 - 7 x^2}: all terms of one degree.
    solve_run hom({{{1, {2, 0}}, {3, {1, 1}}}, {{1, {0, 2}}, {-7, {2, 0}}}});
    scaling hs(hom);
    EXPECT_EQ(hs.fail, 1);
    EXPECT_EQ(hs.v[0], 0.0);
    EXPECT_EQ(hs.v[1], 0.0);
    EXPECT_EQ(hs.scaled[2], 3.0);
}

TEST(Scale, QrFactorSolvesAGeneralSystem)
{
    // A 3 x 3 system with solution (1, -2, 3).
    const int order = 3;
    double M[9] = {4, 1, -2, 2, 5, 1, -1, 3, 6};  // column-major
    const double x[3] = {1, -2, 3};
    double b[3];
    for (int i = 0; i < 3; i++)
        b[i] = M[i] * x[0] + M[3 + i] * x[1] + M[6 + i] * x[2];
    double R[6], work[3];
    int flag = -1;
    hom_qr_factor(M, R, order, flag);
    ASSERT_EQ(flag, 0);
    // M now holds Q^T: its rows are orthonormal.
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            double dot = 0;
            for (int k = 0; k < 3; k++)
                dot += M[k * 3 + i] * M[k * 3 + j];
            EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-14);
        }
    hom_qr_solve(M, R, b, work, order);
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(b[i], x[i], 1e-13);

    double S[9] = {1, 2, 3, 2, 4, 6, 0, 1, 1};  // second column twice the first
    hom_qr_factor(S, R, order, flag);
    EXPECT_EQ(flag, 4);
}

TEST(Scale, ToAffine)
{
    // Without the projective transformation and scaling: unchanged, x_(n+1) = 1.
    const double c0[6] = {0, 0, 0, 0, 1, 0}, v0[2] = {0, 0};
    double x[4] = {1.5, -2, 3, 0.25}, s[4], xn[2];
    hom_to_affine(2, c0, v0, s, x, xn);
    EXPECT_EQ(x[0], 1.5);
    EXPECT_EQ(x[1], -2.0);
    EXPECT_EQ(x[3], 0.25);
    EXPECT_EQ(xn[0], 1.0);
    EXPECT_EQ(xn[1], 0.0);
    // n = 1, c = (i, 1): x_2 = 1 + i x; x / x_2 scaled by 10^2.
    const double c1[4] = {0, 1, 1, 0}, v1[1] = {2};
    double y[2] = {1, 0};
    hom_to_affine(1, c1, v1, s, y, xn);
    const std::complex<double> expect = 100.0 * (1.0 / std::complex<double>(1, 1));
    EXPECT_NEAR(y[0], expect.real(), 1e-13);
    EXPECT_NEAR(y[1], expect.imag(), 1e-13);
    EXPECT_EQ(xn[0], 1.0);
    EXPECT_EQ(xn[1], 1.0);
    // A part that the scale factor would overflow stays as it is.
    const double vbig[1] = {300};
    double z[2] = {1e10, 0};
    hom_to_affine(1, c0 + 2, vbig, s, z, xn);
    EXPECT_EQ(z[0], 1e10);
}

// The per-solve data that hom_init prepares for a packed system of two
// equations, on evaluation blocks of their exact lengths.
struct prepared {
    std::vector<double> par;
    std::vector<int> ipar;
    int deg[2];
    double v[2], c[6], q[4], p[4], r[4];
    prepared(solve_run &s, int mode)
        : par(hom_real_block_length(s.n, s.max_terms)), ipar(hom_int_block_length(s.n, s.max_terms))
    {
        hom_init(mode, s.n, s.term_count.data(), s.e.data(), s.coef.data(), s.ld, s.max_terms, par.data(),
                 ipar.data(), deg, v, c, q, p, r);
    }
};

// The start roots of d = 3 for paths 1, 2, 3 rotate r by 2 pi k / 3; each
// is a root of q x^3 - p.
TEST(StartSystem, StartRootsAreRootsOfTheStartSystem)
{
    const std::vector<std::vector<term_spec>> eqs = {{{1, {3, 0}}, {-1, {0, 0}}}, {{1, {1, 1}}, {-1, {0, 0}}}};
    solve_run sys(eqs);
    prepared prep(sys, 0);
    const int n = 2;
    const int *deg = prep.deg;
    EXPECT_EQ(deg[0], 3);
    EXPECT_EQ(deg[1], 2);
    EXPECT_EQ(sys.exponent(0, 2, 1), 3);  // the homogenising exponent of the constant
    EXPECT_EQ(sys.exponent(1, 2, 0), 0);
    EXPECT_EQ(sys.exponent(1, 2, 1), 2);
    int odo[2] = {0, 1};
    const std::complex<double> qc(prep.q[0], prep.q[1]), pc(prep.p[0], prep.p[1]), rc(prep.r[0], prep.r[1]);
    const double twopi = 8.0 * static_cast<double>(static_cast<float>(std::atan(1.0)));
    for (int k = 1; k <= 3; k++) {
        double x[4];
        hom_start_point(n, odo, deg, prep.r, x);
        EXPECT_EQ(odo[0], k);
        EXPECT_EQ(odo[1], 1);
        const std::complex<double> xc(x[0], x[1]);
        // 2 pi is taken in single precision, so the start point lies off the
        // start system's root by about 1e-7 (the first corrector mends it).
        EXPECT_LT(std::abs(qc * xc * xc * xc - pc), 1e-6) << k;
        EXPECT_LT(std::abs(xc - rc * std::polar(1.0, twopi / 3 * k)), 1e-15) << k;
    }
    double x[4];
    hom_start_point(n, odo, deg, prep.r, x);
    EXPECT_EQ(odo[0], 1);
    EXPECT_EQ(odo[1], 2);
}

// dH/dlambda and dH/dx of the homotopy against central differences of H,
// in the projective chart, at a point with one coordinate 0 (the
// derivative of a term through x_i = 0 takes the direct product).
TEST(HomotopyMap, JacobianMatchesDifferencesOfTheValue)
{
    // {1.5 x^2 - 2 x y^2 + 0.5, x y - 3}
    const std::vector<std::vector<term_spec>> eqs = {{{1.5, {2, 0}}, {-2, {1, 2}}, {0.5, {0, 0}}},
                                                     {{1, {1, 1}}, {-3, {0, 0}}}};
    solve_run sys(eqs);
    prepared prep(sys, 10);
    const int n = 2, m = sys.max_terms;
    std::vector<double> &par = prep.par;
    std::vector<int> &ipar = prep.ipar;
    const double *p = prep.p;
    // Fill the evaluation block as the driver does.
    hom_block_starts(n, m, ipar.data());
    const int *rs = ipar.data() + HOM_IB_REAL_STARTS, *is = ipar.data() + HOM_IB_INT_STARTS;
    for (int j = 0; j < n; j++) {
        ipar[is[HOM_IB_DEG] + j] = prep.deg[j];
        ipar[is[HOM_IB_TC] + j] = sys.term_count[j];
        for (int i = 0; i <= n; i++)
            for (int k = 0; k < sys.term_count[j]; k++)
                ipar[is[HOM_IB_EXP] + j + i * n + k * n * (n + 1)] = sys.exponent(j, i, k);
        for (int k = 0; k < sys.term_count[j]; k++)
            par[rs[HOM_RB_COEF] + k * n + j] = sys.coef[k * n + j];
    }
    std::copy(prep.q, prep.q + 2 * n, par.begin() + rs[HOM_RB_Q]);
    std::copy(prep.c, prep.c + 2 * (n + 1), par.begin() + rs[HOM_RB_PROJ]);

    for (const auto &pt : std::vector<std::vector<double>>{{0.3, 0.7, -0.2, 1.1, 0.4}, {0.6, 0.0, 0.0, 0.8, -0.5}}) {
        const double lambda = pt[0];
        const double *x = pt.data() + 1;
        double col[4], hp[4], hm[4];
        const double step = 1e-6;
        for (int K = 1; K <= 2 * n + 1; K++) {
            hom_jacobian(p, lambda, x, col, K, par.data(), ipar.data());
            std::vector<double> yp(pt), ym(pt);
            yp[K - 1] += step;
            ym[K - 1] -= step;
            // hom_value evaluates again; the stored Jacobian is taken first.
            double keep[4];
            std::copy(col, col + 4, keep);
            hom_value(p, yp[0], yp.data() + 1, hp, par.data(), ipar.data());
            hom_value(p, ym[0], ym.data() + 1, hm, par.data(), ipar.data());
            for (int i = 0; i < 2 * n; i++)
                EXPECT_NEAR(keep[i], (hp[i] - hm[i]) / (2 * step), 1e-7) << "K " << K << " row " << i;
            // Columns K >= 2 come from the last evaluation: renew it.
            hom_jacobian(p, lambda, x, col, 1, par.data(), ipar.data());
        }
    }
}

TEST(Tracker, InvalidInputAndUnknownFlag)
{
    std::vector<double> y(3), v(40, 0.0), sspar(8, 0.0), p(2);
    std::vector<int> pivot(3), ipar(60, 0);
    double arcre = 0, arcae = 0, ansre = 0, ansae = 1e-10, arclen = -1;
    int flag = -2, nfe = 0;
    auto call = [&](int N) {
        hom_track_entry1(N, y.data(), flag, arcre, arcae, ansre, ansae, 0, p.data(), nfe, arclen, v.data(),
                         v.data() + 3, v.data() + 6, v.data() + 9, v.data() + 17, v.data() + 19, pivot.data(),
                         v.data() + 22, v.data() + 25, v.data() + 28, v.data() + 31, sspar.data(), v.data() + 34,
                         ipar.data());
    };
    call(2);  // end relative tolerance 0
    EXPECT_EQ(flag, 7);
    ansre = 1e-10;
    flag = -2;
    call(0);
    EXPECT_EQ(flag, 7);
    flag = 5;
    call(2);
    EXPECT_EQ(flag, 7);
}

// The tangent of the fixed-point homotopy lambda (x - f(x)) + (1 - lambda)
// (x - a) with the system's f = 0 (the curve x = (1 - lambda) a) is (1, -a)
// normalised; the Newton step from a
// point off the curve goes back onto it.
TEST(Tracker, TangentAndNewtonStepOfTheFixedPointHomotopy)
{
    const int N = 2;
    std::vector<int> ipar(60, 0);
    ipar[HOM_IB_N] = 1;
    const double a[2] = {2, -1};
    double y[3] = {0.5, 1.0, -0.5};  // on the curve x = (1 - lambda) a
    double yp[3], ypold[3] = {1, 0, 0}, qr[8], alpha[2], tz[3], par[1];
    int pivot[3], nfe = 0, flag = 0;
    double rholen = -1;
    hom_tangent(rholen, y, yp, ypold, a, qr, alpha, tz, pivot, nfe, N, flag, par, ipar.data());
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(nfe, 1);
    EXPECT_NEAR(rholen, 0.0, 1e-15);
    const double nrm = std::sqrt(1 + 4 + 1);
    EXPECT_NEAR(yp[0], 1 / nrm, 1e-15);
    EXPECT_NEAR(yp[1], -2 / nrm, 1e-15);
    EXPECT_NEAR(yp[2], 1 / nrm, 1e-15);
    // Off the curve by (0.3, 0.2) in x: the step lands on the line and is
    // normal to the tangent.
    double w[3] = {0.5, 1.3, -0.3};
    rholen = -1;
    hom_tangent(rholen, w, yp, ypold, a, qr, alpha, tz, pivot, nfe, N, flag, par, ipar.data());
    EXPECT_NEAR(rholen, std::sqrt(0.09 + 0.04), 1e-15);
    for (int i = 0; i < 3; i++)
        w[i] += tz[i];
    EXPECT_NEAR(w[1], (1 - w[0]) * a[0], 1e-14);
    EXPECT_NEAR(w[2], (1 - w[0]) * a[1], 1e-14);
    EXPECT_NEAR(tz[0] * yp[0] + tz[1] * yp[1] + tz[2] * yp[2], 0.0, 1e-15);
}

// The second entry on the fixed-point homotopy x - (1 - lambda) a: the path
// runs straight from (0, a) to (1, 0), ends through the end game, and a
// positive trace channel writes one record per step.
TEST(Tracker, EntryZeroTracksTheFixedPointLineWithItsTrace)
{
    const int N = 2;
    std::vector<int> ipar(60, 0), pivot(N + 1);
    ipar[HOM_IB_N] = 1;
    std::vector<double> y = {0.0, 0.6, -0.8}, p(N), sspar(8, 0.0), par(1);
    // tangent, previous point and tangent, QR, diagonal, Newton step,
    // iterate and its tangent, predicted point, first iterate
    std::vector<double> v[10] = {std::vector<double>(N + 1), std::vector<double>(N + 1),
                                 std::vector<double>(N + 1), std::vector<double>(N * (N + 2)),
                                 std::vector<double>(N),     std::vector<double>(N + 1),
                                 std::vector<double>(N + 1), std::vector<double>(N + 1),
                                 std::vector<double>(N + 1), std::vector<double>(N + 1)};
    double arcre = 1e-6, arcae = 1e-6, ansre = 1e-12, ansae = 1e-12, arclen = 0;
    int flag = 0, nfe = 0;
    const std::string trace = capture_stream([&](FILE *f) {
        FILE *saved = ist.out_fp;
        ist.out_fp = f;
        hom_track_entry0(N, y.data(), flag, arcre, arcae, ansre, ansae, 1, p.data(), nfe, arclen, v[0].data(),
                         v[1].data(), v[2].data(), v[3].data(), v[4].data(), v[5].data(), pivot.data(),
                         v[6].data(), v[7].data(), v[8].data(), v[9].data(), sspar.data(), par.data(), ipar.data());
        ist.out_fp = saved;
    });
    EXPECT_EQ(flag, 1);
    EXPECT_NEAR(y[0], 1.0, 1e-12);
    EXPECT_NEAR(y[1], 0.0, 1e-12);
    EXPECT_NEAR(y[2], 0.0, 1e-12);
    EXPECT_EQ(p[0], 0.6);  // the start point became the parameter vector
    EXPECT_NEAR(arclen, std::sqrt(2.0), 1e-10);
    EXPECT_GT(nfe, 0);
    EXPECT_EQ(sspar[6], 3.0);  // defaults filled in
    EXPECT_EQ(sspar[3], D1MACH(4) * (static_cast<double>(static_cast<float>(std::sqrt(3.0))) + 4.0));
    // The first record: a first step of h = (2e-6)^(1/4) = 0.0376 along the
    // unit tangent (1, -0.6, 0.8) / sqrt(2), so lambda = 0.0266 and
    // x = (1 - lambda) (0.6, -0.8); one evaluation for the tangent, one for
    // the corrector.
    EXPECT_EQ(trace.rfind("\n STEP    1   NFE =    2   ARC LENGTH =   0.0376   LAMBDA = 0.0266     X vector:\n"
                          "   5.8405E-01 -7.7873E-01\n\n STEP    2",
                          0),
              0u)
        << trace;
}

}  // namespace
