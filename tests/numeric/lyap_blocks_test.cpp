// Lyapunov solves down the irreducible blocks with their error bounds, and
// the verdicts on the poles, each judged against its own accuracy.
//
// The solutions are exact references: A and X have small integer entries,
// so Q = -(A X + X A^T) (or -(A^T X + X A)) is exact in double precision and
// X is the one solution of the equation with that Q.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "helpers.h"
#include "numeric/lyap_blocks.h"

namespace {

// -(A X + X A^T) (k_form) or -(A^T X + X A).
matrix exact_rhs(const matrix &A, const matrix &X, bool k_form)
{
    const int n = A.rows;
    matrix Q = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double s = 0;
            for (int k = 0; k < n; k++)
                s += k_form ? at(A, i, k) * at(X, k, j) + at(X, i, k) * at(A, j, k)
                            : at(A, k, i) * at(X, k, j) + at(X, i, k) * at(A, k, j);
            Q.data[j * n + i] = -s;
        }
    return Q;
}

// P^T M P for the permutation that puts original index perm[k] at place k.
matrix permuted(const matrix &M, const std::vector<int> &perm)
{
    const int n = M.rows;
    matrix R = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            R.data[perm[j] * n + perm[i]] = at(M, i, j);
    return R;
}

// A symmetric X with integer entries and a dominant diagonal.
matrix integer_solution(int n)
{
    matrix X = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            X.data[j * n + i] = i == j ? 20 + i : ((i + 1) * (j + 2) + (j + 1) * (i + 2)) % 7 - 3;
    return X;
}

struct solve_case {
    std::string name;
    matrix A;
};

std::vector<solve_case> solve_cases()
{
    std::vector<solve_case> t;
    // a cascade: sections [[-2 1] [-3 -1]], [-4], [[-1 2] [-1 -3]], each fed
    // by the one before (block lower triangular)
    matrix c = rowwise(5, 5, {-2, 1, 0, 0, 0,  //
                              -3, -1, 0, 0, 0,  //
                              0, 2, -4, 0, 0,   //
                              1, 0, 3, -1, 2,   //
                              0, 0, -1, -1, -3});
    t.push_back({"cascade of blocks 2, 1, 2", c});
    t.push_back({"the cascade with its states interleaved", permuted(c, {3, 0, 4, 2, 1})});
    // one irreducible block: the symmetric part is diag(-4, -5, -6, -4)
    matrix d = rowwise(4, 4, {-4, 1, 2, 0,  //
                              -1, -5, 1, 3,  //
                              -2, -1, -6, 1,  //
                              0, -3, -1, -4});
    t.push_back({"one dense block", d});
    // the dense block fed by a section of two: blocks 2 and 4
    matrix m = newm(6, 6);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++)
            m.data[j * 6 + i] = at(c, i, j);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            m.data[(j + 2) * 6 + i + 2] = at(d, i, j);
    m.data[1 * 6 + 3] = 2;
    m.data[0 * 6 + 5] = -1;
    t.push_back({"a section of two feeding a block of four", m});
    return t;
}

// The solution is the exact one within its bounds, and the bounds are those
// of a well-conditioned equation: a few units of rounding of the largest entry.
TEST(LyapBlocks, ExactSolutionsWithinTheirBounds)
{
    for (solve_case &c : solve_cases()) {
        for (bool k_form : {true, false}) {
            const int n = c.A.rows;
            std::string what = c.name + (k_form ? ", K form" : ", W form");
            matrix X = integer_solution(n);
            matrix Q = exact_rhs(c.A, X, k_form);
            matrix err;
            matrix S = lyap_solve_refined(c.A, Q, k_form, &err);
            ASSERT_EQ(S.cols, n) << what;
            ASSERT_EQ(err.cols, n) << what;
            for (int i = 0; i < n; i++)
                for (int j = 0; j < n; j++) {
                    EXPECT_LE(std::fabs(at(S, i, j) - at(X, i, j)), at(err, i, j)) << what << " " << i << "," << j;
                    EXPECT_LE(at(err, i, j), 1e-13 * 25) << what;
                    EXPECT_EQ(at(S, i, j), at(S, j, i)) << what;
                }
            // a solution from elsewhere, wrong in its sixth digit, is refined
            // back to it
            matrix Y = mcopy(X);
            for (int k = 0; k < n * n; k++)
                Y.data[k] *= 1 + 1e-6 * ((k * 7) % 5 - 2);
            lyap_plan p;
            ASSERT_TRUE(lyap_plan_make(c.A, &p)) << what;
            matrix e2;
            ASSERT_TRUE(lyap_plan_refine(p, Q, k_form, Y, &e2)) << what;
            EXPECT_LE(maxdiff(Y, X), 1e-12) << what;
            for (int k = 0; k < n * n; k++)
                EXPECT_LE(std::fabs(Y.data[k] - X.data[k]), e2.data[k]) << what;
        }
    }
}

