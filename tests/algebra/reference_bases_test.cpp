// Floating-point bases and the Groebner walk against exact bases: the
// reference files in tests/algebra/systems are SymPy's reduced bases over
// QQ (scripts/algebra_reference_bases.py, run once by hand), rounded to 17
// digits. A checked basis equals the reference to 1e-6 relative in every
// coefficient or is refused; it is never {1} for a system with a solution.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "algebra/checked_groebner.h"
#include "algebra/rational.h"
#include "algebra/walk.h"
#include "tests/algebra/helpers.h"

namespace {

// The polynomials of a file, one a line; "#" lines are comments.
eq_array load(const std::string &name)
{
    std::ifstream in(std::string(ALGEBRA_SYSTEMS) + "/" + name);
    EXPECT_TRUE(in.good()) << name;
    eq_array E;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        E.eq.push_back(P(line.c_str()));
        E.n++;
    }
    return E;
}

// G equals the reference R (both under the order in force): the same
// leading monomials, the same monomials in every element, and each
// coefficient within rel of the reference's once both are monic.
void expect_equal_bases(const eq_array &G, eq_array R, double rel, const std::string &what)
{
    sort_eq_array(&R);
    ASSERT_EQ(G.n, R.n) << what;
    for (int i = 0; i < R.n; i++) {
        const termlist &g = G.eq[i], &r = R.eq[i];
        ASSERT_EQ(g.n, r.n) << what << ": element " << i << " " << text(g);
        for (int j = 0; j < r.n; j++) {
            ASSERT_TRUE(monomial_equal(g.t[j], r.t[j])) << what << ": element " << i << " " << text(g);
            double want = static_cast<double>(r.t[j].coef), got = static_cast<double>(g.t[j].coef);
            EXPECT_LE(std::fabs(got - want), rel * std::fabs(want))
                << what << ": element " << i << " term " << j << " " << got << " against " << want;
        }
    }
}

struct work_guard {
    work_guard(long limit)
    {
        algst.work_limit = limit;
        algst.work_done = 0;
        algst.work_exceeded = false;
    }
    ~work_guard()
    {
        algst.work_limit = 0;
        algst.work_done = 0;
        algst.work_exceeded = false;
    }
};

// Katsura-3 to -5 and cyclic-3 to -5 under lex (1) and grevlex (2). Where
// the floating-point computation holds up today it must give the exact
// basis (accept); elsewhere a refusal is the right answer too.
TEST(CheckedBasis, EqualsTheExactBasisOrIsRefused)
{
    struct {
        const char *system;
        int order;
        bool accept;
    } cases[] = {
        {"katsura3", 1, true},  {"katsura3", 2, true}, {"katsura4", 1, false}, {"katsura4", 2, true},
        {"katsura5", 1, false}, {"katsura5", 2, true}, {"cyclic3", 1, true},   {"cyclic3", 2, true},
        {"cyclic4", 1, true},   {"cyclic4", 2, true},  {"cyclic5", 1, false},  {"cyclic5", 2, true},
    };
    for (auto &c : cases) {
        std::string what = std::string(c.system) + (c.order == 1 ? " lex" : " grevlex");
        order_guard o(c.order);
        work_guard w(200000000);
        eq_array E = load(std::string(c.system) + ".txt");
        std::string why;
        int ok = checked_groebner_basis(&E, &why);
        if (!ok) {
            EXPECT_FALSE(c.accept) << what << " refused: " << why;
            EXPECT_NE(why, "") << what;
            continue;
        }
        std::ifstream ref(std::string(ALGEBRA_SYSTEMS) + "/" + c.system + (c.order == 1 ? ".lex" : ".grevlex"));
        ASSERT_TRUE(ref.good()) << what << " was accepted but has no reference";
        expect_equal_bases(E, load(std::string(c.system) + (c.order == 1 ? ".lex" : ".grevlex")), 1e-6, what);
    }
}

