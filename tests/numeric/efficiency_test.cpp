// Efficiency measures and the equalising rotations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "helpers.h"

using testing::Eq;
using testing::ExitedWithCode;

TEST(Efficiency, MeasuresAgainstClosedForms)
{
    struct Case {
        matrix m;
        double e;
    } cases[] = {
        {rowwise(2, 2, {2, 1, 1, 2}), std::sqrt(0.75)},
        {rowwise(3, 3, {1, 0, 0, 0, 5, 0, 0, 0, 0.25}), 1},
        {rowwise(2, 2, {4, 2, 2, 4}), std::sqrt(12.0 / 16)},
    };
    for (auto &c : cases)
        EXPECT_NEAR(e(c.m), c.e, 1e-15);

    struct Case2 {
        matrix k, w;
        double e2, e0;
    } cases2[] = {
        {mid(2, 2), mid(2, 2), 1, 1},
        {rowwise(2, 2, {1, 0, 0, 4}), mid(2, 2), 0.8, 0.8},  // 2 * 2 / 5
        {rowwise(2, 2, {2, 0, 0, 1}), rowwise(2, 2, {1, 0, 0, 2}), 1, 1},
        // e(K)^2 e(W)^2 ... with n = 2: (sqrt(3/4) * 1)^(2/2) * e2
        {rowwise(2, 2, {2, 1, 1, 2}), rowwise(2, 2, {1, 0, 0, 4}), 2 * std::sqrt(16.0) / 10,
         std::sqrt(0.75) * 2 * 4 / 10},
    };
    for (auto &c : cases2) {
        EXPECT_NEAR(e2(c.k, c.w), c.e2, 1e-15);
        EXPECT_NEAR(e0(c.k, c.w), c.e0, 1e-15);
    }

    matrix d = rowwise(2, 2, {4, 1, 1, 9});
    EXPECT_EQ(maxdiff(Msqrt(d), rowwise(2, 2, {2, 0, 0, 3})), 0);
    EXPECT_NEAR(maxdiff(Misqrt(d), rowwise(2, 2, {0.5, 0, 0, 1.0 / 3})), 0, 1e-16);

    EXPECT_EXIT(e(newm(2, 3)), ExitedWithCode(1), Eq("e: matrix not square.\n"));
    EXPECT_EXIT(e2(mid(2, 2), mid(3, 3)), ExitedWithCode(1), Eq("e: matrix dimensions not fit.\n"));
    EXPECT_EXIT(Misqrt(rowwise(2, 2, {1, 0, 0, 0})), ExitedWithCode(1),
                Eq("Misqrt: diagonal element 0.000000e+00 smaller than or equal to zero.\n"));
}

namespace {

// T is orthogonal and T^T m0 T equals m.
void expect_rotation(const matrix &t, const matrix &m0, const matrix &m)
{
    int n = m0.rows;
    EXPECT_LT(maxdiff(mmul(transpose(t), t), mid(n, n)), 1e-14);
    EXPECT_LT(maxdiff(mmul3(transpose(t), m0, t), m), 1e-13);
}

}  // namespace

TEST(Equalise, DirectMethodOnADiagonal)
{
    matrix m = rowwise(4, 4, {4, 0, 0, 0, 0, 3, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1});
    matrix m0 = mcopy(m);
    matrix t;
    equal2(&t, m);  // in place
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(at(m, i, i), 2.5, 1e-14);
    expect_rotation(t, m0, m);

    matrix flat = rowwise(3, 3, {2, 0, 0, 0, 2, 0, 0, 0, 2});
    equal2(&t, flat);
    EXPECT_EQ(maxdiff(t, mid(3, 3)), 0);

    matrix wide = newm(2, 3);
    EXPECT_EXIT(equal2(&t, wide), ExitedWithCode(1), Eq("equal: error: matrix not square\n"));
}

TEST(Equalise, IterativeMethodReachesTheTolerance)
{
    // Symmetric, not diagonal: every rotation must set its pair equal, so
    // the tolerance is met in a few steps without the iteration message.
    matrix m = rowwise(4, 4, {6, 1, 0.5, 0, 1, 3, 0.2, 0.1, 0.5, 0.2, 1, 0.3, 0, 0.1, 0.3, 0.5});
    matrix m0 = mcopy(m);
    matrix t;
    testing::internal::CaptureStderr();
    int steps = equal(&t, m, 1e-10, 200);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_GT(steps, 0);
    EXPECT_LT(steps, 100);
    double mean = tr(m0) / 4;
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(at(m, i, i), mean, 1e-9);
    expect_rotation(t, m0, m);

    // Already within tol * mean: no rotation.
    matrix near = rowwise(2, 2, {1.0, 0.3, 0.3, 1.05});
    EXPECT_EQ(equal(&t, near, 0.1, 10), 0);
    EXPECT_EQ(maxdiff(t, mid(2, 2)), 0);

    // The iteration limit ends the loop with its message: itmax + 1 rotations.
    matrix m2 = mcopy(m0);
    testing::internal::CaptureStderr();
    int limited = equal(&t, m2, 1e-14, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error in equalizing: too many iterations.\n");
    EXPECT_EQ(limited, 2);

    matrix tall = newm(3, 2);
    EXPECT_EXIT(equal(&t, tall, 0.1, 10), ExitedWithCode(1), Eq("equal: error: matrix not square\n"));
}
