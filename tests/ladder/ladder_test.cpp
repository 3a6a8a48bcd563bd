// Ladder realisation: closed forms up to order 3, the numeric road above,
// the normalisation of the target and the records built from a solution.
// Every record is checked against the target with GSL (ladder_checks.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ladder/ladder.h"
#include "ladder_checks.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

using namespace lt;

namespace {

struct synthesis {
    ladder_result r;
    synthesis(const dvec &N, const dvec &D, const dvec &w, double split = 0.5, dvec *guess = nullptr)
    {
        setup_vars();
        poly Np = make_poly(N), Dp = make_poly(D);
        r = ladder(Np, Dp, static_cast<int>(w.size()), w.data(), split,
                   guess ? static_cast<int>(guess->size()) : 0, guess ? guess->data() : nullptr);
        freepoly(&Np);
        freepoly(&Dp);
    }
    ~synthesis() { free_result(&r); }
};

void expect_near_rel(const dvec &got, const dvec &want, double tol)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); i++)
        EXPECT_NEAR(got[i], want[i], tol * std::max(1.0, std::fabs(want[i]))) << "entry " << i;
}

}  // namespace

// Targets of every road below order 4 and of the numeric road, each with
// the diagonal that its weights fix; every solution must realise N/D.
TEST(Ladder, RealisesTargetsOfEveryOrder)
{
    // The numeric road stops when every residual coefficient is below 1e-7,
    // so its records match the target to about 1e-7 relative, not 1e-8.
    struct tcase {
        const char *name;
        dvec N, D, w;
        bool diag_from_weights;  // false: the equal-ends case replaces it
        double tol = 1e-8;
    };
    const std::vector<tcase> cases = {
        {"order 1", {2.0}, {3.0, 1.5}, {}, true},
        {"order 1, equal orders", {1.0, 4.0}, {3.0, 1.5}, {0.7}, true},
        {"order 2, default weight", {1.0}, {2.0, 1.4, 1.0}, {}, true},
        {"order 2, weight 0.2, first-order numerator", {0.5, 1.0}, {2.0, 1.4, 1.0}, {0.2}, true},
        {"order 2, equal orders", {3.0, 1.0, 2.0}, {1.0, 1.0, 1.0}, {0.5}, true},
        {"order 3, unequal ends", {1.0, 0.2}, butterworth(3), {0.2, 0.5}, true},
        {"order 3, default weight", {1.0}, butterworth(3), {}, false},
        {"order 3, non-monic, large constant", {100.0}, {1000.0, 300.0, 30.0, 1.0}, {0.3, 0.1}, true},
        {"order 3, leading coefficient 4", {1.0, 0.0, 2.0}, poly_product({{4.0}, butterworth(3)}), {0.2, 0.3},
         true},
        {"order 6, numeric", {1.0}, butterworth(6), {0.5}, true, 1e-6},
        {"order 7, numeric, equal orders", {1.0, 2.0, 0.0, 0.5, 0.0, 0.0, 0.0, 0.3}, butterworth(7), {0.5},
         true, 1e-6},
        {"order 8, Bessel, numeric", {1.0, 1.0}, bessel(8), {0.5}, true, 1e-6},
    };
    for (const tcase &c : cases) {
        SCOPED_TRACE(c.name);
        synthesis s(c.N, c.D, c.w);
        EXPECT_EQ(s.r.status, 0);
        const int n = static_cast<int>(c.D.size()) - 1;
        // the closed forms give one ladder; from order 6 on every real one is listed
        if (n < 6) {
            ASSERT_EQ(s.r.nsol, 1);
        }
        ASSERT_GE(s.r.nsol, 1);
        ASSERT_EQ(s.r.systems.size(), static_cast<std::size_t>(s.r.nsol));
        for (const ss &rec : s.r.systems) {
        expect_realises(rec, c.N, c.D, c.tol);
        if (n >= 2 && c.diag_from_weights) {
            // a_i = -w_i d_(n-1)/d_n, the last one takes the rest of the trace.
            dvec w(n - 1, 0.0);
            for (std::size_t i = 0; i < c.w.size() && i < w.size(); i++)
                w[i] = c.w[i];
            if (c.w.empty())
                w[0] = 0.5;
            const double trace = -c.D[n - 1] / c.D[n];
            dvec want(n);
            double rest = trace;
            for (int i = 0; i < n - 1; i++) {
                want[i] = w[i] * trace;
                rest -= want[i];
            }
            want[n - 1] = rest;
            expect_near_rel(diagonal(rec), want, 1e-12);
        }
        if (c.N.size() == c.D.size())
            EXPECT_NEAR(rec.D, c.N.back() / c.D.back(), 1e-15);
        else
            EXPECT_EQ(rec.D, 0.0);
        }
    }
}

