// Peak searches on narrow-band filters against dense sweeps: 10^5
// log-spaced frequencies (and w = 0), every high local maximum refined by a
// golden-section search, with F from a GSL complex LU solve. The tops of
// the F_i and of H, the bias peaks, and the tops after L-infinity scaling
// must all be the global peaks to 1e-6.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "dr_helpers.h"
#include "dynrange/bias.h"
#include "dynrange/optimize.h"
#include "dynrange/peaks.h"
#include "dynrange/scale.h"
#include "filter/approx.h"
#include "filter/transform.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

using namespace drt;

namespace {

const double peak_rel = 1e-6;

// The largest value over w >= 0 of each of m magnitudes vals(w): sampled at
// w = 0 and at `points` log-spaced frequencies in [wlo, whi]; every local
// maximum of the samples above half the best is refined by golden section
// between its neighbours.
dvec dense_peaks(int m, const std::function<dvec(double)> &vals, double wlo, double whi,
                 int points = 100000)
{
    std::vector<double> w(points + 1);
    std::vector<dvec> v(points + 1);
    w[0] = 0.0;
    v[0] = vals(0.0);
    for (int k = 0; k < points; k++) {
        w[k + 1] = wlo * std::pow(whi / wlo, (double)k / (points - 1));
        v[k + 1] = vals(w[k + 1]);
    }
    dvec top(m, 0.0);
    for (int i = 0; i < m; i++) {
        double best = 0.0;
        for (const dvec &s : v)
            best = std::max(best, s[i]);
        top[i] = best;
        for (int k = 0; k <= points; k++) {
            bool left = k == 0 || v[k][i] >= v[k - 1][i];
            bool right = k == points || v[k][i] >= v[k + 1][i];
            if (!left || !right || v[k][i] < 0.5 * best)
                continue;
            double a = w[k == 0 ? 0 : k - 1], b = w[k == points ? points : k + 1];
            const double g = (std::sqrt(5.0) - 1) / 2;
            double c = b - g * (b - a), d = a + g * (b - a);
            double fc = vals(c)[i], fd = vals(d)[i];
            for (int it = 0; it < 100 && b - a > 1e-15 * b; it++) {
                if (fc > fd) {
                    b = d, d = c, fd = fc;
                    c = b - g * (b - a), fc = vals(c)[i];
                } else {
                    a = c, c = d, fc = fd;
                    d = a + g * (b - a), fd = vals(d)[i];
                }
            }
            top[i] = std::max({top[i], fc, fd, v[k][i]});
        }
    }
    return top;
}

// |F_1| .. |F_n| and |H| of the record at w.
dvec f_and_h(const ss &s, double w)
{
    std::vector<cplx> F = F_of(s, w);
    dvec r(s.n + 1);
    cplx h = s.D;
    for (int i = 0; i < s.n; i++) {
        r[i] = std::abs(F[i]);
        h += s.C.data[i] * F[i];
    }
    r[s.n] = std::abs(h);
    return r;
}

// The current filter after the optimal realisation of its Gramians.
void optimal_realisation()
{
    ensure_k();
    ensure_w();
    matrix P;
    matrix T = optimize(fst.cur_K, fst.cur_W, &P, nullptr, 0, 8);
    ASSERT_EQ(T.cols, fst.cur_filter.n);
    ss t = transform_ss(T, fst.cur_filter);
    freem(&T);
    freem(&P);
    install(t);
}

// The lowpass design mapped to a bandpass at w = 1 with bandwidth bw.
void install_bandpass(ss lowpass, double bw)
{
    ss bp = bandpass_ss(lowpass, 1.0, bw);
    free_ss(&lowpass);
    install(bp);
}

struct narrow_case {
    std::string name;
    std::function<void()> build;
    double wlo, whi;  // the reference sweep; |F_i| and |H| fall off outside
};

std::vector<narrow_case> narrow_cases()
{
    return {
        {"chebyshev(4, 0.5) bandpass(1, 0.1) do",
         [] {
             install_bandpass(chebyshev(4, 0.5), 0.1);
             optimal_realisation();
         },
         1e-2, 1e2},
        {"chebyshev(4, 0.5) bandpass(1, 0.001)", [] { install_bandpass(chebyshev(4, 0.5), 0.001); }, 0.5, 2},
        {"cauer(6, 0.5, 1.5) bandpass(1, 0.01)", [] { install_bandpass(cauer(6, 0.5, 1.5), 0.01); }, 0.5, 2},
        {"butterworth(8) bandpass(1, 0.001)", [] { install_bandpass(butterworth(8), 0.001); }, 0.5, 2},
        // the tridiagonal realisation of a narrow Chebyshev bandpass
        {"chebyshev(3, 1) bandpass(1, 0.01) orthogonal",
         [] {
             install_bandpass(chebyshev(3, 1.0), 0.01);
             install(orthogonal_ss(fst.cur_filter));
         },
         0.5, 2},
        // a flat top with two humps 1e-5 apart in height, closer together
        // than the poles' width
        {"ic_approx(2, 40) bandpass(1, 0.001)", [] { install_bandpass(ic_approx(2, 40), 0.001); }, 0.5, 2},
    };
}

TEST(LinfPeaksDense, NarrowBandFiltersReachTheGlobalPeak)
{
    for (const narrow_case &c : narrow_cases()) {
        program p;
        c.build();
        ASSERT_GT(fst.cur_filter.n, 0) << c.name;
        const ss &s = fst.cur_filter;
        int n = s.n;
        dvec want = dense_peaks(n + 1, [&](double w) { return f_and_h(s, w); }, c.wlo, c.whi);
        double h = linf_peak_h();
        vector t = linf_peaks();
        ASSERT_EQ(t.n, n);
        for (int i = 0; i < n; i++)
            EXPECT_NEAR(t.data[i], want[i], peak_rel * want[i]) << c.name << ": F_" << i + 1;
        EXPECT_NEAR(h, want[n], peak_rel * want[n]) << c.name << ": H";
        freevector(&t);
    }
}

// The last section of chebyshev(70, 1) resonates at the band edge, where
// the poles are damped by some 5e-4: the eigenvalues of the whole matrix
// (a cascade far from normal) move them by more than that, and a walk over
// frequency placed by them stepped over the top of |F_69|, 0.6 % above what
// the search reported. References: A and B written with %.17g, F by mpmath's
// LU at 40 digits, the maximum by golden-section search around the top of a
// dense scan (w = 0.99974863 and 0.99773488); the second is 10^(1/20).
TEST(LinfPeaksDense, BandEdgeResonancesOfAHighOrderCascade)
{
    program p;
    install(chebyshev(70, 1.0));
    ASSERT_EQ(fst.cur_filter.n, 70);
    vector t = linf_peaks();
    ASSERT_EQ(t.n, 70);
    EXPECT_NEAR(t.data[68], 1.12178537333796, peak_rel * 1.12178537333796);
    EXPECT_NEAR(t.data[69], 1.12201845430205, peak_rel * 1.12201845430205);
    freevector(&t);
}

TEST(LinfPeaksDense, AfterScalingEveryIntegratorPeaksAtTheTarget)
{
    const double sfs[] = {1.0, 0.25};
    auto cases = narrow_cases();
    for (int k = 0; k < 2; k++) {
        const narrow_case &c = cases[k == 0 ? 0 : 3];
        program p;
        c.build();
        double sf = sfs[k];
        ASSERT_EQ(do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, sf), 0);
        const ss &s = fst.cur_filter;
        dvec got = dense_peaks(s.n + 1, [&](double w) { return f_and_h(s, w); }, c.wlo, c.whi);
        for (int i = 0; i < s.n; i++)
            EXPECT_NEAR(got[i], sf, peak_rel * sf) << c.name << ": F_" << i + 1;
    }
}

TEST(MaxInputLevelDense, BiasPeaksOfANarrowBandpass)
{
    program p;
    install_bandpass(chebyshev(4, 0.5), 0.001);
    cap_ss &f = fst.cur_filter;
    int n = f.n;
    for (int i = 0; i < n; i++)
        f.cap[i] = 1e-12 * (1 + 0.5 * i);
    // |F_j| sqrt(S_j^2 + w^2 c_j^2), S_j = sum_i |A_ij| c_i
    auto levels = [&](double w) {
        std::vector<cplx> F = F_of(f, w);
        dvec r(n);
        for (int j = 0; j < n; j++) {
            double S = 0;
            for (int i = 0; i < n; i++)
                S += std::fabs(at(f.A, i, j)) * f.cap[i];
            r[j] = std::abs(F[j]) * std::sqrt(S * S + w * w * f.cap[j] * f.cap[j]);
        }
        return r;
    };
    dvec want = dense_peaks(n, levels, 0.5, 2);
    matrix m = max_input_level();
    ASSERT_EQ(m.rows, n);
    for (int j = 0; j < n; j++)
        EXPECT_NEAR(m.data[j], want[j], peak_rel * want[j]) << "integrator " << j + 1;
    freem(&m);
}

}  // namespace
