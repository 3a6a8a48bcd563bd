// Frequency transformations, the tridiagonal and the dual realisation, and
// the similarity rules of the Gramians, against closed forms and GSL.
#include <gtest/gtest.h>

#include <cmath>

#include "dr_helpers.h"
#include "filter/approx.h"
#include "filter/transform.h"
#include "numeric/linalg.h"

using namespace drt;

namespace {

const double tol = 1e-10;

TEST(Bandpass, FirstOrderGivesResonatorPair)
{
    program p;
    ss lp = make_ss(1, {-1}, {1}, {1});
    ss bp = bandpass_ss(lp, 1.0, 1.0);
    ASSERT_EQ(bp.n, 2);
    const double A[2][2] = {{-1, 1}, {-1, 0}};
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++)
            EXPECT_EQ(at(bp.A, i, j), A[i][j]);
    EXPECT_EQ(bp.B.data[0], 1);
    EXPECT_EQ(bp.B.data[1], 0);
    EXPECT_EQ(bp.C.data[0], 1);
    EXPECT_EQ(bp.C.data[1], 0);
    // H'(s) = s / (s^2 + s + 1)
    for (double w : {0.1, 1.0, 3.0})
        EXPECT_LT(std::abs(H_of(bp, w) - rational({0, 1}, {1, 1, 1}, cplx(0, w))), tol);
}

TEST(Bandpass, MapsLowpassResponseOntoBand)
{
    // H_bp(s) = H_lp((s^2 + w0^2) / (bw s)) for a third-order lowpass with zeros
    program p;
    const dvec den = {1, 2, 2, 1}, num = {2, 0.5};
    ss lp = companion(den, num);
    lp.D = 0.25;
    const double w0 = 1e4, bw = 2e3;
    ss bp = bandpass_ss(lp, w0, bw);
    ASSERT_EQ(bp.n, 6);
    EXPECT_EQ(bp.D, 0.25);
    for (double w : {3e3, 9e3, 1e4, 1.07e4, 4e4}) {
        cplx s(0, w);
        cplx want = rational(num, den, (s * s + w0 * w0) / (bw * s)) + 0.25;
        EXPECT_LT(std::abs(H_of(bp, w) - want), 1e-9 * std::abs(want) + 1e-12) << w;
    }
}

TEST(Lowpass, ScalesFrequencyAxis)
{
    program p;
    ss s = butter2();
    ss l = lowpass_ss(s, 2.0);
    ASSERT_EQ(l.n, 2);
    // H'(jw) = H(jw / 2); the poles double: 2 * (-1 +- j) / sqrt 2
    for (double w : {0.0, 0.7, 2.0, 5.0})
        EXPECT_LT(std::abs(H_of(l, w) - H_of(s, w / 2)), tol);
    matrix ev = evc(l.A);
    for (int i = 0; i < 2; i++) {
        EXPECT_NEAR(ev.data[i], -std::sqrt(2.0), tol);
        EXPECT_NEAR(std::fabs(ev.data[2 + i]), std::sqrt(2.0), tol);
    }
    // f = 1 gives a copy with its own storage
    ss c = lowpass_ss(s, 1.0);
    EXPECT_NE(c.A.data, s.A.data);
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(c.A.data[k], s.A.data[k]);
}

TEST(FrequencyTransforms, RefuseParametersNotAboveZero)
{
    struct bad {
        double w0, bw, f;
    };
    for (bad b : {bad{0, 1, 0}, bad{1, -1, -2}, bad{-1, 0, NAN}}) {
        program p;
        ss s = butter2();
        EXPECT_EQ(bandpass_ss(s, b.w0, b.bw).n, 0);
        EXPECT_EQ(lowpass_ss(s, b.f).n, 0);
        EXPECT_EQ(ist.exit_status, 1);
    }
}