TEST(Ladder, ClosedFormsOfLowOrders)
{
    {
        SCOPED_TRACE("order 1: A = -D0/D1, C = 1, B = N0/D1");
        synthesis s({2.0}, {3.0, 1.5}, {});
        ASSERT_EQ(s.r.nsol, 1);
        EXPECT_DOUBLE_EQ(at(s.r.systems[0].A, 0, 0), -2.0);
        EXPECT_DOUBLE_EQ(at(s.r.systems[0].B, 0, 0), 2.0 / 1.5);
        EXPECT_EQ(at(s.r.systems[0].C, 0, 0), 1.0);
    }
    {
        SCOPED_TRACE("order 2, default weights: a0 = a1 = -p1/2, b0 = p1^2/4 - p0");
        synthesis s({1.0}, {2.0, 1.4, 1.0}, {});
        ASSERT_EQ(s.r.nsol, 1);
        expect_near_rel(diagonal(s.r.systems[0]), {-0.7, -0.7}, 1e-15);
        expect_near_rel(products(s.r.systems[0]), {0.49 - 2.0}, 1e-15);
        // A numerator of degree 0 gives B = (R0, 0).
        EXPECT_DOUBLE_EQ(at(s.r.systems[0].B, 0, 0), 1.0);
        EXPECT_EQ(at(s.r.systems[0].B, 1, 0), 0.0);
    }
    {
        SCOPED_TRACE("butterworth(3), weight 0.5: the equal-ends case");
        synthesis s({1.0}, butterworth(3), {0.5});
        ASSERT_EQ(s.r.nsol, 1);
        expect_near_rel(diagonal(s.r.systems[0]), {-1.0, 0.0, -1.0}, 1e-12);
        expect_near_rel(products(s.r.systems[0]), {-0.5, -0.5}, 1e-12);
    }
    {
        SCOPED_TRACE("butterworth(3), weight 0.5, split 0.2 divides b0 + b1 = -1");
        synthesis s({1.0}, butterworth(3), {0.5}, 0.2);
        ASSERT_EQ(s.r.nsol, 1);
        expect_near_rel(products(s.r.systems[0]), {-0.2, -0.8}, 1e-12);
        expect_realises(s.r.systems[0], {1.0}, butterworth(3));
    }
}

// At order 3 with p2 = 0 every a_i is 0 and the general closed form is 0/0;
// the equal-ends road takes it without dividing. Such a target (its roots
// sum to 0) is not stable, and no record with an unstable A passes.
TEST(Ladder, OrderThreeWithZeroTraceTakesEqualEnds)
{
    const dvec D = {2.0, 3.0, 0.0, 1.0};  // s^3 + 3 s + 2
    for (const dvec &w : {dvec{0.5}, dvec{0.2, 0.7}, dvec{}}) {
        synthesis s({1.0}, D, w);
        EXPECT_EQ(s.r.status, 0);
        EXPECT_EQ(s.r.nsol, 0);
    }
}

// Zero leading coefficients are trimmed first: (1, 0) over (1, 1, 0) is a
// first-order problem.
TEST(Ladder, TrimsZeroLeadingCoefficients)
{
    synthesis s({1.0, 0.0}, {1.0, 1.0, 0.0}, {});
    ASSERT_EQ(s.r.nsol, 1);
    EXPECT_EQ(s.r.systems[0].n, 1);
    expect_realises(s.r.systems[0], {1.0}, {1.0, 1.0});
}

