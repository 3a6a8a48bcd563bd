// Frequency responses against an independent long-double complex solve, and
// against closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "filter/timeresp.h"
#include "filter/transfer.h"
#include "fixture.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

namespace {

struct response_case {
    std::string name;
    ss s;
    std::vector<double> freqs;
};

// Largest relative error over the elements.
double rel_vec(const cmatrix &x, const std::vector<fx::lcx> &r)
{
    long double worst = 0;
    for (size_t i = 0; i < r.size(); i++) {
        fx::lcx d = fx::lcx(x.data[i].re, x.data[i].im) - r[i];
        worst = std::max(worst, std::abs(d) / std::abs(r[i]));
    }
    return (double)worst;
}

// Relative error of the vector as a whole (for derivatives, whose single
// elements can vanish at the centre of a symmetric bandpass).
double rel_norm(const cmatrix &x, const std::vector<fx::lcx> &r)
{
    long double num = 0, den = 0;
    for (size_t i = 0; i < r.size(); i++) {
        num += std::norm(fx::lcx(x.data[i].re, x.data[i].im) - r[i]);
        den += std::norm(r[i]);
    }
    return (double)std::sqrt(num / den);
}

std::vector<double> around(double w0, double half, int k)
{
    std::vector<double> w;
    for (int i = 0; i <= k; i++)
        w.push_back(w0 - half + 2.0 * half * i / k);
    return w;
}

std::vector<response_case> cases()
{
    std::vector<response_case> c;
    c.push_back({"first order", fx::make_ss(1, {-1}, {1}, {1}), {0, 0.5, 1, 10}});
    c.push_back({"companion order 2, D", fx::make_ss(2, {0, 1, -2, -3}, {0, 1}, {1, 0.5}, 0.25),
                 {0.1, 1, 1.4142, 30}});
    c.push_back({"butterworth 8", fx::butterworth_cascade(8), {0.01, 0.5, 0.9, 1, 1.1, 3, 100}});
    // Narrow bandpass filters: centre 1000 rad/s, bandwidth 1 rad/s.
    for (int lp : {4, 6, 8}) {
        ss l = fx::butterworth_cascade(lp);
        std::vector<double> w = around(1000, 1.5, 12);
        w.push_back(900);
        w.push_back(1100);
        c.push_back({"bandpass " + std::to_string(2 * lp), fx::bandpass_of(l, 1000, 1), w});
        freem(&l.A);
        freem(&l.B);
        freem(&l.C);
    }
    // A ladder (tridiagonal, so upper Hessenberg as it stands) and a filter
    // that is lower Hessenberg: both are solved on A itself.
    {
        int n = 9;
        std::vector<double> A(n * n, 0.0), B(n, 0.0), C(n, 0.0);
        for (int i = 0; i < n; i++) {
            if (i + 1 < n) {
                A[i * n + i + 1] = 1.0 + 0.1 * i;
                A[(i + 1) * n + i] = -1.0;
            }
        }
        A[0] = -1.0;
        A[n * n - 1] = -1.0;
        B[0] = 1.0;
        C[n - 1] = 1.0;
        c.push_back({"ladder order 9", fx::make_ss(n, A, B, C), {0, 0.5, 1, 1.9, 5, 100}});
        std::vector<double> L(n * n, 0.0);
        unsigned seed = 777;
        auto rnd = [&]() { seed = seed * 1103515245u + 12345u; return ((seed >> 8) % 20001) / 10000.0 - 1.0; };
        for (int i = 0; i < n; i++)
            for (int j = 0; j <= std::min(i + 1, n - 1); j++)
                L[i * n + j] = 0.4 * rnd() - (i == j ? 1.5 + 0.2 * i : 0.0);
        std::vector<double> b(n), cc(n);
        for (int i = 0; i < n; i++) {
            b[i] = rnd();
            cc[i] = rnd();
        }
        c.push_back({"lower Hessenberg order 9", fx::make_ss(n, L, b, cc, 0.3), {0, 0.7, 3, 40}});
    }
    // The Butterworth cascade with its states shuffled: sparse, but no longer
    // Hessenberg either way. Far in the stopband F spans fourteen decades.
    {
        ss l = fx::butterworth_cascade(8);
        const int perm[8] = {3, 0, 6, 1, 4, 7, 2, 5};
        std::vector<double> A(64), B(8), C(8);
        for (int i = 0; i < 8; i++) {
            for (int j = 0; j < 8; j++)
                A[i * 8 + j] = fx::a(l, perm[i], perm[j]);
            B[i] = l.B.data[perm[i]];
            C[i] = l.C.data[perm[i]];
        }
        c.push_back({"shuffled butterworth 8", fx::make_ss(8, A, B, C), {0.01, 0.9, 1, 3, 100}});
        free_ss(&l);
    }
    // A dense stable filter with a direct term.
    {
        int n = 10;
        std::vector<double> A(n * n), B(n), C(n);
        unsigned seed = 12345;
        auto rnd = [&]() { seed = seed * 1103515245u + 12345u; return ((seed >> 8) % 20001) / 10000.0 - 1.0; };
        for (int i = 0; i < n; i++) {
            for (int j = 0; j < n; j++)
                A[i * n + j] = 0.3 * rnd();
            A[i * n + i] -= 2.0 + i;
            B[i] = rnd();
            C[i] = rnd();
        }
        c.push_back({"dense order 10", fx::make_ss(n, A, B, C, -0.7), {0, 0.3, 2, 7, 50}});
    }
    return c;
}

TEST(Responses, AgreeWithIndependentSolve)
{
    const double tol = 1e-9;
    for (response_case &rc : cases()) {
        fx::use(rc.s);
        if (rc.name.rfind("bandpass", 0) == 0) {
            // a narrow bandpass passes its centre and stops 100 rad/s away
            EXPECT_NEAR(std::hypot(h_jw(fst.ana, 1000).re, h_jw(fst.ana, 1000).im), 1.0, 1e-6) << rc.name;
            EXPECT_LT(std::hypot(h_jw(fst.ana, 900).re, h_jw(fst.ana, 900).im), 1e-6) << rc.name;
        }
        for (double w : rc.freqs) {
            SCOPED_TRACE(rc.name + " at w = " + std::to_string(w));
            fx::ref r = fx::reference(rc.s, w);
            complex h = h_jw(fst.ana, w);
            EXPECT_LE(std::abs(fx::lcx(h.re, h.im) - r.H), tol * std::abs(r.H));
            complex dh = dh_jw(fst.ana, w);
            EXPECT_LE(std::abs(fx::lcx(dh.re, dh.im) - r.dH), tol * std::abs(r.dH));
            double tau = delay_h(fst.ana, w), tau_ref = (double)fx::ref_delay(r.H, r.dH);
            EXPECT_LE(std::fabs(tau - tau_ref), tol * std::fabs(tau_ref) + 1e-300);

            cmatrix F = f_jw(fst.ana, w), G = g_jw(fst.ana, w);
            EXPECT_LE(rel_vec(F, r.F), tol);
            EXPECT_LE(rel_vec(G, r.G), tol);
            cmatrix dF = df_jw(fst.ana, w), dG = dg_jw(fst.ana, w);
            EXPECT_LE(rel_norm(dF, r.dF), tol);
            EXPECT_LE(rel_norm(dG, r.dG), tol);

            // the resolvent on its own, column by column: R B = F
            cmatrix R = resolvent_jw(fst.ana, w);
            cmatrix RB = cnewm(rc.s.n, 1);
            for (int i = 0; i < rc.s.n; i++)
                for (int j = 0; j < rc.s.n; j++) {
                    RB.data[i].re += R.data[j * rc.s.n + i].re * rc.s.B.data[j];
                    RB.data[i].im += R.data[j * rc.s.n + i].im * rc.s.B.data[j];
                }
            EXPECT_LE(rel_norm(RB, r.F), tol);
            cfreem(&R);
            cfreem(&RB);

            matrix df = delay_f(fst.ana, w, F), dg = delay_g(fst.ana, w, G);
            for (int i = 0; i < rc.s.n; i++) {
                double rf = (double)fx::ref_delay(r.F[i], r.dF[i]);
                double rg = (double)fx::ref_delay(r.G[i], r.dG[i]);
                EXPECT_LE(std::fabs(df.data[i] - rf), tol * std::fabs(rf) + 1e-12) << "F_" << i;
                EXPECT_LE(std::fabs(dg.data[i] - rg), tol * std::fabs(rg) + 1e-12) << "G_" << i;
            }
            cfreem(&F);
            cfreem(&G);
            cfreem(&dF);
            cfreem(&dG);
            freem(&df);
            freem(&dg);
        }
        free_ss(&rc.s);
    }
}

// Under a similarity view the analysis copy answers for the record
// (T^-1 A T, T^-1 B, C T, D) without preparing it: F, G, their derivatives,
// single elements and the kept squares at a set of frequencies all agree
// with an independent solve of that record, H does not change, and clearing
// the view (or preparing again) gives the analysis copy's own responses.
// The cases cover the full Hessenberg road, a banded ladder and a lower
// Hessenberg record solved on A itself, and narrow bandpasses.
TEST(Responses, SimilarityViewAnswersForTheTransformedRecord)
{
    const double tol = 1e-9;
    for (response_case &rc : cases()) {
        int n = rc.s.n;
        // T = I + a fixed spread of off-diagonal terms: well conditioned
        matrix T = newm(n, n);
        unsigned seed = 4242;
        auto rnd = [&]() { seed = seed * 1103515245u + 12345u; return ((seed >> 8) % 20001) / 10000.0 - 1.0; };
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                T.data[j * n + i] = (i == j ? 1.0 : 0.0) + 0.3 * rnd();
        matrix Ti = minv(T);
        ss t = transform_ss2(T, Ti, rc.s);
        fx::use(rc.s);
        set_similarity_view(fst.ana, T, Ti);
        std::vector<double> sq;
        f_sq_at(fst.ana, rc.freqs, sq);
        ASSERT_EQ(sq.size(), rc.freqs.size() * n);
        for (size_t j = 0; j < rc.freqs.size(); j++) {
            double w = rc.freqs[j];
            SCOPED_TRACE(rc.name + " at w = " + std::to_string(w));
            fx::ref r = fx::reference(t, w);
            cmatrix F = f_jw(fst.ana, w), G = g_jw(fst.ana, w), dF = df_jw(fst.ana, w), dG = dg_jw(fst.ana, w);
            EXPECT_LE(rel_norm(F, r.F), tol);
            EXPECT_LE(rel_norm(G, r.G), tol);
            EXPECT_LE(rel_norm(dF, r.dF), tol);
            EXPECT_LE(rel_norm(dG, r.dG), tol);
            // H is the analysis copy's (the transformed record in doubles
            // keeps no digit of a stopband H of 1e-25)
            complex h = h_jw(fst.ana, w);
            fx::lcx h_own = fx::reference(rc.s, w).H;
            EXPECT_LE(std::abs(fx::lcx(h.re, h.im) - h_own), tol * std::abs(h_own));
            long double big = 0;
            for (int i = 0; i < n; i++)
                big = std::max(big, std::norm(r.F[i]));
            for (int i = 0; i < n; i++) {
                complex f = f_elem_jw(fst.ana, w, i), df = df_elem_jw(fst.ana, w, i);
                // one element is the same value as the whole vector's
                EXPECT_EQ(f.re, F.data[i].re) << "F_" << i;
                EXPECT_EQ(f.im, F.data[i].im) << "F_" << i;
                EXPECT_EQ(df.re, dF.data[i].re) << "dF_" << i;
                EXPECT_EQ(df.im, dF.data[i].im) << "dF_" << i;
                EXPECT_LE(std::fabs(sq[j * n + i] - (double)std::norm(r.F[i])), tol * (double)big) << "F_" << i;
            }
            cfreem(&F);
            cfreem(&G);
            cfreem(&dF);
            cfreem(&dG);
        }
        // without the view the same frequencies give the record's own F
        double w = rc.freqs.back();
        fx::ref own = fx::reference(rc.s, w);
        clear_similarity_view(fst.ana);
        cmatrix F = f_jw(fst.ana, w);
        EXPECT_LE(rel_norm(F, own.F), tol) << rc.name;
        cfreem(&F);
        set_similarity_view(fst.ana, T, Ti);
        analysis_prep(fst.ana, fst.cur_filter);
        F = f_jw(fst.ana, w);
        EXPECT_LE(rel_norm(F, own.F), tol) << rc.name << ": preparing drops the view";
        cfreem(&F);
        freem(&T);
        freem(&Ti);
        free_ss(&t);
        free_ss(&rc.s);
    }
}

// A state that the input reaches through no coupling has F_i = 0 at every
// frequency, and a state that reaches the output through none has G_i = 0:
// exactly 0, as elimination on A itself gives them, not rounding noise of
// the other states. The others agree with the independent solve.
TEST(Responses, StructuralZerosStayZero)
{
    // x4 is driven by nothing but itself (row 4 of A and B_4 are 0); x2 feeds
    // nothing (column 2 of A off the diagonal and C_2 are 0). A is neither
    // upper nor lower Hessenberg.
    ss s = fx::make_ss(4, {-1, 0.5, 0, 0.7,  0.3, -2, 0, 0.1,  0.4, 0.2, -3, 0.6,  0, 0, 0, -1.5},
                       {1, 0.5, -1, 0}, {1, 0.4, 0, 0.2});
    fx::use(s);
    for (double w : {0.0, 0.8, 2.5, 40.0}) {
        SCOPED_TRACE("w = " + std::to_string(w));
        fx::ref r = fx::reference(s, w);
        cmatrix F = f_jw(fst.ana, w), G = g_jw(fst.ana, w), dF = df_jw(fst.ana, w), dG = dg_jw(fst.ana, w);
        EXPECT_EQ(F.data[3].re, 0.0);
        EXPECT_EQ(F.data[3].im, 0.0);
        EXPECT_EQ(dF.data[3].re, 0.0);
        EXPECT_EQ(G.data[2].re, 0.0);
        EXPECT_EQ(G.data[2].im, 0.0);
        EXPECT_EQ(dG.data[2].im, 0.0);
        for (int i = 0; i < 4; i++) {
            if (i != 3) {
                EXPECT_LE(std::abs(fx::lcx(F.data[i].re, F.data[i].im) - r.F[i]), 1e-12 * std::abs(r.F[i])) << i;
            }
            if (i != 2) {
                EXPECT_LE(std::abs(fx::lcx(G.data[i].re, G.data[i].im) - r.G[i]), 1e-12 * std::abs(r.G[i])) << i;
            }
        }
        cfreem(&F);
        cfreem(&G);
        cfreem(&dF);
        cfreem(&dG);
    }
    free_ss(&s);
}

// The factors and solves kept for the last frequency belong to one
// preparation of the analysis data: after the filter is scaled in place
// through the matrices it shares with the analysis copy, and prepared again,
// the same frequency gives the responses of the scaled filter.
TEST(Responses, KeptFrequencyFollowsInPlaceScaling)
{
    ss s = fx::make_ss(3, {-1, 2, 0.5, -0.5, -0.4, 1, 0.3, -1, -2}, {1, 0.5, -1}, {0.2, 1, 0.7}, 0.1);
    fx::use(s);
    const double w = 0.8;
    cmatrix F = f_jw(fst.ana, w), G = g_jw(fst.ana, w), dF = df_jw(fst.ana, w);
    cfreem(&F);
    cfreem(&G);
    cfreem(&dF);
    vector t = newvector(3);
    t.data[0] = 2.0;
    t.data[1] = 0.25;
    t.data[2] = -3.0;
    scale_ss(t, fst.cur_filter);
    analysis_prep(fst.ana, fst.cur_filter);
    ASSERT_EQ(fst.ana.ana_ss.B.data, fst.cur_filter.B.data);
    fx::ref r = fx::reference(fst.cur_filter, w);
    F = f_jw(fst.ana, w);
    G = g_jw(fst.ana, w);
    dF = df_jw(fst.ana, w);
    EXPECT_LE(rel_vec(F, r.F), 1e-12);
    EXPECT_LE(rel_vec(G, r.G), 1e-12);
    EXPECT_LE(rel_norm(dF, r.dF), 1e-12);
    cfreem(&F);
    cfreem(&G);
    cfreem(&dF);
    freevector(&t);
    free_ss(&s);
}

// Analysis data of a record without integrators: H is the direct term, the
// state responses are empty, nothing is read out of bounds.
TEST(Responses, NoIntegrators)
{
    ss s;
    s.D = 0.5;
    analysis_prep(fst.ana, s);
    for (double w : {0.0, 2.0}) {
        complex h = h_jw(fst.ana, w);
        EXPECT_EQ(h.re, 0.5);
        EXPECT_EQ(h.im, 0.0);
        complex dh = dh_jw(fst.ana, w);
        EXPECT_EQ(dh.re, 0.0);
        cmatrix F = f_jw(fst.ana, w), G = g_jw(fst.ana, w);
        EXPECT_EQ(F.rows * F.cols, 0);
        EXPECT_EQ(G.rows * G.cols, 0);
        cfreem(&F);
        cfreem(&G);
    }
    analysis_free(fst.ana);
}

// H(s) = 1/(s + 1): H(0) = 1, delay 1/(1 + w^2).
TEST(Responses, FirstOrderClosedForms)
{
    ss s = fx::make_ss(1, {-1}, {1}, {1});
    fx::use(s);
    complex h0 = h_jw(fst.ana, 0);
    EXPECT_NEAR(h0.re, 1.0, 1e-15);
    EXPECT_NEAR(h0.im, 0.0, 1e-15);
    complex h1 = h_jw(fst.ana, 1);  // 1/(1 + j) = (1 - j)/2
    EXPECT_NEAR(h1.re, 0.5, 1e-15);
    EXPECT_NEAR(h1.im, -0.5, 1e-15);
    EXPECT_NEAR(delay_h(fst.ana, 0), 1.0, 1e-14);
    EXPECT_NEAR(delay_h(fst.ana, 1), 0.5, 1e-14);
    complex d = den_jw(fst.ana, 0);
    EXPECT_NEAR(d.re, fst.ana.ana_den.coef[0], 1e-15);
    free_ss(&s);
}

// Two contexts evaluated in turn at the same frequencies keep to their own
// filters: the factors and F values kept between calls belong to the
// context they were made for (a first-order section a/(s + a) has
// H(jw) = a/(a + jw) and |F|^2 = 1/(a^2 + w^2)), also after one context
// has been handed to another. Their impulse responses a e^(-a t) likewise.
TEST(Responses, ContextsKeepToTheirOwnFilters)
{
    ss s1 = fx::make_ss(1, {-1}, {1}, {1}), s2 = fx::make_ss(1, {-3}, {1}, {3});
    analysis_ctx a1, a2;
    analysis_prep(a1, s1);
    analysis_prep(a2, s2);
    const std::vector<double> w = {0.0, 0.5, 2.0};
    for (int round = 0; round < 2; round++)
        for (double x : w)
            for (auto [ctx, pole] : {std::pair<analysis_ctx *, double>{&a1, 1.0}, {&a2, 3.0}}) {
                complex h = h_jw(*ctx, x);
                double d = pole * pole + x * x;
                EXPECT_NEAR(h.re, pole * pole / d, 1e-15) << pole << " " << x;
                EXPECT_NEAR(h.im, -pole * x / d, 1e-15) << pole << " " << x;
                std::vector<double> sq;
                f_sq_at(*ctx, w, sq);
                for (size_t j = 0; j < w.size(); j++)
                    EXPECT_NEAR(sq[j], 1.0 / (pole * pole + w[j] * w[j]), 1e-15) << pole << " " << w[j];
                EXPECT_NEAR(cmod2(f_elem_jw(*ctx, x, 0)), 1.0 / d, 1e-15) << pole << " " << x;
                EXPECT_NEAR(h_t(*ctx, x), pole * std::exp(-pole * x), 1e-14) << pole << " " << x;
            }
    analysis_ctx moved;
    analysis_take(moved, a2);
    EXPECT_EQ(a2.ana_ss.n, 0);
    complex h = h_jw(moved, 1.0);
    EXPECT_NEAR(h.re, 0.9, 1e-15);
    EXPECT_NEAR(h.im, -0.3, 1e-15);
    free_ss(&s1);
    free_ss(&s2);
}

// The group delay is -d(arg H)/dw: compare with a central difference of the
// phase of a fourth-order filter with D != 0 (dH/dw does not see D).
TEST(Responses, DelayIsMinusPhaseDerivative)
{
    ss s = fx::make_ss(4, {-0.2, 1, 0, 0, -1, -0.2, 0, 0, 0.5, 0, -0.3, 2, 0, 0, -2, -0.3},
                       {1, 0, 0.5, 0}, {0, 1, 0.3, 1}, 0.1);
    fx::use(s);
    for (double w : {0.3, 0.9, 1.0, 1.7, 2.1, 5.0}) {
        const double h = 1e-5;
        complex p = h_jw(fst.ana, w + h), m = h_jw(fst.ana, w - h);
        double dphi = std::atan2(p.im, p.re) - std::atan2(m.im, m.re);
        if (dphi > M_PI) dphi -= 2 * M_PI;
        if (dphi < -M_PI) dphi += 2 * M_PI;
        EXPECT_NEAR(delay_h(fst.ana, w), -dphi / (2 * h), 1e-6 * (1 + std::fabs(delay_h(fst.ana, w)))) << "w = " << w;
    }
    free_ss(&s);
}

// At a pole on the imaginary axis the responses are infinite; nothing stops.
TEST(Responses, FrequencyAtPoleIsInfinite)
{
    ss integ = fx::make_ss(1, {0}, {1}, {1});
    fx::use(integ);
    EXPECT_TRUE(std::isinf(h_jw(fst.ana, 0).re));
    cmatrix F = f_jw(fst.ana, 0);
    EXPECT_TRUE(std::isinf(F.data[0].re));
    cfreem(&F);
    EXPECT_FALSE(std::isfinite(delay_h(fst.ana, 0)));
    complex h = h_jw(fst.ana, 2);  // 1/(2j)
    EXPECT_NEAR(h.im, -0.5, 1e-15);
    ss osc = fx::make_ss(2, {0, 1, -4, 0}, {0, 1}, {1, 0});
    fx::use(osc);
    EXPECT_TRUE(std::isinf(h_jw(fst.ana, 2).re));
    EXPECT_TRUE(std::isinf(sens_jw(fst.ana, 2, 1)));
    free_ss(&integ);
    free_ss(&osc);
}

// sens^2 = sum A_ij^2 |dH/dA_ij|^2 (+ the B and C terms under mode 1), with
// the derivatives taken by finite differences of H on perturbed filters.
TEST(Responses, SensitivitiesMatchFiniteDifferences)
{
    ss s = fx::make_ss(3, {-1, 2, 0, -0.5, -0.4, 1, 0.3, -1, -2}, {1, 0.5, -1}, {0.2, 1, 0.7}, 0.1);
    const double w = 0.8, e = 1e-6;
    auto H_of = [&](const ss &t) {
        fx::use(t);
        complex h = h_jw(fst.ana, w);
        return fx::lcx(h.re, h.im);
    };
    fx::lcx H0 = H_of(s);
    long double SA = 0, SAabs = 0, SB = 0, SBabs = 0;
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) {
            ss t = copy_ss(s);
            t.A.data[j * 3 + i] += e;
            fx::lcx d = (H_of(t) - H0) / (long double)e;
            double aij = fx::a(s, i, j);
            SA += aij * aij * std::norm(d);
            SAabs += std::norm(d);
            free_ss(&t);
        }
        ss tb = copy_ss(s), tc = copy_ss(s);
        tb.B.data[i] += e;
        tc.C.data[i] += e;
        fx::lcx db = (H_of(tb) - H0) / (long double)e, dc = (H_of(tc) - H0) / (long double)e;
        SB += s.B.data[i] * s.B.data[i] * std::norm(db) + s.C.data[i] * s.C.data[i] * std::norm(dc);
        SBabs += std::norm(db) + std::norm(dc);
        free_ss(&tb);
        free_ss(&tc);
    }
    fx::use(s);
    const double tol = 1e-4;
    EXPECT_NEAR(sens_jw(fst.ana, w, 0), std::sqrt((double)SA), tol * std::sqrt((double)SA));
    EXPECT_NEAR(sens_jw(fst.ana, w, 1), std::sqrt((double)(SA + SB)), tol * std::sqrt((double)(SA + SB)));
    EXPECT_NEAR(sens_jw(fst.ana, w, 2), sens_jw(fst.ana, w, 0), 1e-15);  // other modes behave like 0
    EXPECT_NEAR(abssens_jw(fst.ana, w, 1), std::sqrt((double)(SAabs + SBabs)), tol * std::sqrt((double)(SAabs + SBabs)));
    double rel = std::sqrt((double)(SA + SB) / (double)std::norm(H0));
    EXPECT_NEAR(relsens_jw(fst.ana, w, 1), rel, tol * rel);
    free_ss(&s);
}