// Two poles with l_i + l_j = 0 make the equation singular: no solution.
TEST(LyapBlocks, SingularEquationsGiveNoSolution)
{
    struct {
        const char *name;
        matrix A;
    } cases[] = {
        {"poles -1 and +1", rowwise(2, 2, {-1, 0, 0, 1})},
        {"undamped pair", rowwise(2, 2, {0, 1, -1, 0})},
        {"integrator", rowwise(1, 1, {0})},
        {"undamped pair in a block of three", rowwise(3, 3, {0, 1, 0, 0, 0, 1, -1, -1, -1})},
    };
    for (auto &c : cases) {
        const int n = c.A.rows;
        matrix Q = newm(n, n);
        for (int i = 0; i < n; i++)
            Q.data[i * n + i] = 1;
        matrix err;
        for (bool k_form : {true, false})
            EXPECT_EQ(lyap_solve_refined(c.A, Q, k_form, &err).cols, 0) << c.name;
    }
}

// The Householder reflection I - 2 v v^T / v^T v with v = (1, 2, ..., n).
matrix reflection(int n)
{
    double vv = 0;
    for (int i = 0; i < n; i++)
        vv += (i + 1.0) * (i + 1.0);
    matrix R = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            R.data[j * n + i] = (i == j) - 2 * (i + 1.0) * (j + 1.0) / vv;
    return R;
}

// R J R: a dense matrix similar to J that the graph of its entries cannot
// take apart.
matrix reflected(const matrix &J)
{
    matrix R = reflection(J.rows);
    return mmul3(R, J, R);
}

// The poles d, reflected.
matrix rotated(const std::vector<double> &d)
{
    const int n = static_cast<int>(d.size());
    matrix D = newm(n, n);
    for (int i = 0; i < n; i++)
        D.data[i * n + i] = d[i];
    return reflected(D);
}

// A Jordan block of size n at l with couplings c, reflected.
matrix rotated_jordan(int n, double l, double c)
{
    matrix J = newm(n, n);
    for (int i = 0; i < n; i++) {
        J.data[i * n + i] = l;
        if (i + 1 < n)
            J.data[(i + 1) * n + i] = c;
    }
    return reflected(J);
}

// The verdicts on the poles: a slow pole beside a fast one is stable in a
// block of one, of two and of three; poles at 0, on the axis and to the
// right are refused; a defective matrix is proved stable by its Lyapunov
// solution where it can be, and is otherwise said to be undecidable.
TEST(LyapBlocks, PoleVerdictsByEachPolesOwnAccuracy)
{
    struct {
        const char *name;
        matrix A;
        pole_verdict want;
    } cases[] = {
        {"-1e-7 beside -1000", rowwise(2, 2, {-1e-7, 0, 0, -1000}), poles_stable},
        {"-1e-9 beside -1000", rowwise(2, 2, {-1e-9, 0, 0, -1000}), poles_stable},
        {"-1e-9 beside -1000, rotated", rotated({-1e-9, -1000}), poles_stable},
        {"-1e-9 beside -1000 and -500, rotated", rotated({-1e-9, -1000, -500}), poles_stable},
        {"-1e-12 coupled to -1000 (triangular)", rowwise(2, 2, {-1e-12, 1, 0, -1000}), poles_stable},
        {"pole at 0", rowwise(1, 1, {0}), poles_axis},
        {"pole at 0 beside -1, coupled", rowwise(2, 2, {0, 1, 0, -1}), poles_axis},
        {"pole at 0 and -1 in a block of two", rowwise(2, 2, {-1, 1, 0, 0}), poles_axis},
        {"undamped pair", rowwise(2, 2, {0, 1, -1, 0}), poles_axis},
        {"undamped pair and -1 in a block of three", rowwise(3, 3, {0, 1, 0, 0, 0, 1, -1, -1, -1}), poles_axis},
        {"pole at +1e-12", rowwise(1, 1, {1e-12}), poles_right},
        {"pair at +0.01 +- j", rowwise(2, 2, {0.01, 1, -1, 0.01}), poles_right},
        {"real poles +1 and -2 in a block of two", rowwise(2, 2, {0, 1, 2, -1}), poles_right},
        {"+1e-3 beside -1 and -2, rotated", rotated({1e-3, -1, -2}), poles_right},
        {"Jordan block of 6 at -1, rotated", rotated_jordan(6, -1.0, 1.0), poles_stable},
        {"Jordan block of 6 at -1e-9 with couplings 1e3, rotated", rotated_jordan(6, -1e-9, 1e3), poles_unresolved},
    };
    for (auto &c : cases) {
        lyap_plan p;
        ASSERT_TRUE(lyap_plan_make(c.A, &p)) << c.name;
        EXPECT_EQ(p.poles, c.want) << c.name;
    }
}

}  // namespace