TEST(Ladder, GuessArrayIsStartAndResult)
{
    setup_vars();
    const dvec D = butterworth(7);
    synthesis first({1.0}, D, {0.5});
    ASSERT_EQ(first.r.nsol, 1);
    const dvec b = products(first.r.systems[0]);
    {
        SCOPED_TRACE("an unusable guess (first value positive) is overwritten with the solution");
        dvec guess = {1.0, 0.0, 0.0, 0.0};
        synthesis s({1.0}, D, {0.5}, 0.5, &guess);
        ASSERT_EQ(s.r.nsol, 1);
        // The target is monic with p0 = 1, so nothing is scaled and the
        // guess holds the free values b0..b3 themselves.
        expect_near_rel(guess, {b[0], b[1], b[2], b[3]}, 1e-8);
    }
    {
        SCOPED_TRACE("a usable guess near the solution converges, and holds the new solution");
        dvec guess = {b[0] * 1.01, b[1], b[2] * 0.99, b[3]};
        synthesis s({1.0}, D, {0.5}, 0.5, &guess);
        ASSERT_EQ(s.r.nsol, 1);
        expect_realises(s.r.systems[0], {1.0}, D, 1e-6);
        const dvec b2 = products(s.r.systems[0]);
        expect_near_rel(guess, {b2[0], b2[1], b2[2], b2[3]}, 1e-8);
    }
    {
        SCOPED_TRACE("a guess that is too short is left alone");
        dvec guess = {-1.0, -1.0};
        synthesis s({1.0}, D, {0.5}, 0.5, &guess);
        ASSERT_EQ(s.r.nsol, 1);
        expect_near_rel(guess, {-1.0, -1.0}, 0.0);
    }
}

// a_5 == a_3 makes the two closing equations dependent: the numeric road
// fails instead of dividing by zero, and the search for every real ladder
// on all equations finds the ladders that exist (SymPy, lex Groebner basis
// in exact rationals, run once by hand: one real solution).
TEST(Ladder, DependentClosingEquationsFallBackToTheSearchForEveryLadder)
{
    setup_vars();
    synthesis s({1.0}, butterworth(6), {0.0, 0.0, 0.0, 0.5, 0.0});
    EXPECT_EQ(s.r.status, 0);
    ASSERT_EQ(s.r.nsol, 1);
    expect_realises(s.r.systems[0], {1.0}, butterworth(6), 1e-8);
}

TEST(Ladder, NonFiniteTargetGivesNoRecord)
{
    setup_vars();
    synthesis s({1.0}, {NAN, 1.0, 1.0}, {});
    EXPECT_EQ(s.r.nsol, 0);
    EXPECT_TRUE(s.r.systems.empty());
}

TEST(Ladder, BadTargetsEndTheProgram)
{
    setup_vars();
    const double w = 0.5;
    auto run = [&](const dvec &N, const dvec &D) {
        poly Np = make_poly(N), Dp = make_poly(D);
        ladder(Np, Dp, 1, &w, 0.5, 0, nullptr);
    };
    EXPECT_EXIT(run({1.0}, {2.0, 0.0}), testing::ExitedWithCode(1),
                "ladder: order of denominator is smaller than 1");
    EXPECT_EXIT(run({0.0, 0.0}, {1.0, 1.0}), testing::ExitedWithCode(1),
                "ladder: order of numerator is smaller than 0");
    EXPECT_EXIT(run({1.0, 1.0, 1.0}, {1.0, 1.0}), testing::ExitedWithCode(1),
                "ladder: order of numerator is larger than order of denominator");
    const dvec p = {1.0, 2.0, 2.0};
    EXPECT_EXIT(gladder(&w, p.data(), 2, 0.5, 0, nullptr), testing::ExitedWithCode(1),
                "gladder: target polynomial not monic.");
    EXPECT_EXIT(lpoly(-1, nullptr, nullptr), testing::ExitedWithCode(1), "lpoly: order is negative");
}

