// One-dimensional minimiser on functions whose minima are known in closed form.
#include <gtest/gtest.h>

#include <cmath>

#include "dynrange/minimize.h"

namespace {

double quad03(double x) { return (x - 0.3) * (x - 0.3) + 2.0; }
double cosine(double x) { return std::cos(x); }
double ramp(double x) { return x; }
double falling(double x) { return -x; }
double exp_lin(double x) { return std::exp(x) - 2.0 * x; }
double quartic(double x) { return std::pow(x - 0.7, 4); }

int calls = 0;
double counted(double x)
{
    calls++;
    return (x - 1.0) * (x - 1.0);
}

struct min_case {
    const char *name;
    double (*f)(double);
    double a, x0, c;
    double xmin, fmin;  // closed-form minimum over [a, c]
    double xtol;  // also bounds the error of the value (the ramps have slope 1)
};

TEST(BracketMin, FindsKnownMinima)
{
    const min_case cases[] = {
        {"interior quadratic", quad03, 0.0, 0.5, 1.0, 0.3, 2.0, 1e-6},
        {"cosine at pi", cosine, 2.0, 2.5, 5.0, M_PI, -1.0, 1e-6},
        {"exp(x) - 2x at ln 2", exp_lin, 0.0, 0.9, 2.0, std::log(2.0), 2.0 - 2.0 * std::log(2.0), 1e-6},
        {"interval given reversed", quad03, 1.0, 0.9, -1.0, 0.3, 2.0, 1e-6},
        {"flat quartic", quartic, 0.0, 0.2, 1.0, 0.7, 0.0, 1e-3},
        // minimum at a bound: the increasing ramp on [0, 1] and the falling one
        {"lower bound", ramp, 0.0, 0.5, 1.0, 0.0, 0.0, 1e-6},
        {"upper bound", falling, 0.0, 0.5, 1.0, 1.0, -1.0, 1e-6},
    };
    for (const auto &c : cases) {
        double x = -99, fx = -99;
        int st = bracket_min(c.a, c.x0, c.c, c.f, 1e-8, 200, &x, &fx);
        EXPECT_EQ(st, 0) << c.name;
        EXPECT_NEAR(x, c.xmin, c.xtol) << c.name;
        EXPECT_NEAR(fx, c.fmin, c.xtol) << c.name;
        EXPECT_DOUBLE_EQ(fx, c.f(x)) << c.name;
    }
}

TEST(BracketMin, IterationLimitAndDefaultTolerance)
{
    // maxit 0: at once status 1 with the start point and its value
    double x = 0, fx = 0;
    EXPECT_EQ(bracket_min(0.0, 0.25, 1.0, quad03, 1e-6, 0, &x, &fx), 1);
    EXPECT_EQ(x, 0.25);
    EXPECT_DOUBLE_EQ(fx, quad03(0.25));

    // too few iterations for a bound minimum: status 1, yet the best point so far
    EXPECT_EQ(bracket_min(0.0, 0.5, 1.0, ramp, 1e-10, 3, &x, &fx), 1);
    EXPECT_LT(x, 0.5);
    EXPECT_DOUBLE_EQ(fx, x);

    // tol 0 and a negative tol fall back to sqrt(machine epsilon) ~ 1.49e-8:
    // the bracket around the minimum at 1 closes to a few times that
    for (double tol : {0.0, -1.0}) {
        calls = 0;
        EXPECT_EQ(bracket_min(0.0, 0.4, 3.0, counted, tol, 500, &x, &fx), 0);
        EXPECT_NEAR(x, 1.0, 1e-7);
        EXPECT_GT(calls, 2);
        EXPECT_LT(calls, 60);
    }
}

TEST(BracketMin, QuadraticEndsAfterFewSteps)
{
    // a parabola is matched exactly by the interpolation, so the search ends
    // long before the golden-section count (~ log(1e8)/log(1.618) = 38)
    calls = 0;
    double x, fx;
    EXPECT_EQ(bracket_min(-2.0, 0.0, 3.0, counted, 1e-8, 100, &x, &fx), 0);
    EXPECT_NEAR(x, 1.0, 1e-7);
    EXPECT_LT(calls, 20);
}

TEST(BracketStep, ParabolaVertex)
{
    // y = (x - 2)^2 + 1 through x = 1, 3, 4: vertex 2, opens upward
    double r = 0;
    EXPECT_EQ(bracket_step(&r, 1, 3, 4, 2, 2, 5), -1);
    EXPECT_NEAR(r, 2.0, 1e-12);
    EXPECT_EQ(bracket_step2(&r, 1, 3, 4, 2, 2, 5), -1);
    EXPECT_NEAR(r, -1.0, 1e-12);  // step from the middle point 3
    // y = -(x - 2)^2 opens downward: vertex 2, reported as a maximum
    EXPECT_EQ(bracket_step(&r, 1, 3, 4, -1, -1, -4), 1);
    EXPECT_NEAR(r, 2.0, 1e-12);
    EXPECT_EQ(bracket_step2(&r, 1, 3, 4, -1, -1, -4), 1);
    EXPECT_NEAR(r, -1.0, 1e-12);
    // degenerate fits: collinear values (no curvature) and coinciding points
    r = 42;
    EXPECT_EQ(bracket_step(&r, 0, 1, 2, 0, 1, 2), 0);
    EXPECT_EQ(bracket_step2(&r, 0, 1, 2, 0, 1, 2), 0);
    EXPECT_EQ(bracket_step2(&r, 1, 1, 2, 3, 3, 5), 0);
    EXPECT_EQ(r, 42);
}

}  // namespace