TEST(FrequencyTransforms, RefuseResultsBeyondTheRangeOfADouble)
{
    // an infinite factor (1e400 as read) puts inf and 0 * inf = NaN into A;
    // a finite factor can still overflow an element (1e200 * 1e200)
    struct bad {
        double w0, bw, f, a;
    };
    for (bad b : {bad{INFINITY, 1, INFINITY, 1}, bad{1, INFINITY, 1e200, 1e200}, bad{1e200, 1e200, 1e300, 1e200}}) {
        program p;
        ss s = make_ss(2, {0, b.a, -b.a, -1}, {0, 1}, {1, 0});
        EXPECT_EQ(bandpass_ss(s, b.w0, b.bw).n, 0) << b.w0 << " " << b.bw << " " << b.a;
        EXPECT_EQ(lowpass_ss(s, b.f).n, 0) << b.f << " " << b.a;
        EXPECT_EQ(ist.exit_status, 1);
    }
    // large but representable results are kept
    program p;
    ss s = butter2();
    EXPECT_EQ(lowpass_ss(s, 1e300).n, 2);
    EXPECT_EQ(bandpass_ss(s, 1e300, 1e300).n, 4);
    EXPECT_EQ(ist.exit_status, 0);
}

TEST(Transpose, KeepsResponseAndSwapsGramians)
{
    program p;
    ss s = butter2();
    ss t = transpose_ss(s);
    ASSERT_EQ(t.n, 2);
    for (double w : {0.0, 0.5, 1.0, 4.0})
        EXPECT_LT(std::abs(H_of(t, w) - H_of(s, w)), tol);
    // K of the dual realisation is W of the original (closed form)
    dvec K = gram_k(t);
    const double r = 2 * std::sqrt(2.0);
    const dvec Wold = {3 / r, std::sqrt(2.0) / r, std::sqrt(2.0) / r, 1 / r};
    for (int k = 0; k < 4; k++)
        EXPECT_NEAR(K[k], Wold[k], tol);
    ss tt = transpose_ss(t);
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(tt.A.data[k], s.A.data[k]);
    EXPECT_EQ(transpose_ss(ss{}).n, 0);
}

struct ortho_case {
    const char *name;
    dvec den, num;
    double D;
};

TEST(Orthogonal, TridiagonalWithIdentityKAndSameResponse)
{
    const ortho_case cases[] = {
        {"first order", {3}, {}, 0},
        {"butterworth 3", {1, 2, 2, 1}, {1}, 0},
        {"with zeros and direct term", {1, 2, 2, 1}, {2, -1, 0.5}, 0.3},
        {"fourth order, spread poles", {24, 50, 35, 10, 1}, {24, 0, 3}, 0},
        {"bessel 5", {945, 945, 420, 105, 15, 1}, {945}, 0},
    };
    for (const auto &c : cases) {
        program p;
        ss s;
        if (c.den.size() == 1) {
            // H(s) = 2 / (s + 3)
            s = make_ss(1, {-3}, {1}, {2});
        } else {
            s = companion(c.den, c.num);
        }
        s.D = c.D;
        ss keep = copy_ss(s);
        install(s);
        ss o = orthogonal_ss(fst.ana);
        ASSERT_EQ(o.n, keep.n) << c.name;
        int n = o.n;
        for (double w : {0.0, 0.3, 1.0, 2.5, 10.0}) {
            cplx want = H_of(keep, w);
            EXPECT_LT(std::abs(H_of(o, w) - want), 1e-9 * (1 + std::abs(want))) << c.name << " w=" << w;
        }
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                if (std::abs(i - j) > 1 || (i == j && i > 0)) {
                    EXPECT_EQ(at(o.A, i, j), 0.0) << c.name;
                }
                if (i == j + 1) {
                    EXPECT_EQ(at(o.A, i, j), -at(o.A, j, i)) << c.name;
                }
            }
        dvec K = gram_k(o);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                EXPECT_NEAR(K[i * n + j], i == j ? 1.0 : 0.0, 1e-9) << c.name;
        EXPECT_EQ(o.D, c.D);
        EXPECT_EQ(ist.exit_status, 0);
    }
    // first order closed form: A = -a, B = sqrt(2a), C = c / sqrt(2a)
    program p;
    install(make_ss(1, {-3}, {1}, {2}));
    ss o = orthogonal_ss(fst.ana);
    EXPECT_NEAR(o.A.data[0], -3, tol);
    EXPECT_NEAR(o.B.data[0], std::sqrt(6.0), tol);
    EXPECT_NEAR(o.C.data[0], 2 / std::sqrt(6.0), tol);
}