// Dynamic-range figures on a first-order filter with W = 1/2:
// |H|^2 = |F|^2 = 1/(1 + w^2), so drfact = 1/tr W = 2, drscfact = 1/W = 2,
// and the drop factor n |H|^2 / (|F| / sqrt(W))^2 = 2 as well.
TEST(Responses, DynamicRangeFactorsFirstOrder)
{
    ss s = fx::make_ss(1, {-1}, {1}, {1});
    fx::use(s);
    matrix W = newm(1, 1);
    W.data[0] = 0.5;
    EXPECT_NEAR(drfact_jw(fst.ana, 0.7, W), 2.0, 1e-14);
    EXPECT_NEAR(drscfact_jw(fst.ana, 0.7, W), 2.0, 1e-14);
    EXPECT_NEAR(dropfact(fst.ana, 0.7, W, 1e-6, 1), 2.0, 1e-14);
    matrix T1 = w_to_identity(W);
    EXPECT_NEAR(T1.data[0] * T1.data[0] * W.data[0], 1.0, 1e-15);
    freem(&T1);
    freem(&W);
    free_ss(&s);
}

}  // namespace

namespace {

// For A = [0 1; -2 -3]: det(jwI - A) = 2 - w^2 + 3jw and
// adj(jwI - A) = [[jw + 3, 1], [-2, jw]], also from the adjugate polynomials;
// dR/dw = -j R^2.
// A filter whose entries are near the ends of the range of doubles: A = a M,
// B = a b, C = a c with M = [[-1, 1], [-1, -1]], b = c^T = (1, 1). Its
// responses at w = a u are those of (M, b, c) at u scaled: H = a h(ju),
// F = f(ju), G = g(ju), with h(u) = (2u + 2) / (u^2 + 2u + 2), so at u = 1
// h = 1.2 - 0.4j, |f| = (1, 1/sqrt 5), |g| = (1/sqrt 5, 1), the delay of h
// 0.7 (poles -1 +- j, zero -1). With W = a I the figures are, in closed
// form: drfact a |h|^2 / max|f|^2 / 2 = 0.8 a, drscfact a |h|^2 / sum |f|^2 =
// 4/3 a, dropfact n a |h|^2 / (sum sqrt(l_k))^2 = 1.6 a (l_k the eigenvalues
// of Re(f f^H) = [[1, 0.2], [0.2, 0.2]], whose roots add up to sqrt 2); the
// sensitivity sum is a^2 * 3.84 weighted and 3.84 unweighted, so relsens =
// sqrt(3.84 / 1.6), sens = a sqrt(3.84), abssens = sqrt(3.84). Their squares
// overflow (a = 1e300) or underflow (a = 1e-300); every figure is finite.
TEST(Responses, FiguresNearTheEndsOfTheRangeStayFinite)
{
    for (double a : {1.0, 1e300, 1e-300, 0x1p1000}) {
        SCOPED_TRACE(a);
        fx::use(fx::make_ss(2, {-a, a, -a, -a}, {a, a}, {a, a}));
        matrix W = newm(2, 2);
        W.data[0] = W.data[3] = a;
        double w = a;
        struct {
            const char *what;
            double value, expected;
        } figures[] = {
            {"|H|", cmod_scaled(h_jw(fst.ana, w)), a * std::sqrt(1.6)},
            {"dB of H", cdb_scaled(h_jw(fst.ana, w)), 20 * std::log10(a) + 10 * std::log10(1.6)},
            {"delay of H", delay_h(fst.ana, w), 0.7 / a},
            {"drfact", drfact_jw(fst.ana, w, W), 0.8 * a},
            {"drscfact", drscfact_jw(fst.ana, w, W), 4.0 / 3.0 * a},
            {"dropfact", dropfact(fst.ana, w, W, 1e-6, 1), 1.6 * a},
            {"relsens", relsens_jw(fst.ana, w, 1), std::sqrt(2.4)},
            {"sens", sens_jw(fst.ana, w, 1), a * std::sqrt(3.84)},
            {"abssens", abssens_jw(fst.ana, w, 1), std::sqrt(3.84)},
        };
        for (auto &f : figures)
            EXPECT_NEAR(f.value, f.expected, 1e-12 * std::fabs(f.expected)) << f.what;
        freem(&W);
    }
    // |z| and its dB where |z|^2 overflows or underflows: 3-4-5.
    EXPECT_DOUBLE_EQ(cmod_scaled(complex{3e300, 4e300}), 5e300);
    EXPECT_DOUBLE_EQ(cmod_scaled(complex{3e-300, -4e-300}), 5e-300);
    EXPECT_NEAR(cdb_scaled(complex{-3e-300, 4e-300}), 20 * (std::log10(5.0) - 300), 1e-9);
}

TEST(Responses, AdjugateDeterminantResolvent)
{
    ss s = fx::make_ss(2, {0, 1, -2, -3}, {0, 1}, {1, 0});
    fx::use(s);
    for (double w : {0.0, 0.5, 2.0}) {
        complex d = den_jw(fst.ana, w);
        EXPECT_NEAR(d.re, 2 - w * w, 1e-14);
        EXPECT_NEAR(d.im, 3 * w, 1e-14);
        cmatrix Z = adj_jw(fst.ana, w);
        fx::lcx want[4] = {fx::lcx(3, w), fx::lcx(-2, 0), fx::lcx(1, 0), fx::lcx(0, w)};  // column-major
        for (int k = 0; k < 4; k++) {
            complex e = nmat_elem_jw(fst.ana, w, k % 2, k / 2);
            EXPECT_NEAR(Z.data[k].re, (double)want[k].real(), 1e-14);
            EXPECT_NEAR(Z.data[k].im, (double)want[k].imag(), 1e-14);
            EXPECT_NEAR(e.re, (double)want[k].real(), 1e-14);
            EXPECT_NEAR(e.im, (double)want[k].imag(), 1e-14);
        }
        cmatrix R = resolvent_jw(fst.ana, w), R2 = resolvent2_jw(fst.ana, w);
        fx::lcx r[4], dr[4];
        for (int k = 0; k < 4; k++)
            r[k] = want[k] / fx::lcx(d.re, d.im);
        for (int i = 0; i < 2; i++)
            for (int j = 0; j < 2; j++)
                dr[j * 2 + i] = fx::lcx(0, -1) * (r[i] * r[2 * j] + r[2 + i] * r[2 * j + 1]);
        for (int k = 0; k < 4; k++) {
            EXPECT_NEAR(R.data[k].re, (double)r[k].real(), 1e-14);
            EXPECT_NEAR(R.data[k].im, (double)r[k].imag(), 1e-14);
            EXPECT_NEAR(R2.data[k].re, (double)dr[k].real(), 1e-14);
            EXPECT_NEAR(R2.data[k].im, (double)dr[k].imag(), 1e-14);
        }
        cfreem(&Z);
        cfreem(&R);
        cfreem(&R2);
    }
    free_ss(&s);
}

}  // namespace
