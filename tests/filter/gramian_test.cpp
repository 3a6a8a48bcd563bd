// Gramians against closed forms of the Lyapunov equations, their residuals,
// the integrated route, and K at one frequency.
#include <gtest/gtest.h>

#include <cmath>

#include "filter/gramian.h"
#include "filter/transfer.h"
#include "fixture.h"
#include "base/error.h"
#include "base/getvar.h"
#include "numeric/matrix.h"

namespace {

double el(const matrix &m, int i, int j) { return m.data[j * m.rows + i]; }

struct closed_case {
    const char *name;
    ss s;
    std::vector<double> K, W;  // row by row
};

TEST(Gramians, SolvedMatchClosedForms)
{
    closed_case cases[] = {
        {"A = -2, B = 1, C = 3", fx::make_ss(1, {-2}, {1}, {3}), {0.25}, {2.25}},
        {"companion [0 1; -2 -3]", fx::make_ss(2, {0, 1, -2, -3}, {0, 1}, {1, 0}),
         {1.0 / 12, 0, 0, 1.0 / 6}, {11.0 / 12, 0.25, 0.25, 1.0 / 12}},
    };
    for (closed_case &c : cases) {
        SCOPED_TRACE(c.name);
        matrix K = k_algebraic(c.s), W = w_algebraic(c.s);
        int n = c.s.n;
        ASSERT_EQ(K.rows, n);
        ASSERT_EQ(W.cols, n);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                EXPECT_NEAR(el(K, i, j), c.K[i * n + j], 1e-14);
                EXPECT_NEAR(el(W, i, j), c.W[i * n + j], 1e-14);
            }
        freem(&K);
        freem(&W);
        free_ss(&c.s);
    }
    // cross Gramian of A = -2, B = 1, C = 3: -4 X + 3 = 0
    ss s = fx::make_ss(1, {-2}, {1}, {3});
    matrix X = x_algebraic(s);
    EXPECT_NEAR(X.data[0], 0.75, 1e-15);
    freem(&X);
    free_ss(&s);
}

// A K + K A^T + B B^T = 0 and A^T W + W A + C^T C = 0 on a dense order-8 filter.
TEST(Gramians, SolvedSatisfyLyapunovEquations)
{
    int n = 8;
    std::vector<double> A(n * n), B(n), C(n);
    unsigned seed = 777;
    auto rnd = [&]() { seed = seed * 1664525u + 1013904223u; return ((seed >> 9) % 20001) / 10000.0 - 1.0; };
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            A[i * n + j] = rnd();
        A[i * n + i] -= 4.0;
        B[i] = rnd();
        C[i] = rnd();
    }
    ss s = fx::make_ss(n, A, B, C);
    matrix K = k_algebraic(s), W = w_algebraic(s);
    double rk = 0, rw = 0, nk = 0, nw = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double x = B[i] * B[j], y = C[i] * C[j];
            for (int k = 0; k < n; k++) {
                x += fx::a(s, i, k) * el(K, k, j) + el(K, i, k) * fx::a(s, j, k);
                y += fx::a(s, k, i) * el(W, k, j) + el(W, i, k) * fx::a(s, k, j);
            }
            rk = std::max(rk, std::fabs(x));
            rw = std::max(rw, std::fabs(y));
            nk = std::max(nk, std::fabs(el(K, i, j)));
            nw = std::max(nw, std::fabs(el(W, i, j)));
            EXPECT_NEAR(el(K, i, j), el(K, j, i), 1e-13 * nk + 1e-15);
        }
    EXPECT_LT(rk, 1e-12);
    EXPECT_LT(rw, 1e-12);
    freem(&K);
    freem(&W);
    free_ss(&s);
}

// Poles at the origin or on the imaginary axis make the equations singular.
TEST(Gramians, SingularOperatorGivesEmpty)
{
    ss s = fx::make_ss(2, {0, 1, -1, 0}, {0, 1}, {1, 0});
    matrix K = k_algebraic(s);
    EXPECT_EQ(K.cols, 0);
    free_ss(&s);
}

