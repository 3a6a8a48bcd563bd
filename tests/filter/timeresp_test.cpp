// Impulse and step responses against closed forms, including repeated poles
// where the eigenvector matrix is singular.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "filter/current.h"
#include "filter/timeresp.h"
#include "fixture.h"
#include "numeric/matrix.h"

namespace {

struct time_case {
    const char *name;
    ss s;
    std::function<double(double)> h, step;  // closed forms for t >= 0
};

TEST(TimeResponses, MatchClosedForms)
{
    time_case cases[] = {
        {"1/(s+1)", fx::make_ss(1, {-1}, {1}, {1}),
         [](double t) { return std::exp(-t); }, [](double t) { return 1 - std::exp(-t); }},
        {"1/(s+1) + 0.5", fx::make_ss(1, {-1}, {1}, {1}, 0.5),
         [](double t) { return std::exp(-t); }, [](double t) { return 1.5 - std::exp(-t); }},
        {"1/((s+1)^2+1)", fx::make_ss(2, {0, 1, -2, -2}, {0, 1}, {1, 0}),
         [](double t) { return std::exp(-t) * std::sin(t); },
         [](double t) { return 0.5 - 0.5 * std::exp(-t) * (std::cos(t) + std::sin(t)); }},
        // two equal poles, Jordan block and companion form
        {"1/(s+1)^2 Jordan", fx::make_ss(2, {-1, 1, 0, -1}, {0, 1}, {1, 0}),
         [](double t) { return t * std::exp(-t); },
         [](double t) { return 1 - std::exp(-t) - t * std::exp(-t); }},
        {"1/(s+1)^2 companion", fx::make_ss(2, {0, 1, -1, -2}, {0, 1}, {1, 0}),
         [](double t) { return t * std::exp(-t); },
         [](double t) { return 1 - std::exp(-t) - t * std::exp(-t); }},
        // integrator and double integrator
        {"1/s", fx::make_ss(1, {0}, {1}, {1}), [](double) { return 1.0; }, [](double t) { return t; }},
        {"1/s^2", fx::make_ss(2, {0, 1, 0, 0}, {0, 1}, {1, 0}), [](double t) { return t; },
         [](double t) { return t * t / 2; }},
        // a triple pole at -2: 1/(s+2)^3 -> t^2 e^-2t / 2
        {"1/(s+2)^3", fx::make_ss(3, {-2, 1, 0, 0, -2, 1, 0, 0, -2}, {0, 0, 1}, {1, 0, 0}),
         [](double t) { return t * t * std::exp(-2 * t) / 2; },
         [](double t) {
             return (1 - std::exp(-2 * t) * (1 + 2 * t + 2 * t * t)) / 8;
         }},
    };
    for (time_case &c : cases) {
        SCOPED_TRACE(c.name);
        fx::use(c.s);
        for (double t : {0.0, 0.1, 0.5, 1.0, 2.0, 5.0, 20.0}) {
            double h = c.h(t), st = c.step(t);
            EXPECT_NEAR(h_t(fst.ana, t), h, 1e-12 * (1 + std::fabs(h))) << "t = " << t;
            EXPECT_NEAR(hs_t(fst.ana, t), st, 1e-12 * (1 + std::fabs(st))) << "t = " << t;
        }
        EXPECT_EQ(h_t(fst.ana, -1), 0.0);
        EXPECT_EQ(hs_t(fst.ana, -1), 0.0);
        free_ss(&c.s);
    }
}

// F and G responses of the Jordan block: e^(At) = e^-t [[1, t], [0, 1]].
TEST(TimeResponses, StateResponsesOfJordanBlock)
{
    ss s = fx::make_ss(2, {-1, 1, 0, -1}, {0, 1}, {1, 0});
    fx::use(s);
    double t = 1.5, e = std::exp(-t);
    matrix f = f_t(fst.ana, t), g = g_t(fst.ana, t), fs = fs_t(fst.ana, t), gs = gs_t(fst.ana, t);
    EXPECT_NEAR(f.data[0], t * e, 1e-14);   // e^(At) B
    EXPECT_NEAR(f.data[1], e, 1e-14);
    EXPECT_NEAR(g.data[0], e, 1e-14);       // C e^(At)
    EXPECT_NEAR(g.data[1], t * e, 1e-14);
    EXPECT_NEAR(fs.data[1], 1 - e, 1e-14);  // int_0^t e^-s ds
    EXPECT_NEAR(gs.data[1], 1 - e - t * e, 1e-14);
    freem(&f);
    freem(&g);
    freem(&fs);
    freem(&gs);
    matrix z = f_t(fst.ana, -0.5);
    EXPECT_EQ(z.rows, 2);
    EXPECT_EQ(z.data[0], 0.0);
    freem(&z);
    free_ss(&s);
}

}  // namespace

