// Monomial orders, sorting, divisibility, S-polynomials, reduction and the
// bookkeeping of equation arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "algebra/groebner.h"
#include "algebra/order.h"
#include "tests/algebra/helpers.h"

namespace {

int cmp_text(const char *a, const char *b)
{
    termlist x = P(a), y = P(b);
    return cmp_term_monomials(x.t[0], y.t[0]);
}

TEST(Orders, ChainsUnderLexAndGrevlex)
{
    const char *lex[] = {"B0", "B1^5", "B1", "B2^9", "1"};
    const char *grevlex[] = {"B1^2", "B0 * B2", "B0", "B1"};
    order_guard g(1);
    for (int i = 0; i + 1 < 5; i++) {
        EXPECT_EQ(cmp_text(lex[i], lex[i + 1]), 1) << lex[i] << " > " << lex[i + 1];
        EXPECT_EQ(cmp_text(lex[i + 1], lex[i]), -1);
    }
    algst.monomial_order = 2;
    for (int i = 0; i + 1 < 4; i++)
        EXPECT_EQ(cmp_text(grevlex[i], grevlex[i + 1]), 1) << grevlex[i] << " > " << grevlex[i + 1];
    // Vectors of different lengths that are the same monomial.
    const int a[] = {1, 2, 0, 0}, b[] = {1, 2};
    for (int order : {1, 2, 3}) {
        algst.monomial_order = order;
        EXPECT_EQ(cmp_monomial(4, a, 2, b), 0);
    }
}

TEST(Sorting, StableDescendingAndNormalised)
{
    order_guard g(1);
    termlist L = P("B2 + 3 * B0 + 1 + B1^2 * B2");
    sort_terms(&L);
    EXPECT_EQ(text(L), "3 * B0 + B1^2 * B2 + B2 + 1");
    // A second term with the monomial B0 (written with a trailing zero)
    // stays behind the first one.
    termlist N = P("B1 + 7 * B0");
    sp_resize(&N.t, 3, "test");
    N.t[2] = make_term(2, std::vector<int>{1, 0}.data(), 4);
    N.n = 3;
    sort_terms(&N);
    EXPECT_EQ(text(N), "7 * B0 + 4 * B0 + B1");
    N.t[0].coef = 4;
    N.t[1].coef = 7;
    sort_terms(&N);
    EXPECT_EQ(text(N), "4 * B0 + 7 * B0 + B1");

    eq_array E = EQ({"0", "2 * B2 - 4", "0", "B1 * B2 + 3 * B0", "-B1 + B2^3"});
    sort_eq_array(&E);
    EXPECT_EQ(capture_stream([&](FILE *f) { print_eq_array(E, f); }),
              "  0   B0 + 0.333333 * B1 * B2\n  1   B1 - B2^3\n  2   B2 - 2\n  3   0\n  4   0\n");
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(E.eq[i].t[0].coef, 1.0L);
}

TEST(Sorting, ZeroLeadingCoefficientIsCleanedNotDividedBy)
{
    termlist q = termlist_lincomb(1, P("B0 + 2 * B1"), -1, P("B0"));
    ASSERT_EQ(q.t[0].coef, 0.0L);
    sort_terms(&q);
    normalise_lead(&q);
    EXPECT_EQ(text(q), "B1");
    for (int i = 0; i < q.n; i++)
        EXPECT_TRUE(std::isfinite(static_cast<double>(q.t[i].coef)));
    termlist z = termlist_lincomb(1, P("B0"), -1, P("B0"));
    normalise_lead(&z);
    EXPECT_EQ(z.n, 0);
}

TEST(Monomials, DivisionLcmAndCoprimality)
{
    termlist t = P("6 * B0^2 * B2"), u = P("2 * B0 * B2"), v = P("B1");
    poly_term q;
    EXPECT_EQ(term_divide(t.t[0], u.t[0], &q), 1);
    EXPECT_EQ(capture_stream([&](FILE *f) { print_term(q.n, q.exp.data(), q.coef, 0, f); }),
              "3 * B0");
    EXPECT_EQ(term_divide(u.t[0], t.t[0], &q), 0);
    EXPECT_EQ(monomial_divides(t.t[0], u.t[0]), 1);
    EXPECT_EQ(monomial_divides(t.t[0], v.t[0]), 0);
    const int a[] = {2, 0, 1}, b[] = {0, 3};
    subterm l = lcm_subterm(3, a, 2, b);
    EXPECT_EQ(l.exp, (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(subterm_degree(l), 6);
    EXPECT_EQ(monomials_share_variable(3, a, 2, b), 0);
    EXPECT_EQ(monomials_share_variable(3, a, 3, l.exp.data()), 1);
    EXPECT_EQ(monomials_share_variable2(3, a, 2, b), 0);
    EXPECT_EQ(subterm_divides(0, nullptr, 2, std::vector<int>{0, 0}.data()), 1);

    termlist L = P("B0^3 * B1 + 2 * B2^5 - 1");
    EXPECT_EQ(max_total_degree(L), 5);
    EXPECT_EQ(count_terms_of_degree(L, 4), 1);
    EXPECT_EQ(max_exponent(L), 5);
    EXPECT_EQ(is_single_variable(3, std::vector<int>{0, 1, 0}.data()), 1);
    EXPECT_EQ(is_single_variable(2, std::vector<int>{0, 2}.data()), 0);
    EXPECT_EQ(is_single_variable(2, std::vector<int>{1, 1}.data()), 0);
    eq_array E = EQ({"B0^2 + B1", "B1^3 - B0 * B1 + 1", "B2"});
    EXPECT_EQ(max_total_degree_eqs(E), 3);
    EXPECT_EQ(bezout_number(E), 6);
    EXPECT_EQ(max_terms(E), 3);
}

TEST(EquationArrays, UniqueMinimiseAndRemove)
{
    order_guard g(1);
    eq_array E = EQ({"B0 - 2"});
    EXPECT_EQ(add_unique_equation(&E, P("2 * B0 - 4")), 0);
    EXPECT_EQ(E.n, 1);
    EXPECT_EQ(add_unique_equation(&E, P("2 * B1 - 4")), 1);
    EXPECT_EQ(text(E.eq[1]), "B1 - 2");
    EXPECT_EQ(eq_array_has_proportional(E, P("-B1 + 2")), 1);
    EXPECT_EQ(eq_array_has_proportional(E, P("2 - B1")), 0);  // other term order

    eq_array M = EQ({"B0 * B1", "B0", "B0"});
    minimise_basis(&M);
    ASSERT_EQ(M.n, 1);
    EXPECT_EQ(text(M.eq[0]), "B0");
    eq_array Z = EQ({"0", "B0^2 - 1", "0", "B1"});
    minimise_basis(&Z);
    EXPECT_EQ(Z.n, 2);

    remove_equation(&Z, 5);  // out of range: nothing
    remove_equation(&Z, 0);
    ASSERT_EQ(Z.n, 1);
    EXPECT_EQ(text(Z.eq[0]), "B1");
    remove_equation(&Z, 0);
    EXPECT_EQ(Z.n, 0);
}

TEST(SPoly, LeadingTermsCancelExactly)
{
    order_guard g(1);
    // Coprime leading monomials: still u f - v g.
    termlist f = P("0.5 * B1 + 3"), h = P("2 * B0 - B2");
    termlist s = s_poly(&f, &h);
    // lcm B0 B1: B0 (B1 + 6) - B1 (B0 - 0.5 B2) = 6 B0 + 0.5 B1 B2
    EXPECT_EQ(text(s), "6 * B0 + 0.5 * B1 * B2");
    termlist a = P("B0^2 * B1 + B2"), b = P("3 * B0 * B1^2 - B1");
    s = s_poly(&a, &b);
    // lcm B0^2 B1^2: B1 (B0^2 B1 + B2) - B0 / 3 (3 B0 B1^2 - B1)
    EXPECT_EQ(text(s), "0.333333 * B0 * B1 + B1 * B2");
    EXPECT_EXIT({ termlist e; s_poly(&e, &a); }, testing::ExitedWithCode(1), "S-poly: empty polynomial");
    // A leading coefficient that cancelled to 0 is no divisor.
    termlist c = termlist_lincomb(1, P("B0^2 + B1"), -1, P("B0^2"));
    s = s_poly(&c, &b);
    for (int i = 0; i < s.n; i++)
        EXPECT_TRUE(std::isfinite(static_cast<double>(s.t[i].coef)));
}

TEST(Reduction, RemaindersAndQuotients)
{
    order_guard g(1);
    eq_array B = EQ({"B0"});
    EXPECT_EQ(reduce_poly(B, P("B0 * B1")).n, 0);

    eq_array E = EQ({"B0 - B2", "B1^2 - 2 * B2", "B2^3 - 1"});
    termlist f = P("B0^2 * B1^3 + 3 * B0 * B1 - B2^4 + 7");
    sort_terms(&f);
    eq_array quot;
    termlist r = reduce_with_quotients(E, f, &quot);
    termlist r2 = reduce_poly(E, f);
    EXPECT_EQ(text(r), text(r2));
    // The remainder holds no monomial that a leading monomial divides.
    for (int i = 0; i < r.n; i++)
        for (int k = 0; k < E.n; k++)
            EXPECT_FALSE(monomial_divides(r.t[i], E.eq[k].t[0])) << text(r);
    // f = sum q_k E_k + r at any point.
    ASSERT_EQ(quot.n, 3);
    std::vector<long double> x = {0.7L, -1.2L, 0.4L};
    long double sum = eval(r, x);
    for (int k = 0; k < 3; k++)
        sum += eval(quot.eq[k], x) * eval(E.eq[k], x);
    EXPECT_NEAR(static_cast<double>(sum), static_cast<double>(eval(f, x)), 1e-13);
    // Worked by hand: B0 -> B2, B1^2 -> 2 B2, B2^3 -> 1:
    // B2^2 B1 (2 B2) + 3 B2 B1 - B2 + 7 = 2 B1 + 3 B1 B2 - B2 + 7.
    EXPECT_EQ(text(r), "3 * B1 * B2 + 2 * B1 - B2 + 7");
}

TEST(Reduction, ReductionEndsOnCoefficientsThatAreNotFinite)
{
    order_guard g(1);
    eq_array E = EQ({"B0 - 1"});
    termlist f = P("B0^2 + B1");
    f.t[0].coef = std::numeric_limits<long double>::quiet_NaN();
    termlist r = reduce_poly(E, f);  // must return
    EXPECT_LE(r.n, 2);
    f.t[0].coef = std::numeric_limits<long double>::infinity();
    r = reduce_poly(E, f);
    EXPECT_LE(r.n, 2);
}

TEST(InterReduction, TailsReducedAndEmptiedEquationsRemoved)
{
    order_guard g(1);
    // Only tails are reduced, by later equations; two equations with one
    // leading monomial both stay (minimise_basis removes one of them).
    eq_array E = EQ({"B0 + B1^2 + B2", "2 * B1^2 - 2", "B1^2 - 1", "B2 - 3"});
    reduce_basis(&E);
    ASSERT_EQ(E.n, 4);
    EXPECT_EQ(text(E.eq[0]), "B0 + 4");
    EXPECT_EQ(text(E.eq[1]), "B1^2 - 1");
    EXPECT_EQ(text(E.eq[3]), "B2 - 3");
    // Leading terms are reduced too by interreduce_all: an equation that
    // reduces to 0 disappears and the sweep goes on over the shorter array.

    eq_array F = EQ({"B0 * B1 - 1", "B0 - B1", "B1^2 - 1"});
    interreduce_all(&F);
    ASSERT_EQ(F.n, 2);
    EXPECT_EQ(text(F.eq[0]), "B0 - B1");
    EXPECT_EQ(text(F.eq[1]), "B1^2 - 1");
}

TEST(Heuristics, SpolyReductionAndTopDegree)
{
    order_guard g(1);
    eq_array E = EQ({"B0^2 - B1", "B0 - 2"});
    reduce_by_spolys(&E);
    // B0^2 - B1 becomes the remainder of its S-polynomial with B0 - 2:
    // 2 B0 - B1 reduced by B0 - 2 is 4 - B1.
    ASSERT_EQ(E.n, 2);
    EXPECT_EQ(text(E.eq[0]), " - B1 + 4");
    EXPECT_EQ(text(E.eq[1]), "B0 - 2");

    eq_array T = EQ({"B0^2 + B1^2 + B0", "B0^2 + B1^2 - B1"});
    lower_top_degree(&T);
    // The difference B0 + B1 replaces one of the two; the other keeps its
    // degree-2 terms, and the ideal is the same.
    ASSERT_EQ(T.n, 2);
    int deg1 = 0;
    for (int i = 0; i < 2; i++)
        if (max_total_degree(T.eq[i]) == 1)
            deg1++;
    EXPECT_EQ(deg1, 1);
    std::vector<long double> x = {-0.5L, 0.5L};  // a common root: 0.25 + 0.25 - 0.5 = 0
    for (int i = 0; i < 2; i++)
        EXPECT_NEAR(static_cast<double>(eval(T.eq[i], x)), 0.0, 1e-15);
}

}  // namespace
