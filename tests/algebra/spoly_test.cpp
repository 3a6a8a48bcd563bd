// Symbolic polynomials: comparison, arithmetic, clean-up and printing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "algebra/spoly.h"
#include "tests/algebra/helpers.h"

namespace {

const long double kEps = 2.220446049250313e-16L;

TEST(Subterm, EqualityCountsMissingEntriesAsZero)
{
    const int a[] = {1, 0, 0}, b[] = {1}, z[] = {0, 0}, c[] = {0, 1};
    EXPECT_EQ(subterm_equal(3, a, 1, b), 1);
    EXPECT_EQ(subterm_equal(0, nullptr, 2, z), 1);
    EXPECT_EQ(subterm_equal(1, b, 2, c), 0);
    EXPECT_EQ(subterm_equal(2, c, 0, nullptr), 0);

    subterm st = new_subterm(1);
    subterm_add_exp(&st, 3, 2);  // grows to B3, new entries 0
    ASSERT_EQ(st.n, 4);
    EXPECT_EQ(st.exp[0], 0);
    EXPECT_EQ(st.exp[3], 2);
    EXPECT_EQ(capture_stream([&](FILE *f) { print_subterm(st.n, st.exp.data(), f); }), "B3^2");
    free_subterm(&st);
    EXPECT_EQ(capture_stream([&](FILE *f) { print_subterm(st.n, st.exp.data(), f); }), "1");
}

TEST(Printing, TermsSignsAndFactors)
{
    struct {
        const char *in, *out;
    } cases[] = {
        {"1 + 2 * B0 * B1^2 - B2", "1 + 2 * B0 * B1^2 - B2"},
        {"B0", "B0"},
        {"-B0", " - B0"},
        {"1", "1"},
        {"-1", " - 1"},
        {"0.5 * B1 - 3", "0.5 * B1 - 3"},
        {"1e-20 * B0^3 + 2.5e+07", "1e-20 * B0^3 + 2.5e+07"},
        {"0", "0"},
    };
    for (auto c : cases)
        EXPECT_EQ(text(P(c.in)), c.out) << c.in;

    // A coefficient within 1e-11 of 1 prints without its magnitude.
    termlist L = const_termlist(1 + 1e-12L);
    termlist_mul_var(&L, 0, 1);
    EXPECT_EQ(text(L), "B0");

    // A list that still has its array but no terms in use prints nothing.
    termlist D = P("1e-30 * B0");
    drop_small_terms(&D, 1);
    EXPECT_EQ(D.n, 0);
    EXPECT_EQ(text(D), "");

    eq_array E = EQ({"B0 - 1", "0"});
    EXPECT_EQ(capture_stream([&](FILE *f) { print_eq_array(E, f); }), "  0   B0 - 1\n  1   0\n");

    const int e[] = {2, 1};
    EXPECT_EQ(capture_stream([&](FILE *f) { print_term_ld(2, e, -0.25L, f); }), "-0.25 * B0^2 * B1");
    EXPECT_EQ(capture_stream([&](FILE *f) { print_term_ld(0, nullptr, 1, f); }), "1");
}

TEST(Lincomb, CancelledMonomialsStayWithZeroCoefficients)
{
    termlist p = P("2 * B0 * B1 - 3 * B2 + 0.25");
    termlist r = termlist_lincomb(1, p, -1, p);
    ASSERT_EQ(r.n, 3);
    for (int i = 0; i < r.n; i++) {
        EXPECT_TRUE(monomial_equal(r.t[i], p.t[i]));
        EXPECT_EQ(r.t[i].coef, 0.0L);
    }
    cleanup_term2(&r);
    EXPECT_EQ(r.n, 0);
    EXPECT_EQ(text(r), "0");
}

TEST(Lincomb, ValuesAgreeWithPointEvaluation)
{
    termlist p = P("2 * B0 * B1 - 3 * B2 + 0.25 + B0^3");
    termlist q = P("B2 - 7 * B0 * B1 + B1^2");
    termlist r = termlist_lincomb(1.5L, p, -0.5L, q);
    EXPECT_EQ(r.n, 5);  // the three monomials of q, then B0^3 and 0.25 of p
    std::vector<long double> x = {0.3L, -1.7L, 2.2L};
    EXPECT_NEAR(static_cast<double>(eval(r, x)),
                static_cast<double>(1.5L * eval(p, x) - 0.5L * eval(q, x)), 1e-15);
}

// A small coefficient is no cancellation: it stays, whatever its scale
// (the lex bases of the Katsura systems hold coefficients below 1e-16).
TEST(Lincomb, TinyTermOfPStays)
{
    termlist p = P("B0");
    p.t[0].coef = kEps / 2;
    termlist q = P("B1 + 1");
    termlist r = termlist_lincomb(1, p, 1, q);
    ASSERT_EQ(r.n, 3);
    EXPECT_EQ(text(r), "B1 + 1 + 1.11022e-16 * B0");
}

// What cancels to the rounding noise of the terms that meet is zero, also
// at a small scale; a small difference of small terms is not.
TEST(Lincomb, CancellationIsRelativeToTheTermsThatMeet)
{
    order_guard o(1);
    for (long double scale : {1.0L, 1e-20L, 1e20L}) {
        termlist p = P("B0 + B1"), q = P("B0 - B1");
        termlist_scale_inplace(&p, scale * 0.1L);
        termlist_scale_inplace(&q, scale * 0.3L);
        // 3 * (0.1 B0) - (0.3 B0) is rounding noise of about 1e-17 scale.
        termlist r = termlist_lincomb_sorted(3, p, -1, q);
        ASSERT_EQ(r.n, 2);
        EXPECT_EQ(r.t[0].coef, 0.0L) << static_cast<double>(scale);
        EXPECT_NEAR(static_cast<double>(r.t[1].coef / scale), 0.6, 1e-15);
        termlist s = termlist_lincomb_sorted(1, p, -1 + 1e-9L, p);
        EXPECT_NEAR(static_cast<double>(s.t[0].coef / scale), 1e-10, 1e-19);
    }
}

TEST(Lincomb, FactorAtTheEpsilonBoundary)
{
    termlist p = P("B0"), q = P("B1");
    // |a| equal to eps still combines both lists.
    termlist r = termlist_lincomb(kEps, p, 2, q);
    EXPECT_EQ(r.n, 2);
    // Just below eps, the result is b Q alone.
    long double below = std::nextafter(static_cast<double>(kEps), 0.0);
    r = termlist_lincomb(below, p, 2, q);
    ASSERT_EQ(r.n, 1);
    EXPECT_EQ(text(r), "2 * B1");
    // Both below: the empty list.
    r = termlist_lincomb(below, p, below, q);
    EXPECT_EQ(r.n, 0);
    EXPECT_EQ(text(r), "0");
}

TEST(Arithmetic, ProductsMergeEqualMonomials)
{
    termlist a = P("B0 + 1"), b = P("B0 - 1");
    termlist m = termlist_mul(a, b);
    // B0^2 - B0 + B0 - 1: the B0 terms merge into one zero coefficient.
    ASSERT_EQ(m.n, 3);
    cleanup_term2(&m);
    EXPECT_EQ(text(m), "B0^2 - 1");

    termlist p = P("3 * B0 * B2 - B1^2 + 0.5 * B3 + 2");
    termlist q = P("B1 - 4 * B0^2 * B3");
    termlist pq = termlist_mul(p, q);
    std::vector<long double> x = {0.7L, -1.3L, 0.4L, 2.1L};
    EXPECT_NEAR(static_cast<double>(eval(pq, x)), static_cast<double>(eval(p, x) * eval(q, x)),
                1e-14);

    poly_term t = make_term(3, std::vector<int>{0, 2, 1}.data(), -2.5L);
    termlist tq = termlist_mul_term(t, q);
    EXPECT_EQ(text(tq), " - 2.5 * B1^3 * B2 + 10 * B0^2 * B1^2 * B2 * B3");
}

TEST(Arithmetic, AddTermAndConstant)
{
    termlist L = P("B0 * B1 + 2");
    const int e01[] = {1, 1, 0};  // equal to B0 * B1 with a trailing zero
    termlist_add_term(&L, 2, 3, e01, 1.5L);
    termlist_add_const(&L, -2);
    EXPECT_EQ(text(L), "4 * B0 * B1 + 0");
    termlist N = P("B2");
    termlist_add_const(&N, 3);
    termlist_add_term(&N, -1, 1, std::vector<int>{2}.data(), 1);
    EXPECT_EQ(text(N), "B2 + 3 - B0^2");
}

TEST(Cleanup, RelativeToLargestCoefficientRaisedToOne)
{
    // All coefficients at most 1: terms of 1e-11 or more stay.
    termlist L = P("1e-11 * B0 + 0.5 * B1 + 9e-12");
    cleanup_term2(&L);
    EXPECT_EQ(text(L), "1e-11 * B0 + 0.5 * B1");
    // Relative to the largest coefficient above 1.
    termlist M = P("1e6 * B0 + 2e-6 * B1 + 1");
    cleanup_term2(&M);
    EXPECT_EQ(text(M), "1e+06 * B0 + 1");
    // A list with nothing to drop keeps its array.
    termlist K = P("B0");
    cleanup_term2(&K);
    EXPECT_EQ(K.n, 1);
}

TEST(Cleanup, DropSmallTermsByDegree)
{
    // scale 100: degree 2 drops below 1e-7, degree 0 below 1e-11.
    termlist L = P("5e-8 * B0 * B1 + 2e-7 * B1^2 + 5e-12 + 2e-11 * B2 + B0");
    drop_small_terms(&L, 100);
    EXPECT_EQ(text(L), "2e-07 * B1^2 + B0");
}

TEST(Proportional, RatiosZerosAndNaN)
{
    EXPECT_EQ(termlist_proportional(P("B0 - 2"), P("2 * B0 - 4")), 1);
    EXPECT_EQ(termlist_proportional(P("B0 - 2"), P("2 * B0 - 4.0001")), 0);
    EXPECT_EQ(termlist_proportional(P("B0 - 2"), P("-2 + B0")), 0);  // other order
    EXPECT_EQ(termlist_proportional(P("B0 - 2"), P("B0")), 0);
    EXPECT_EQ(termlist_proportional(termlist(), new_termlist(0)), 1);

    termlist a = P("B0 + B1"), b = P("B0 + B1");
    a.t[1].coef = 0;
    EXPECT_EQ(termlist_proportional(a, b), 0);  // zero only matches zero
    b.t[1].coef = 0;
    EXPECT_EQ(termlist_proportional(a, b), 1);
    a.t[0].coef = b.t[0].coef = 0;  // no non-zero pair at all
    EXPECT_EQ(termlist_proportional(a, b), 1);

    termlist n = P("B0 + B1");
    n.t[1].coef = std::numeric_limits<long double>::quiet_NaN();
    EXPECT_EQ(termlist_proportional(n, n), 0);
    EXPECT_EQ(termlist_proportional(P("B0 + B1"), n), 0);
}

TEST(Degrees, MaxDegreeTopPowerAndCommonFactors)
{
    termlist L = P("B0^3 * B1 + 2 * B0^3 - B0 * B1^4 + 1e-20 * B1^7");
    EXPECT_EQ(var_max_degree(L, 0), 3);
    EXPECT_EQ(var_max_degree(L, 1), 4);  // the tiny B1^7 term does not count
    EXPECT_EQ(var_max_degree(L, 5), 0);

    termlist top;
    EXPECT_EQ(extract_top_power(L, 0, &top), 3);
    EXPECT_EQ(text(top), "B1 + 2");
    EXPECT_EQ(extract_top_power(L, 2, &top), 0);
    EXPECT_EQ(top.n, 0);

    termlist C = P("B0^2 * B1^3 * B2 + 3 * B0 * B1^2 - B0^4 * B1");
    remove_common_factors(&C);
    EXPECT_EQ(text(C), "B0 * B1^2 * B2 + 3 * B1 - B0^3");
    termlist S = P("B0 * B1 + 2");  // the constant holds no B0: nothing to divide out
    remove_common_factors(&S);
    EXPECT_EQ(text(S), "B0 * B1 + 2");

    eq_array E = EQ({"B0 + 1", "B3^2 - B1", "0"});
    EXPECT_EQ(count_variables(E), 4);
    EXPECT_EQ(count_variables(EQ({"2"})), 0);
}

TEST(Spoly, AddPolyGrowsWithConstants)
{
    spoly S = new_spoly(1);
    S.coef[1] = P("B0");
    const double p[] = {1, 2, 3, 4};
    spoly_add_poly(&S, -2, p, 3);
    ASSERT_EQ(S.order, 3);
    EXPECT_EQ(text(S.coef[0]), " - 2");
    EXPECT_EQ(text(S.coef[1]), "B0 - 4");
    EXPECT_EQ(text(S.coef[2]), " - 6");
    EXPECT_EQ(text(S.coef[3]), " - 8");
}

TEST(Spoly, ProductsAndCombinationsMatchEvaluation)
{
    spoly T = test_spoly();
    EXPECT_EQ(capture_stream([&](FILE *f) { print_spoly(T, f); }),
              "(3 + 4 * B0) * s^2 +\n(5 * B1 * B2^2 + 4 * B0 * B1) * s^1 +\n(3 + 4 * B0) * s^0\n");
    EXPECT_EQ(capture_stream([&](FILE *f) { print_spoly_equations(T, 3, f); }),
              "5 * B1 * B2^2 + 4 * B0 * B1 = 0\n3 + 4 * B0 = 0\n");

    // (1 - 2 s) * T, then T(s) B1 - that, checked at a point in s and B.
    const double p[] = {1, -2};
    spoly R = spoly_mul_poly(p, 1, T);
    ASSERT_EQ(R.order, 3);
    spoly V = spoly_mul_var(T, 1, 1);
    spoly D = spoly_lincomb(1, V, -1, R);
    ASSERT_EQ(D.order, 3);
    std::vector<long double> x = {0.6L, -0.8L, 1.1L};
    long double s = 0.9L, want = 0, got = 0, ts = 0;
    for (int k = 0; k <= T.order; k++)
        ts += eval(T.coef[k], x) * std::pow(s, k);
    want = ts * x[1] - (1 - 2 * s) * ts;
    for (int k = 0; k <= D.order; k++)
        got += eval(D.coef[k], x) * std::pow(s, k);
    EXPECT_NEAR(static_cast<double>(got), static_cast<double>(want), 1e-14);

    spoly_scale_inplace(&D, 2);
    spoly F = spoly_from_poly(p, 1);
    EXPECT_EQ(text(F.coef[1]), " - 2");
    free_spoly(&D);
    EXPECT_EQ(D.order, -1);
    EXPECT_EXIT(new_spoly(-1), testing::ExitedWithCode(1), "new_spoly: order < 0");
}

TEST(Records, CopiesAreDeep)
{
    eq_array E = EQ({"B0 * B1 - 1", "B2"});
    eq_array C = eq_array_copy(E);
    C.eq[0].t[0].exp[0] = 5;
    C.eq[0].t[0].coef = 9;
    free_termlist(&C.eq[1]);
    EXPECT_EQ(text(E.eq[0]), "B0 * B1 - 1");
    EXPECT_EQ(text(E.eq[1]), "B2");
    spoly S = test_spoly();
    spoly T = spoly_copy(S);
    termlist_scale_inplace(&T.coef[0], 0);
    EXPECT_EQ(text(S.coef[0]), "3 + 4 * B0");
    free_eq_array(&E);
    EXPECT_EQ(E.n, 0);
    EXPECT_TRUE(new_termlist(-3).t.empty());
    EXPECT_EQ(new_eq_array(0).n, 0);
}

}  // namespace