namespace {

// An integrator in parallel with 1/(s+1) and 1/(s+3), in a basis where the
// eigenvalue at the origin comes out a rounding error away from 0 (about
// -8e-17): the step response must still grow as t. Step of
// 1/s + 1/(s+1) + 1/(s+3) is t + 1 - e^-t + (1 - e^-3t)/3.
TEST(TimeResponses, PoleNearOriginIntegratesToTime)
{
    ss d = fx::make_ss(3, {0, 0, 0, 0, -1, 0, 0, 0, -3}, {1, 1, 1}, {1, 1, 1});
    matrix T = fx::make_ss(3, {1, 0.3, -0.7, 0.2, 2, 0.1, -0.4, 0.9, 1.5}, {0, 0, 0}, {0, 0, 0}).A;
    ss s = transform_ss(T, d);
    fx::use(s);
    for (double t : {0.5, 1.0, 10.0}) {
        double want = t + 1 - std::exp(-t) + (1 - std::exp(-3 * t)) / 3;
        EXPECT_NEAR(hs_t(fst.ana, t), want, 1e-12 * want) << "t = " << t;
        EXPECT_NEAR(h_t(fst.ana, t), 1 + std::exp(-t) + std::exp(-3 * t), 1e-12) << "t = " << t;
    }
    freem(&T);
    free_ss(&d);
    free_ss(&s);
}

}  // namespace

namespace {

// A time table on the matrix-exponential route (a fivefold pole: the
// eigenvector matrix is singular) carries e^(A dt) from row to row. Every
// row, the negative times included, agrees with the closed forms of
// 1/(s+1)^5, h = t^4 e^-t / 4! and step = 1 - e^-t sum_(k<5) t^k / k!, and
// the F and G columns with the responses evaluated at each time alone. A
// table that is not evenly spaced is evaluated row by row.
TEST(TimeResponses, TableOfRepeatedPole)
{
    const int n = 5;
    std::vector<double> A(n * n, 0.0), B(n, 0.0), C(n, 0.0);
    for (int i = 0; i < n; i++) {
        A[i * n + i] = -1.0;
        if (i + 1 < n)
            A[i * n + i + 1] = 1.0;
    }
    B[n - 1] = 1.0;
    C[0] = 1.0;
    ss s = fx::make_ss(n, A, B, C, 0.25);
    fx::use(s);
    ASSERT_EQ(fst.ana.expat_defective, 1);
    auto h = [](double t) { return t < 0 ? 0.0 : std::pow(t, 4) * std::exp(-t) / 24; };
    auto step = [](double t) {
        if (t < 0)
            return 0.0;
        double sum = 0.0, term = 1.0;
        for (int k = 0; k < 5; k++) {
            sum += term;
            term *= t / (k + 1);
        }
        return 1.25 - std::exp(-t) * sum;
    };
    const int points = 400;
    std::vector<double> even(points + 1), uneven(points + 1);
    for (int k = 0; k <= points; k++) {
        even[k] = (k * (30.0 - -2.0)) / points + -2.0;  // as the time sweep forms them
        uneven[k] = k * k / 4000.0;
    }
    for (auto *table : {&even, &uneven}) {
        time_rows rows(fst.ana, table->data(), points + 1, 3, 3, 3);
        for (int k = 0; k <= points; k++) {
            double t = (*table)[k];
            SCOPED_TRACE("t = " + std::to_string(t));
            rows.at(k);
            EXPECT_NEAR(rows.h, h(t), 1e-12);
            EXPECT_NEAR(rows.hs, step(t), 1e-12);
            if (k % 40 != 0)
                continue;
            matrix one[4] = {f_t(fst.ana, t), fs_t(fst.ana, t), g_t(fst.ana, t), gs_t(fst.ana, t)};
            const std::vector<double> *row[4] = {&rows.f, &rows.fs, &rows.g, &rows.gs};
            for (int q = 0; q < 4; q++) {
                for (int i = 0; i < n; i++)
                    EXPECT_NEAR((*row[q])[i], one[q].data[i], 1e-12) << q << " " << i;
                freem(&one[q]);
            }
        }
    }
    free_ss(&s);
}

}  // namespace

namespace {

// At t = 0, e^(At) = I: the impulse response is C B and the state
// responses are B and C, exactly, on the eigen route too (where the sum of
// the residues would leave rounding in place of the zero C B of a lowpass
// of relative degree two).
TEST(TimeResponses, TimeZeroIsExact)
{
    ss s = fx::make_ss(3, {-1, 2, 0, -2, -1, 0.5, 0.3, -0.7, -3}, {0, 1, 0.5}, {1, 0, 0});
    fx::use(s);
    ASSERT_EQ(fst.ana.expat_defective, 0);
    EXPECT_EQ(h_t(fst.ana, 0.0), 0.0);
    EXPECT_EQ(hs_t(fst.ana, 0.0), 0.0);
    matrix f = f_t(fst.ana, 0.0), g = g_t(fst.ana, 0.0);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(f.data[i], s.B.data[i]);
        EXPECT_EQ(g.data[i], s.C.data[i]);
    }
    freem(&f);
    freem(&g);
    free_ss(&s);
}

}  // namespace
