// Weights, the weighted order and the Groebner walk.
#include <gtest/gtest.h>

#include "algebra/buchberger.h"
#include "algebra/walk.h"
#include "tests/algebra/helpers.h"

namespace {

// Installs a global weight vector for one test and puts back the old one.
struct weights_guard {
    weight_factors saved = algst.weights;
    explicit weights_guard(std::vector<int> w) { algst.weights = copy_weight_factors(w.data(), static_cast<int>(w.size())); }
    ~weights_guard() { algst.weights = saved; }
};

TEST(Weights, RecordsAndTheWeightedOrder)
{
    weight_factors w = new_weight_factors(3);
    EXPECT_EQ(w.n, 3);
    EXPECT_EQ(new_weight_factors(0).n, 0);
    EXPECT_TRUE(new_weight_factors(-2).w.empty());
    free_weight_factors(&w);
    EXPECT_EQ(w.n, 0);

    weights_guard g({2, 1, 0});
    order_guard o(3);
    const int a[] = {0, 2}, b[] = {1, 0, 5}, c[] = {1};
    // Weighted degrees 2, 2 (B2 weighs 0) and 2: lex decides, B0 first.
    EXPECT_EQ(weighted_degree(3, b), 2);
    EXPECT_EQ(cmp_weighted(2, a, 3, b), -1);
    EXPECT_EQ(cmp_weighted(3, b, 1, c), 1);
    EXPECT_EQ(cmp_monomial(1, c, 2, a), 1);
    const int d[] = {0, 3};
    EXPECT_EQ(cmp_weighted(2, d, 1, c), 1);  // 3 > 2

    const int nw[] = {5, 6, 7};
    set_weight_factors(nw, 3);
    EXPECT_EQ(algst.weights.w, (std::vector<int>{5, 6, 7}));
    EXPECT_EXIT(set_weight_factors(nw, 2), testing::ExitedWithCode(1),
                "set_weight_factors: dimensions do not agree");
}

TEST(Weights, InitialFormsAndNextWeights)
{
    weights_guard g({1, 1, 1});
    order_guard o(3);
    termlist f = P("B2^3 + B0 * B1 - 1 + B1^3");
    EXPECT_EQ(max_weighted_degree(f), 3);
    EXPECT_EQ(text(initial_form(f)), "B1^3 + B2^3");

    // Every weight 1 except the first: the next vector moves the last one,
    // here straight to 0 (no tie on the way), and holds the others.
    weights_guard g2({0, 1, 1});
    eq_array E = EQ({"B1^2 + B2", "B2^3 - 1"});
    weight_factors next;
    ASSERT_EQ(next_weights(E, &next), 1);
    EXPECT_EQ(next.w, (std::vector<int>{0, 1, 0}));
    // Only the first weight non-zero: no next weight.
    weights_guard g3({4, 0, 0});
    EXPECT_EQ(next_weights(E, &next), 0);

    // Grevlex basis of cyclic-3 at weights (1, 1, 1): the facet of B1^2 +
    // B1 B2 + B2^2 against B2 gives (1, 1, 0).
    weights_guard g4({1, 1, 1});
    eq_array C = EQ({"B2^3 - 1", "B1^2 + B1 * B2 + B2^2", "B0 + B1 + B2"});
    ASSERT_EQ(next_weights(C, &next), 1);
    EXPECT_EQ(next.w, (std::vector<int>{1, 1, 0}));

    weight_factors traced_w;
    std::string out = traced(0, [&] { EXPECT_EQ(print_weighted_terms(C, &traced_w), 1); });
    EXPECT_NE(out.find("equation 0, term 1: e1=0, e2=3, e3=0, e4=0, w1=1, w2=1, w3="), std::string::npos) << out;
    EXPECT_EQ(traced_w.n, 3);
}

// The walk from grevlex ends at the lex basis of the same ideal; the lex
// bases are SymPy's groebner(F, B0, B1, B2, order='lex') over QQ.
TEST(Walk, EndsAtTheLexBasisAndRestoresTheState)
{
    struct {
        std::initializer_list<const char *> system;
        std::initializer_list<const char *> lex;
    } cases[] = {
        {{"B0 + B1 + B2", "B0 * B1 + B1 * B2 + B2 * B0", "B0 * B1 * B2 - 1"},
         {"B0 + B1 + B2", "B1^2 + B1 * B2 + B2^2", "B2^3 - 1"}},
        {{"B0 + B1 + B2 - 1", "B0 - B1 + 2 * B2", "B0 * B2 - 1"},
         {"2 * B0 + 3 * B2 - 1", "2 * B1 - B2 - 1", "3 * B2^2 - B2 + 2"}},
        {{"B0 * B1 - 1", "B0 + B1 - 3"}, {"B0 + B1 - 3", "B1^2 - 3 * B1 + 1"}},
    };
    for (auto &c : cases) {
        order_guard o(1);
        weights_guard w({});
        eq_array E = EQ(c.system);
        std::string out = traced(0, [&] { groebner_grevlex_walk(&E); });
        EXPECT_EQ(out.rfind("groebner basis with grevlex ordering:\n", 0), 0u);
        EXPECT_NE(out.find("weights: 1 1 "), std::string::npos);
        EXPECT_EQ(algst.monomial_order, 1);
        EXPECT_EQ(algst.weights.n, 0);
        expect_basis(E, c.lex, 1e-9);
    }
}

TEST(WalkDeath, AStepThatFailsIsFatal)
{
    // Cyclic-5: a division of the walk leaves a remainder in floating
    // point; the walk stops rather than go on with a wrong basis.
    eq_array E = EQ({"B0 + B1 + B2 + B3 + B4", "B0 * B1 + B1 * B2 + B2 * B3 + B3 * B4 + B4 * B0",
                     "B0 * B1 * B2 + B1 * B2 * B3 + B2 * B3 * B4 + B3 * B4 * B0 + B4 * B0 * B1",
                     "B0 * B1 * B2 * B3 + B1 * B2 * B3 * B4 + B2 * B3 * B4 * B0 + B3 * B4 * B0 * B1 + B4 * B0 * B1 * B2",
                     "B0 * B1 * B2 * B3 * B4 - 1"});
    EXPECT_EXIT(
        {
            ist.out_fp = fopen("/dev/null", "w");
            groebner_grevlex_walk(&E);
        },
        testing::ExitedWithCode(1), "groebner_walk: ");
}

}  // namespace