TEST(Orthogonal, RefusesDenominatorThatIsNotHurwitz)
{
    const ortho_case cases[] = {
        {"pole at the origin", {0, 1, 1}, {1}, 0},
        {"undamped pair", {1, 0, 1}, {1}, 0},
        {"unstable pair", {1, -0.5, 1}, {1}, 0},
        {"right half plane real pole", {-2, 1, 1}, {1}, 0},
    };
    for (const auto &c : cases) {
        program p;
        install(companion(c.den, c.num));
        EXPECT_EQ(orthogonal_ss(fst.ana).n, 0) << c.name;
        EXPECT_EQ(ist.exit_status, 1) << c.name;
    }
}

// A stable filter of high order has a Hurwitz denominator, whatever the
// expansion of its coefficients does: chebyshev(100, 1), whose whole A an
// eigensolver calls unstable, and butterworth(200) are refused for the lost
// precision, never as "not Hurwitz"; an unstable pole still is.
TEST(Orthogonal, HighOrderRefusalNamesTheLostPrecision)
{
    struct high_case {
        const char *name;
        ss s;
        const char *message;
    } cases[] = {
        {"chebyshev 100", chebyshev(100, 1.0),
         "orthogonal: the continued fraction of the denominator loses its precision at order 100; "
         "no tridiagonal realisation"},
        {"butterworth 200", butterworth(200),
         "orthogonal: the continued fraction of the denominator loses its precision at order 200; "
         "no tridiagonal realisation"},
        {"pole at +2", companion({-2, 1, 1}, {1}), "orthogonal: the denominator is not Hurwitz; no tridiagonal realisation"},
    };
    for (auto &c : cases) {
        program p;
        install(c.s);
        testing::internal::CaptureStderr();
        EXPECT_EQ(orthogonal_ss(fst.ana).n, 0) << c.name;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.message), std::string::npos) << c.name << ": " << err;
        EXPECT_EQ(ist.exit_status, 1) << c.name;
    }
}

TEST(GramianTransforms, FollowTheSimilarity)
{
    program p;
    ss s = butter2();
    const double T_rows[4] = {2, 1, -0.5, 3};
    matrix T = newm(2, 2);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++)
            T.data[j * 2 + i] = T_rows[i * 2 + j];
    ss t = transform_ss(T, s);
    dvec Kt = gram_k(t), Wt = gram_w(t), K0 = gram_k(s), W0 = gram_w(s);
    matrix K = newm(2, 2), W = newm(2, 2);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++) {
            K.data[j * 2 + i] = K0[i * 2 + j];
            W.data[j * 2 + i] = W0[i * 2 + j];
        }
    transform_k(T, &K);
    transform_w(T, &W);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++) {
            EXPECT_NEAR(at(K, i, j), Kt[i * 2 + j], tol);
            EXPECT_NEAR(at(W, i, j), Wt[i * 2 + j], tol);
        }
    // the identity leaves them unchanged, in fresh storage; empty stays empty
    matrix I = mid(2, 2);
    double *old = K.data;
    transform_k(I, &K);
    EXPECT_NE(K.data, old);
    EXPECT_NEAR(at(K, 0, 1), Kt[1], tol);
    matrix E = null_matrix();
    transform_k(T, &E);
    transform_w(T, &E);
    EXPECT_EQ(E.cols, 0);
    EXPECT_EQ(E.data, nullptr);
}

}  // namespace