// {1} claims that there is no solution: refused unless the exact
// computation agrees. The inconsistent system {B0 B1 - 1, B0, B1 - 2} is
// confirmed; a basis of a consistent system is never {1}.
TEST(CheckedBasis, TheUnitIdealOnlyWhenExact)
{
    order_guard o(2);
    eq_array E = EQ({"B0 * B1 - 1", "B0", "B1 - 2"});
    std::string why;
    ASSERT_EQ(checked_groebner_basis(&E, &why), 1) << why;
    EXPECT_EQ(capture_stream([&](FILE *f) { print_eq_array(E, f); }), "  0   1\n");
}

TEST(CheckedBasis, CountsStandardMonomials)
{
    order_guard o(1);
    // lex basis of cyclic-3: leading B0, B1^2, B2^3: 1 * 2 * 3 solutions.
    EXPECT_EQ(standard_monomial_count(EQ({"B0 + B1 + B2", "B1^2 + B1 * B2 + B2^2", "B2^3 - 1"}), 3, 1000), 6);
    EXPECT_EQ(standard_monomial_count(EQ({"B0 + B1", "B1^2"}), 3, 1000), -1);  // B2 is free
    EXPECT_EQ(standard_monomial_count(EQ({"B0^50", "B1^50"}), 2, 1000), -2);
    EXPECT_EQ(standard_monomial_count(EQ({"1"}), 2, 1000), 0);
    // B0^2, B0 B1, B1^3: 1, B0, B1, B1^2.
    EXPECT_EQ(standard_monomial_count(EQ({"B0^2", "B0 * B1", "B1^3"}), 2, 1000), 4);
}

// The walk from grevlex ends at the lex basis on every zero-dimensional
// system of the table, katsura-3 and -4 among them (where the direct lex
// computation of katsura-4 is refused).
TEST(Walk, ReachesTheExactLexBasis)
{
    for (const char *s : {"katsura3", "katsura4", "cyclic3", "circle_hyperbola", "walk_example", "cubic_pair",
                          "chain3", "sphere_planes", "mixed3"}) {
        order_guard o(1);
        eq_array E = load(std::string(s) + ".txt");
        std::string out = traced(0, [&] { groebner_grevlex_walk(&E); });
        EXPECT_EQ(algst.monomial_order, 1) << s;
        EXPECT_EQ(algst.weights.n, 0) << s;
        expect_equal_bases(E, load(std::string(s) + ".lex"), 1e-6, s);
    }
}

// Each step goes to the next facet of the weights (1, lambda): at lambda
// 1/3, 1/6 and 1/8 the reduced bases of the weighted orders change their
// leading monomials (SymPy's groebner with the order (e0 + lambda e1, then
// lex), sampled at lambda = k/1000), and then lambda 0 is lex.
TEST(Walk, VisitsEveryFacet)
{
    eq_array E = load("walk_example.txt");
    std::string out = traced(0, [&] { groebner_grevlex_walk(&E); });
    std::string weights;
    for (std::size_t at = 0; (at = out.find("weights: ", at)) != std::string::npos; at++) {
        std::size_t end = out.find_first_not_of("0123456789 ", at + 9);
        weights += "(" + out.substr(at + 9, end - at - 9) + ")";
    }
    EXPECT_EQ(weights, "(1 1 )(3 1 )(6 1 )(8 1 )(1 0 )");
}

// The exact road stops when a coefficient outgrows the bit limit.
TEST(ExactRoad, StopsPastTheBitLimit)
{
    eq_array E = load("katsura3.txt");
    long saved = algst.exact_bit_limit;
    algst.exact_bit_limit = 64;
    algst.exact_too_large = false;
    eq_array_q Q = eq_array_q_exact(E);
    groebner_basis_q(&Q);
    EXPECT_TRUE(algst.exact_too_large);
    algst.exact_bit_limit = saved;
    algst.exact_too_large = false;
    Q = eq_array_q_exact(E);
    groebner_basis_q(&Q);
    EXPECT_FALSE(algst.exact_too_large);
    // The lex basis of katsura-3 over QQ: B3 of degree 8 last.
    EXPECT_EQ(Q.n, 4);
}

}  // namespace
