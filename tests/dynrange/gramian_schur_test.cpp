// The Schur-method Gramians against the Kronecker route (an LU solve of the
// n^2 x n^2 operator with GSL, dr_helpers.h) on filters up to order 16:
// approximations, narrow bandpasses, a badly scaled companion form and the
// dense realisations the searches return. Then the existence test at high
// order, where the poles of a cascade come from its sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "dr_helpers.h"
#include "dynrange/optimize.h"
#include "dynrange/rotation_search.h"
#include "filter/approx.h"
#include "filter/gramian.h"
#include "filter/ss.h"
#include "filter/transform.h"
#include "numeric/matrix.h"

using namespace drt;

namespace {

struct named {
    std::string name;
    ss s;
};

// The largest |entry| of a row-major reference.
double largest(const dvec &x)
{
    double m = 0;
    for (double v : x)
        m = std::max(m, std::fabs(v));
    return m;
}

// got (column-major n x n) equals want (row-major) to 1e-9 of want's largest entry.
void expect_agrees(const matrix &got, const dvec &want, int n, const std::string &what)
{
    ASSERT_EQ(got.rows, n) << what;
    ASSERT_EQ(got.cols, n) << what;
    double tol = 1e-9 * largest(want);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            ASSERT_NEAR(at(got, i, j), want[i * n + j], tol) << what << " (" << i << ", " << j << ")";
}

// Cross Gramian by the Kronecker form of X -> A X + X A, with GSL.
dvec cross_reference(const ss &s)
{
    int n = s.n;
    dvec Q(n * n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            Q[i * n + j] = s.B.data[i] * s.C.data[j];
    return sylvester(n, rowmajor_A(s), rowmajor_A(s), Q);
}

std::vector<named> table()
{
    std::vector<named> t;
    t.push_back({"butterworth 4", butterworth(4)});
    t.push_back({"butterworth 16", butterworth(16)});
    t.push_back({"chebyshev 9, 1 dB", chebyshev(9, 1.0)});
    t.push_back({"chebyshev 16, 0.5 dB", chebyshev(16, 0.5)});
    t.push_back({"bessel 10", bessel(10)});
    t.push_back({"cauer 7", cauer(7, 1.0, 1.5)});
    t.push_back({"poles at 1e3, companion", companion({24e12, 50e9, 35e6, 10e3, 1}, {24e12})});
    {
        // Q = 1000 around w0 = 1000, and Q = 1000 around 1 at order 16
        ss lp = chebyshev(4, 1.0);
        t.push_back({"bandpass Q 1000 at 1e3, order 8", bandpass_ss(lp, 1000.0, 1.0)});
        free_ss(&lp);
        lp = butterworth(8);
        t.push_back({"bandpass Q 1000 at 1, order 16", bandpass_ss(lp, 1.0, 1e-3)});
        free_ss(&lp);
        lp = butterworth(5);
        t.push_back({"bandpass Q 100 at 1, order 10", bandpass_ss(lp, 1.0, 1e-2)});
        free_ss(&lp);
    }
    return t;
}

TEST(SchurGramians, AgreeWithTheKroneckerRoute)
{
    std::vector<named> t = table();
    {
        // the dense realisations of `do` and of the rotation search
        program p;
        ss c = chebyshev(6, 1.0);
        matrix K = k_algebraic(c), W = w_algebraic(c), P;
        matrix T = optimize(c, K, W, &P, p.out, 0, 8);
        ASSERT_EQ(T.rows, 6);
        t.push_back({"do on chebyshev 6", transform_ss(T, c)});
        ss c4 = chebyshev(4, 1.0);
        t.push_back({"do2 result on chebyshev 4", dr_optimize4(ist.out_fp, c4, 0.1, 0)});
        t.push_back({"do3 result on chebyshev 4", dr_optimize4(ist.out_fp, c4, 0.1, 1)});
        freem(&K);
        freem(&W);
        freem(&P);
        freem(&T);
        free_ss(&c);
        free_ss(&c4);
    }
    for (named &c : t) {
        ASSERT_GT(c.s.n, 0) << c.name;
        int n = c.s.n;
        matrix K = k_algebraic(c.s), W = w_algebraic(c.s), X = x_algebraic(c.s);
        expect_agrees(K, gram_k(c.s), n, c.name + ": K");
        expect_agrees(W, gram_w(c.s), n, c.name + ": W");
        expect_agrees(X, cross_reference(c.s), n, c.name + ": cross Gramian");
        freem(&K);
        freem(&W);
        freem(&X);
        free_ss(&c.s);
    }
}

// A pole at the origin or an undamped pair: no Gramian by the solvers; the
// existence test names the cause, and an unstable filter is refused.
TEST(SchurGramians, SingularAndUnstable)
{
    struct bad {
        const char *name;
        ss s;
        const char *why;
    } cases[] = {
        {"integrator", make_ss(1, {0}, {1}, {1}), "the filter has a pole on the jw axis"},
        {"undamped pair", make_ss(2, {0, 1, -1, 0}, {0, 1}, {1, 0}), "the filter has a pole on the jw axis"},
        {"pole at the origin and one at -1", make_ss(2, {0, 0, 1, -1}, {1, 1}, {1, 1}),
         "the filter has a pole on the jw axis"},
        {"pole at +1", make_ss(1, {1}, {1}, {1}), "the filter is not stable (it has a pole in the right half-plane)"},
        {"unstable pair 0.01 +- j", make_ss(2, {0.01, 1, -1, 0.01}, {0, 1}, {1, 0}),
         "the filter is not stable (it has a pole in the right half-plane)"},
    };
    for (bad &c : cases) {
        const char *why = gramian_obstacle(c.s);
        ASSERT_NE(why, nullptr) << c.name;
        EXPECT_STREQ(why, c.why) << c.name;
        if (std::string(c.why).find("jw") != std::string::npos) {
            matrix K = k_algebraic(c.s), W = w_algebraic(c.s), X = x_algebraic(c.s);
            EXPECT_EQ(K.cols, 0) << c.name;
            EXPECT_EQ(W.cols, 0) << c.name;
            EXPECT_EQ(X.cols, 0) << c.name;
        }
        free_ss(&c.s);
    }
}

// A slow stable pole beside a fast one has its Gramians: K of diag(l1, l2)
// with B = (1, 1) is K_ij = -1 / (l_i + l_j) exactly. A stable A that is
// defective far beyond what the poles' accuracy can place (a Jordan block at
// -1e-9 with couplings 1e3, reflected so that no block structure shows) is
// not called unstable: the report says that its poles cannot be located.
TEST(SchurGramians, SlowPolesAndDefectiveMatrices)
{
    for (double slow : {-1e-7, -1e-9}) {
        ss s = make_ss(2, {slow, 0, 0, -1000}, {1, 1}, {1, 1});
        EXPECT_EQ(gramian_obstacle(s), nullptr) << slow;
        matrix K = calc_k(fst.ana, s, 0, 0);
        ASSERT_EQ(K.cols, 2) << slow;
        EXPECT_NEAR(at(K, 0, 0), -1 / (2 * slow), 1e-12 / -slow) << slow;
        EXPECT_NEAR(at(K, 0, 1), -1 / (slow - 1000), 1e-15) << slow;
        EXPECT_NEAR(at(K, 1, 1), 1 / 2000.0, 1e-15) << slow;
        freem(&K);
        free_ss(&s);
    }
    const int n = 6;
    dvec J(n * n, 0.0), R(n * n);
    double vv = 0;
    for (int i = 0; i < n; i++)
        vv += (i + 1.0) * (i + 1.0);
    for (int i = 0; i < n; i++) {
        J[i * n + i] = -1e-9;
        if (i + 1 < n)
            J[i * n + i + 1] = 1e3;
        for (int j = 0; j < n; j++)
            R[i * n + j] = (i == j) - 2 * (i + 1.0) * (j + 1.0) / vv;
    }
    dvec A(n * n, 0.0);  // R J R, row-major
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            for (int k = 0; k < n; k++)
                for (int l = 0; l < n; l++)
                    A[i * n + j] += R[i * n + k] * J[k * n + l] * R[l * n + j];
    ss d = make_ss(n, A, dvec(n, 1.0), dvec(n, 1.0));
    EXPECT_STREQ(gramian_obstacle(d), "the poles of the filter cannot be located accurately enough to tell whether "
                                      "it is stable (its A is defective or nearly so)");
    free_ss(&d);
}

// Cascades of high order are far from normal: an eigensolver on the whole A
// of chebyshev(100, 1) finds poles in the right half-plane, while every
// section's own poles lie left of -2.2e-4 (-sinh(asinh(1/eps)/n) sin(pi/2n)
// for the pair nearest the axis, eps^2 = 10^0.1 - 1). A stable cascade with
// one section moved to the right is still refused.
TEST(SchurGramians, HighOrderStabilityFromTheSections)
{
    for (int n : {70, 100, 151, 200}) {
        ss c = chebyshev(n, 1.0);
        ASSERT_EQ(c.n, n);
        EXPECT_EQ(gramian_obstacle(c), nullptr) << "chebyshev " << n;
        // the section nearest the axis, flipped to the right half-plane
        double eps = std::sqrt(std::pow(10.0, 0.1) - 1.0);
        double sig = std::sinh(std::asinh(1.0 / eps) / n) * std::sin(M_PI / (2.0 * n));
        EXPECT_GT(sig, 1e-5);
        int flipped = 0;
        for (int i = 0; i < n; i++) {
            double &d = c.A.data[static_cast<std::size_t>(i) * n + i];
            if (std::fabs(d + sig) < 1e-9 * (1 + sig) || std::fabs(2 * d + 2 * sig) < 1e-9) {
                d = -d;
                flipped++;
            }
        }
        EXPECT_GT(flipped, 0) << "chebyshev " << n;
        EXPECT_STREQ(gramian_obstacle(c), "the filter is not stable (it has a pole in the right half-plane)")
            << "chebyshev " << n;
        free_ss(&c);
    }
    for (int n : {100, 200}) {
        ss b = butterworth(n);
        EXPECT_EQ(gramian_obstacle(b), nullptr) << "butterworth " << n;
        free_ss(&b);
    }
}

}  // namespace