TEST(Ladder, MonicToleranceOfGladder)
{
    setup_vars();
    const double w = 0.5;
    // A leading coefficient 1e-7 away from 1 passes; well beyond it does not.
    const dvec p = {2.0, 1.4, 1.0 + 0.99e-7};
    gladder_result r = gladder(&w, p.data(), 2, 0.5, 0, nullptr);
    EXPECT_EQ(r.order, 2);
    const dvec q = {2.0, 1.4, 1.0 + 2e-7};
    EXPECT_EXIT(gladder(&w, q.data(), 2, 0.5, 0, nullptr), testing::ExitedWithCode(1),
                "gladder: target polynomial not monic.");
}

TEST(LadderPolynomial, MatchesTheRecursion)
{
    // P_3 = (s - a2)[(s - a1)(s - a0) - b0] - b1 (s - a0), expanded by hand.
    const dvec a = {-1.0, 2.0, 0.5};
    const dvec b = {3.0, -4.0};
    poly P = lpoly(3, a.data(), b.data());
    ASSERT_EQ(P.degree, 3);
    // (s^2 - s - 2 - 3)(s - 0.5) + 4 (s + 1) = s^3 - 1.5 s^2 - 4.5 s + 2.5 + 4 s + 4
    const dvec want = {6.5, -0.5, -1.5, 1.0};
    for (int k = 0; k <= 3; k++)
        EXPECT_DOUBLE_EQ(P.coef[k], want[k]);
    freepoly(&P);
    poly P0 = lpoly(0, nullptr, nullptr);
    EXPECT_EQ(P0.degree, 0);
    EXPECT_EQ(P0.coef[0], 1.0);
    freepoly(&P0);
}

TEST(ScalePoly, ScalesRootsByTheConstantTerm)
{
    {
        // (s + 10)^3: |p0| = 1000 is the largest coefficient, sc = 10, and
        // the result is (s + 1)^3.
        dvec p = {1000.0, 300.0, 30.0, 1.0};
        EXPECT_DOUBLE_EQ(scale_poly(p.data(), 3), 10.0);
        expect_near_rel(p, {1.0, 3.0, 3.0, 1.0}, 1e-15);
    }
    {
        // A small |p0| is scaled all the same: sc = 0.01^(1/3), and q_k =
        // p_k / sc^(3-k) gives 1, 0.01^(-2/3), 2 * 0.01^(-1/3), 1.
        dvec p = {0.01, 1.0, 2.0, 1.0};
        EXPECT_NEAR(scale_poly(p.data(), 3), std::cbrt(0.01), 1e-15);
        expect_near_rel(p, {1.0, std::pow(0.01, -2.0 / 3.0), 2.0 * std::pow(0.01, -1.0 / 3.0), 1.0}, 1e-14);
    }
    {
        // A zero p0 leaves the target alone.
        dvec p = {0.0, 1.0, 2.0, 1.0};
        EXPECT_EQ(scale_poly(p.data(), 3), 1.0);
        expect_near_rel(p, {0.0, 1.0, 2.0, 1.0}, 0.0);
    }
    {
        matrix b = newm(2, 2);
        for (int i = 0; i < 4; i++)
            b.data[i] = i + 1.0;
        dvec a = {1.0, 2.0, 3.0};
        unscale_ladder(3.0, a.data(), b, 2);
        expect_near_rel(a, {3.0, 6.0, 3.0}, 0.0);
        const double *bd = b.data;
        expect_near_rel(dvec(bd, bd + 4), {9.0, 18.0, 27.0, 36.0}, 0.0);
        freem(&b);
    }
}