// With si = so = 1 the frequency integrals equal the solved Gramians within
// the integration tolerances; afterwards fr is the user's again.
TEST(Gramians, IntegratedRouteMatchesSolved)
{
    ss s = fx::make_ss(2, {0, 1, -2, -3}, {0, 1}, {1, 0});
    fx::use(s);
    set_var_number("fr", 0.75);
    matrix Ki = calc_k(fst.ana, fst.cur_filter, 1, 0), Wi = calc_w(fst.ana, fst.cur_filter, 1);
    matrix Ks = k_algebraic(s), Ws = w_algebraic(s);
    ASSERT_EQ(Ki.rows, 2);
    for (int k = 0; k < 4; k++) {
        EXPECT_NEAR(Ki.data[k], Ks.data[k], 1e-5 * std::fabs(Ks.data[k]) + 1e-6);
        EXPECT_NEAR(Wi.data[k], Ws.data[k], 1e-5 * std::fabs(Ws.data[k]) + 1e-6);
    }
    double *fr = getvar("fr");
    ASSERT_NE(fr, nullptr);
    EXPECT_EQ(*fr, 0.75);
    freem(&Ki);
    freem(&Wi);
    freem(&Ks);
    freem(&Ws);
    free_ss(&s);
}

// si = 1/(1 + fr^2) shapes the input: for A = -1, B = C = 1,
// K = (1/pi) int_0^inf 1/(1 + w^2)^2 dw = 1/4. si = 0 gives K = 0.
TEST(Gramians, IntegratedWeightFollowsFr)
{
    ss s = fx::make_ss(1, {-1}, {1}, {1});
    fx::use(s);
    expr_node *one = new_numb(1);
    expr_node *fr2 = new_biox(new_varnode(xstrdup("fr")), new_numb(2), OP_POW);
    define_var("si", new_biox(one, new_biox(new_numb(1), fr2, OP_ADD), OP_DIV));
    matrix K = calc_k(fst.ana, fst.cur_filter, 1, 0);
    EXPECT_NEAR(K.data[0], 0.25, 1e-5);
    freem(&K);
    set_var_number("si", 0);
    K = calc_k(fst.ana, fst.cur_filter, 1, 0);
    EXPECT_EQ(K.data[0], 0.0);
    freem(&K);
    set_var_number("si", 1);
    set_var_number("fr", 0);
    free_ss(&s);
}

// Under sfr, K = Re(F F^H) at w = fr; at fr = 0 that is (A^-1 B)(A^-1 B)^T.
TEST(Gramians, SingleFrequency)
{
    ss s = fx::make_ss(2, {0, 1, -2, -3}, {0, 1}, {1, 0});
    fx::use(s);
    set_var_number("fr", 0);
    matrix K = calc_k(fst.ana, fst.cur_filter, 0, 1);
    // A^-1 B = (-1/2, 0)
    EXPECT_NEAR(el(K, 0, 0), 0.25, 1e-15);
    EXPECT_NEAR(el(K, 0, 1), 0.0, 1e-15);
    EXPECT_NEAR(el(K, 1, 1), 0.0, 1e-15);
    freem(&K);
    // at w = 1: F = (1, j)/(1 + 3j) ... |F_0|^2 = 1/10, Re(F_0 conj F_1) = 0
    set_var_number("fr", 1);
    K = calc_k(fst.ana, fst.cur_filter, 0, 1);
    EXPECT_NEAR(el(K, 0, 0), 0.1, 1e-15);
    EXPECT_NEAR(el(K, 1, 1), 0.1, 1e-15);
    EXPECT_NEAR(el(K, 0, 1), 0.0, 1e-15);
    freem(&K);
    set_var_number("fr", 0);
    free_ss(&s);
}

}  // namespace
