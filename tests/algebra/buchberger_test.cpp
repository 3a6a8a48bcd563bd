// Groebner bases by Buchberger's algorithm: the pair queue, its criteria,
// the traces, and whole bases against bases computed independently.
#include <gtest/gtest.h>

#include "algebra/buchberger.h"
#include "algebra/groebner.h"
#include "algebra/pairs.h"
#include "tests/algebra/helpers.h"

namespace {

struct basis_case {
    const char *name;
    int order;  // 1 lex, 2 grevlex
    std::initializer_list<const char *> system;
    std::initializer_list<const char *> basis;
};

const char *const kTri[] = {"B0 - B2", "B1 - 2 * B2^2", "B2^4 + 0.5 * B2^2 - 0.25"};
const char *const kCyclic3[] = {"B0 + B1 + B2", "B0 * B1 + B1 * B2 + B2 * B0", "B0 * B1 * B2 - 1"};
const char *const kKatsura3[] = {
    "B0 + 2 * B1 + 2 * B2 + 2 * B3 - 1",
    "B0^2 + 2 * B1^2 + 2 * B2^2 + 2 * B3^2 - B0",
    "2 * B0 * B1 + 2 * B1 * B2 + 2 * B2 * B3 - B1",
    "B1^2 + 2 * B0 * B2 + 2 * B1 * B3 - B2",
};

eq_array system_of(std::initializer_list<const char *> texts)
{
    return EQ(texts);
}

// Expected bases: SymPy 1.14, groebner(F, B0, B1, ..., order='lex' or
// 'grevlex') over QQ (B0 the most significant variable), each element made
// monic and its rational coefficients written as decimals to 20 digits.
TEST(GroebnerBasis, AgreesWithBasesOverTheRationals)
{
    const basis_case cases[] = {
        {"already a lex basis", 1, {kTri[0], kTri[1], kTri[2]}, {kTri[0], kTri[1], kTri[2]}},
        {"the same ideal, grevlex", 2, {kTri[0], kTri[1], kTri[2]},
         {"B1^2 + B1 - 1", "B2^2 - 0.5 * B1", "B0 - B2"}},
        {"cyclic-3, lex", 1, {kCyclic3[0], kCyclic3[1], kCyclic3[2]},
         {"B0 + B1 + B2", "B1^2 + B1 * B2 + B2^2", "B2^3 - 1"}},
        {"cyclic-3, grevlex", 2, {kCyclic3[0], kCyclic3[1], kCyclic3[2]},
         {"B2^3 - 1", "B1^2 + B1 * B2 + B2^2", "B0 + B1 + B2"}},
        {"single-term element forms pairs, lex", 1, {"B0^2 + B1", "B0 * B1"},
         {"B0^2 + B1", "B0 * B1", "B1^2"}},
        {"single-term element forms pairs, grevlex", 2, {"B0 * B1", "B0^2 + B1"},
         {"B0^2 + B1", "B0 * B1", "B1^2"}},
        {"ideal holding 1, lex", 1, {"B0 * B1 - 1", "B0^2 - B1", "B1^2 - 2"}, {"1"}},
        {"ideal holding 1, grevlex", 2, {"B0 * B1 - 1", "B0^2 - B1", "B1^2 - 2"}, {"1"}},
        {"a zero equation, lex", 1, {"B0^2 - 2", "0", "B0 * B1 - 1"}, {"B0 - 2 * B1", "B1^2 - 0.5"}},
        {"a zero equation, grevlex", 2, {"0", "B0^2 - 2", "B0 * B1 - 1"},
         {"B1^2 - 0.5", "B0 - 2 * B1"}},
        {"proportional and redundant input", 1, {"2 * B0 - 2", "B0 - 1", "B0 * B1 - B1", "B1^2 - 4"},
         {"B0 - 1", "B1^2 - 4"}},
        {"Katsura-3, lex", 1, {kKatsura3[0], kKatsura3[1], kKatsura3[2], kKatsura3[3]},
         {
             "B0 - 27006.293290039448038 * B3^7 + 5284.2674405448942707 * B3^6 + 4640.4976334648217744 * B3^5"
             " - 1095.153260866807841 * B3^4 - 141.87810166453155603 * B3^3 + 46.527335438836814774 * B3^2"
             " + 0.82597261154306345077 * B3 - 1",
             "B1 - 49313.287062315292133 * B3^7 + 37531.553761114140798 * B3^6 - 6150.0564589490240905 * B3^5"
             " - 1400.7643211019646969 * B3^4 + 413.38533402671197337 * B3^3 - 0.85159346025545079595 * B3^2"
             " - 4.646782257962227547 * B3",
             "B2 + 62816.433707335017971 * B3^7 - 40173.687481386587024 * B3^6 + 3829.8076422166132033 * B3^5"
             " + 1948.3409515353687311 * B3^4 - 342.44628319444620956 * B3^3 - 22.41207425916295648 * B3^2"
             " + 5.2337959521906958216 * B3",
             "B3^8 - 0.72727272727272729291 * B3^7 + 0.12121212121212121549 * B3^6"
             " + 0.024504302282080059339 * B3^5 - 0.0087292679885272485285 * B3^4"
             " + 0.00028058361391694727413 * B3^3 + 0.00011690983913206135067 * B3^2"
             " - 7.7939892754707576147e-06 * B3",
         }},
        // The ladder equations of order 5 for the Butterworth denominator
        // with the diagonal of weight 0.4, coefficients to 20 digits.
        {"order-5 ladder, lex", 1,
         {
             "1.2944271909999160997 * B1 * B3 + 1.9416407864998737054 * B0 * B2 - 1",
             "B1 * B3 + B0 * B3 + B0 * B2 - 2.5133126291998993381 * B2 - 2.5133126291998993381 * B1"
             " - 3.2360679774997898051",
             "-1.2944271909999160997 * B3 - 3.2360679774997898051 * B2 - 3.2360679774997898051 * B1"
             " - 1.9416407864998737054 * B0 - 5.2360679774997898051",
             "-B3 - B2 - B1 - B0 - 2.722755348299890467",
         },
         {
             "B0 + 1.4999999999999996569 * B3 + 2.7618033988749887198",
             "B1 + 3.2587402867510850485 * B3^2 + 8.936376272235919076 * B3 + 6.4095062391982774332",
             "B2 - 3.2587402867510850485 * B3^2 - 9.4363762722359187328 * B3 - 6.448554289773375686",
             "B3^3 + 4.1231810730249340433 * B3^2 + 5.6662648001422377715 * B3 + 2.5953399450021122487",
         }},
        {"Katsura-3, grevlex", 2, {kKatsura3[0], kKatsura3[1], kKatsura3[2], kKatsura3[3]},
         {
             "B3^4 - 0.4062850729517396009 * B3^3 + 0.041526374859708191367 * B1 * B3"
             " + 0.11478987404913330861 * B2 * B3 + 0.077066965955854840886 * B3^2"
             " - 0.0012158623269734381879 * B1 - 0.012127447312632497547 * B2 - 0.017583239805462027444 * B3",
             "B1 * B3^2 - 0.33333333333333331483 * B3^3 - 0.11111111111111110494 * B1 * B3"
             " + 0.018518518518518517491 * B2 * B3 + 0.11111111111111110494 * B3^2"
             " - 0.027777777777777776236 * B1 - 0.037037037037037034981 * B2",
             "B2 * B3^2 + 1.1111111111111111605 * B3^3 - 0.055555555555555552472 * B1 * B3"
             " - 0.20987654320987653156 * B2 * B3 - 0.48148148148148145475 * B3^2"
             " + 0.018518518518518517491 * B1 + 0.030864197530864195818 * B2 + 0.037037037037037034981 * B3",
             "B1^2 + 2 * B1 * B3 + 1.1428571428571427937 * B2 * B3 + 1.7142857142857141906 * B3^2"
             " - 0.28571428571428569843 * B1 - 0.14285714285714284921 * B2 - 0.57142857142857139685 * B3",
             "B1 * B2 - 2 * B1 * B3 - 3.2857142857142855874 * B2 * B3 - 3.4285714285714283811 * B3^2"
             " + 0.071428571428571424606 * B1 + 0.28571428571428569843 * B2 + 1.1428571428571427937 * B3",
             "B2^2 + 2 * B1 * B3 + 4.5714285714285711748 * B2 * B3 + 3.8571428571428572063 * B3^2"
             " - 0.14285714285714284921 * B1 - 0.57142857142857139685 * B2 - 1.2857142857142858094 * B3",
             "B0 + 2 * B1 + 2 * B2 + 2 * B3 - 1",
         }},
    };
    for (const basis_case &c : cases) {
        SCOPED_TRACE(c.name);
        order_guard g(c.order);
        eq_array E = system_of(c.system);
        groebner_basis(&E);
        // The proportional pair of the "redundant" case is compared exactly
        // like the rest; rational coefficients to 1e-9 relative.
        expect_basis(E, c.basis, 1e-9);
        // A reduced basis is sorted by descending leading monomial.
        for (int i = 0; i + 1 < E.n; i++)
            EXPECT_EQ(cmp_term_monomials(E.eq[i].t[0], E.eq[i + 1].t[0]), 1);
    }
}

TEST(Buchberger, OneEquationIsLeftAloneSilently)
{
    eq_array E = EQ({"3 * B1 + B0^2 * 2"});
    std::string out = traced(5, [&] { buchberger(&E); });
    EXPECT_EQ(out, "");
    ASSERT_EQ(E.n, 1);
    EXPECT_EQ(text(E.eq[0]), "3 * B1 + 2 * B0^2");
}

TEST(Buchberger, TracesGrowWithTheVerbosity)
{
    order_guard g(1);
    auto run = [](int v) {
        return traced(v, [] {
            eq_array E = EQ({kCyclic3[0], kCyclic3[1], kCyclic3[2]});
            buchberger(&E);
        });
    };
    EXPECT_EQ(run(0), "");
    EXPECT_EQ(run(1), "");
    std::string v2 = run(2), v3 = run(3), v4 = run(4), v5 = run(5);
    EXPECT_EQ(v2.rfind("equations: 3, pairs: ", 0), 0u) << v2;
    EXPECT_NE(v2.find("s-poly evaluations: "), std::string::npos);
    EXPECT_EQ(v2.find("pair "), std::string::npos);
    for (const char *s : {"equations:\n", "added pairs:\n", "pair   0: (", "\nGroebner basis, not reduced:\n"})
        EXPECT_NE(v3.find(s), std::string::npos) << s;
    EXPECT_EQ(v3.find("S-poly("), std::string::npos);
    EXPECT_GT(v4.size(), v3.size());
    EXPECT_EQ(v4.find("remainder = "), std::string::npos);
    EXPECT_NE(v5.find("S-poly(0, 1) (3) = "), std::string::npos) << v5;
    EXPECT_NE(v5.find("remainder = "), std::string::npos);
}

TEST(UpdatePairs, CriteriaRejectAndReport)
{
    order_guard g(1);
    eq_array E;
    p_pair_array Pq;
    // B0 and B1 - 1: coprime leading monomials, so the product criterion
    // rejects their pair.
    std::string out = traced(3, [&] {
        add_equation(&E, P("B0 - 1"), &Pq);
        add_equation(&E, P("B1^2 - 1"), &Pq);
    });
    EXPECT_NE(out.find("pair (0, 1) rejected in step 3.\n"), std::string::npos) << out;
    EXPECT_EQ(Pq.n, 0);

    // Step 0: the old pair (0, 1) with lcm B0 B1 B2 goes when an element
    // with leading monomial B0 arrives and the three lcms differ.
    eq_array F;
    p_pair_array Q;
    out = traced(3, [&] {
        add_equation(&F, P("B0 * B1 + B2^2"), &Q);
        add_equation(&F, P("B0 * B2 + B1^2"), &Q);
        add_equation(&F, P("B0 + B1 + B2"), &Q);
    });
    EXPECT_NE(out.find("pair (0, 1) rejected in step 0.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("equation 0 is redundant.\n"), std::string::npos);
    EXPECT_NE(out.find("equation 1 is redundant.\n"), std::string::npos);
    EXPECT_EQ(Q.flags, (std::vector<int>{1, 1, 0}));
    // No reason is given twice, and step 2 never fires after step 1.
    EXPECT_EQ(out.find("rejected in step 2"), std::string::npos);

    // Step 1: lcm(B0^2, B1) = B0^2 B1 is divided by lcm(B0 B1, B1) = B0 B1.
    eq_array H;
    p_pair_array R;
    out = traced(3, [&] {
        add_equation(&H, P("B0^2 + B2"), &R);
        add_equation(&H, P("B0 * B1 + B2"), &R);
        add_equation(&H, P("B1 + B2^2"), &R);
    });
    EXPECT_NE(out.find("pair (0, 2) rejected in step 1.\n"), std::string::npos) << out;

    // A polynomial proportional to an element is not added and forms no pairs.
    int pairs = R.n, eqs = H.n;
    add_equation(&H, P("-2 * B1 - 2 * B2^2"), &R);
    EXPECT_EQ(H.n, eqs);
    EXPECT_EQ(R.n, pairs);
    EXPECT_EQ(R.flags.size(), static_cast<std::size_t>(eqs));
}

TEST(PairArray, QueueOperationsAndPrinting)
{
    order_guard g(1);
    p_pair_array P;
    auto lcm = [](std::vector<int> e) { return subterm_copy(static_cast<int>(e.size()), e.data()); };
    for (int k = 0; k < 12; k++)
        add_p_pair(&P, k % 3, 3 + k, 5 - k % 2, lcm({k % 2, 1}));
    EXPECT_EQ(P.n, 12);
    EXPECT_EQ(P.capacity, 20);  // grows in steps of 10
    sort_p_pairs_sugar(&P);
    // Sugar 4 first (odd k), then sugar 5; inside each, the smaller lcm
    // first, and equal keys keep their order.
    EXPECT_EQ(P.j[0], 4);
    EXPECT_EQ(P.j[5], 14);
    EXPECT_EQ(P.j[6], 3);
    EXPECT_EQ(P.j[11], 13);
    EXPECT_EQ(order_p_pair(P, 0, 6), -1);
    EXPECT_EQ(order_p_pair_lcm(P, 0, 1), 0);

    remove_pairs_of_equation(&P, 0);
    EXPECT_EQ(P.n, 8);
    for (int k = 0; k < P.n; k++)
        EXPECT_NE(P.i[k], 0);
    shift_pair_index(&P, 2, 1);
    for (int k = 0; k < P.n; k++)
        EXPECT_EQ(P.i[k], 1);
    P.i[1] = P.j[1] = 0;
    compact_p_pairs(&P);
    EXPECT_EQ(P.n, 7);
    remove_p_pair(&P, 0);
    EXPECT_EQ(P.n, 6);

    p_pair_array Q;
    add_p_pair(&Q, 0, 1, 2, lcm({}));
    add_p_pair(&Q, 1, 2, 3, lcm({2, 0, 1}));
    EXPECT_EQ(capture_stream([&](FILE *f) { print_p_pairs(Q, f); }),
              "pair   0: (0 1), sugar = 2, lcm =1\npair   1: (1 2), sugar = 3, lcm =B0^2 * B2\n\n");
    append_p_pairs(&P, &Q);
    EXPECT_EQ(P.n, 8);
    EXPECT_EQ(P.lcm[7].exp, (std::vector<int>{2, 0, 1}));
    free_p_pair_array(&P);
    EXPECT_EQ(P.n, 0);
    EXPECT_EQ(P.capacity, 0);

    EXPECT_EXIT(order_p_pair(Q, 0, 2), testing::ExitedWithCode(1), "order_p_pair: indices out of bounds");
}

TEST(PairArray, SugarAndLcmGroups)
{
    order_guard g(1);
    subterm l;
    // deg f - deg LM f = 3 - 2 = 1, deg g - deg LM g = 0, deg lcm = 3.
    EXPECT_EQ(pair_sugar(P("B0 * B1 + B2^3"), P("B0 * B2 - 1"), &l), 4);
    EXPECT_EQ(l.exp, (std::vector<int>{1, 1, 1}));
    subterm none;
    EXPECT_EQ(pair_sugar(termlist(), P("B0"), &none), 0);
    EXPECT_EQ(none.n, 0);

    lcm_group_list groups;
    const int a[] = {1, 1}, b[] = {2}, a2[] = {1, 1, 0};
    add_to_lcm_groups(&groups, 0, subterm_copy(2, a));
    add_to_lcm_groups(&groups, 1, subterm_copy(1, b));
    add_to_lcm_groups(&groups, 2, subterm_copy(3, a2));
    ASSERT_EQ(groups.n, 2);
    EXPECT_EQ(groups.g[0].pair_index, (std::vector<int>{0, 2}));
    EXPECT_EQ(capture_stream([&](FILE *f) { print_lcm_group(groups.g[0], f); }), "B0 * B1\t 0 2\n");
    lcm_group empty;
    EXPECT_EQ(capture_stream([&](FILE *f) { print_lcm_group(empty, f); }), "");
    free_lcm_group_list(&groups);
    EXPECT_EQ(groups.n, 0);
}

}  // namespace