// Orders 4 and 5 go through the Groebner basis and give every real
// solution. The reference products come from SymPy (a lex Groebner basis
// over the rationals, then solve_poly_system), the weights fixing
// a = (-w p_(n-1), 0, ..., 0, the rest of the trace).
TEST(Ladder, EliminationGivesEverySolution)
{
    struct tcase {
        const char *name;
        dvec D;
        double w;
        std::vector<dvec> b;  // sorted by b_0
        double tol;
    };
    const std::vector<tcase> cases = {
        {"butterworth(4), weight 0.3",
         butterworth(4),
         0.3,
         {{-0.9352760928159888, -0.045452004315265665, -0.9995157690451407},
          {-0.42024386617639514, -0.33975613382360487, -1.220243866176395}},
         1e-8},
        {"(s + 1)^4, weight 0.1",
         {1.0, 4.0, 6.0, 4.0, 1.0},
         0.1,
         {{-24.0315, 20.7569, -1.28539}, {-0.0485364, -0.561301, -3.95016}},
         1e-5},
        {"butterworth(5), weight 0.3",
         butterworth(5),
         0.3,
         {{-0.6194530711667088, -0.25917693219824794, -0.3967901137992491, -1.7614993097856722},
          {-0.5127864045000421, -0.282066511224918, -0.43485291572496004, -1.807213595499958},
          {0.11165113856659095, -0.5608527421587303, -0.5128881379720809, -2.074829685385658}},
         1e-8},
    };
    for (const tcase &c : cases) {
        SCOPED_TRACE(c.name);
        synthesis s({1.0}, c.D, {c.w});
        EXPECT_EQ(s.r.status, 0);
        ASSERT_EQ(s.r.nsol, static_cast<int>(c.b.size()));
        std::vector<dvec> got;
        for (const ss &rec : s.r.systems) {
            expect_realises(rec, {1.0}, c.D);
            got.push_back(products(rec));
        }
        std::sort(got.begin(), got.end());
        for (std::size_t k = 0; k < got.size(); k++)
            expect_near_rel(got[k], c.b[k], c.tol);
    }
}

// Weights that make the diagonal overflow or undefined give no record on
// every road, and never end the run.
TEST(Ladder, UnusableWeightsGiveNoRecord)
{
    setup_vars();
    for (int n = 3; n <= 6; n++)
        for (double w : {static_cast<double>(NAN), static_cast<double>(INFINITY), 1e200, -1e200}) {
            SCOPED_TRACE(testing::Message() << "order " << n << ", weight " << w);
            synthesis s({1.0}, butterworth(n), {w, w});
            EXPECT_EQ(s.r.nsol, 0);
        }
}

// The numeric road from its default start does not converge for
// Butterworth targets of orders 8, 10, 11 and 12 and Bessel targets of
// orders 7 and 11 with the weight 0.5; the restarts and the mirror-symmetric
// solve behind it find ladders for every order from 6 to 12.
struct order_family {
    const char *name;
    dvec (*target)(int);
};

class EveryOrder : public testing::TestWithParam<order_family> {};

TEST_P(EveryOrder, FromSixToTwelveGivesALadder)
{
    const order_family &f = GetParam();
    {
        for (int n = 6; n <= 12; n++) {
            SCOPED_TRACE(std::string(f.name) + " order " + std::to_string(n));
            synthesis s({1.0}, f.target(n), {0.5});
            EXPECT_EQ(s.r.status, 0);
            ASSERT_GT(s.r.nsol, 0);
            for (int k = 0; k < s.r.nsol; k++)
                expect_realises(s.r.systems[k], {1.0}, f.target(n), 1e-6);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, EveryOrder,
                         testing::Values(order_family{"butterworth", butterworth}, order_family{"bessel", bessel}),
                         [](const testing::TestParamInfo<order_family> &i) { return std::string(i.param.name); });

// Where the restarts find nothing beyond the orders of the homotopy
// solve, the synthesis still says that it did not converge.
TEST(Ladder, NoConvergenceBeyondTheHomotopyOrders)
{
    setup_vars();
    synthesis s({1.0}, butterworth(11), {0.3, 0.2});
    EXPECT_NE(s.r.status, 0);
    EXPECT_EQ(s.r.nsol, 0);
}
