// Exact rational polynomials: conversion, printing, the operations and
// exact Groebner bases.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "algebra/rational.h"
#include "tests/algebra/helpers.h"

namespace {

std::string qtext(mpq_srcptr q)
{
    char *s = mpq_get_str(nullptr, 10, q);
    std::string r = s;
    void (*freefunc)(void *, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freefunc);
    freefunc(s, strlen(s) + 1);
    return r;
}

std::string qtext(const termlist_q &f)
{
    return capture_stream([&](FILE *fp) { print_termlist_q(f, fp); });
}

std::string qtext(const eq_array_q &E)
{
    return capture_stream([&](FILE *fp) { print_eq_array_q(E, fp); });
}

// A rational polynomial from text with exactly representable coefficients.
termlist_q Q(const char *text)
{
    return termlist_q_from_termlist(P(text), 1e-9);
}

eq_array_q EQQ(std::initializer_list<const char *> texts)
{
    return eq_array_q_from_eq_array(EQ(texts), 0.001);
}

TEST(DoubleToRational, NearbyFractionsWithTheSmallestDenominator)
{
    // 22/7 is the first fraction within 0.1% of 3.14159 (SymPy:
    // Rational(3.14159).limit_denominator(7)).
    struct {
        double x;
        const char *want;
    } cases[] = {
        {0.3333, "1/3"}, {-2.5, "-5/2"}, {0.0, "0"}, {3.14159, "22/7"}, {7.0, "7"}, {-0.125, "-1/8"},
    };
    for (auto c : cases) {
        mpq_owner q;
        ASSERT_EQ(double_to_rational(q.get(), c.x, 0.001), 1);
        EXPECT_EQ(qtext(q.get()), c.want) << c.x;
    }
    // A huge value keeps its exact integer value (no integer overflow).
    mpq_owner big;
    double_to_rational(big.get(), -1e300, 0.001);
    EXPECT_EQ(mpq_get_d(big.get()), -1e300);
    // The smallest denominator within 0.1% of 1e-12 is far past 32 bits.
    mpq_owner tiny;
    ASSERT_EQ(double_to_rational(tiny.get(), 1e-12, 0.001), 1);
    EXPECT_EQ(qtext(tiny.get()), "1/999000999001");
}

TEST(DoubleToRational, TheExactRoadsKeepEveryPrintedDigit)
{
    // The simplest fraction within 1e-12 relative of each double. Made with
    // Python's fractions: the smallest D for which
    // Fraction(x).limit_denominator(D) lies within 1e-12 |x| of Fraction(x)
    // (found by bisection on D), and that fraction.
    struct {
        double x;
        const char *want;
    } cases[] = {
        {0.1, "1/10"},
        {1.0005, "2001/2000"},
        {1e-12, "1/1000000000000"},
        {3.141592653589793, "1146408/364913"},
        {-2.718281828459045, "-1084483/398959"},
        {0.3333, "3333/10000"},
        {2.0 / 3, "2/3"},
        {123456.789, "123456789/1000"},
        {-1.0 / 7, "-1/7"},
        {6.02214076e23, "602214075999999987023872"},
    };
    for (auto c : cases) {
        mpq_owner q;
        ASSERT_EQ(double_to_rational(q.get(), c.x, rational_tolerance), 1);
        EXPECT_EQ(qtext(q.get()), c.want) << c.x;
    }
}

TEST(DoubleToRational, RefusesWhatItCannotConvert)
{
    mpq_owner q;
    mpq_set_ui(q.get(), 7, 3);
    for (double eps : {0.0, 1.0, -0.5, std::nan("")})
        EXPECT_EQ(double_to_rational(q.get(), 0.5, eps), 0);
    for (double x : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
        std::string err = capture_stderr([&] { EXPECT_EQ(double_to_rational(q.get(), x, 0.001), 0); });
        EXPECT_NE(err.find("double_to_rational: the value is not a finite number"), std::string::npos);
    }
    EXPECT_EQ(qtext(q.get()), "7/3");  // nothing stored
    ist.exit_status = 0;
}

TEST(PrintingQ, CoefficientsSignsAndFactors)
{
    term_q a = new_term_q(1);
    a.exp[0] = 2;
    mpq_set_si(a.coef.get(), -1, 1);
    EXPECT_EQ(capture_stream([&](FILE *f) { print_term_q(a, f, 0); }), " - B0^2");
    term_q c = new_term_q(0);
    mpq_set_ui(c.coef.get(), 3, 2);
    EXPECT_EQ(capture_stream([&](FILE *f) { print_term_q(c, f, 2); }), " + 3/2");
    term_q b = new_term_q(3);
    b.exp = {1, 0, 3};
    mpq_set_si(b.coef.get(), -4, 6);
    mpq_canonicalize(b.coef.get());
    EXPECT_EQ(capture_stream([&](FILE *f) { print_term_q(b, f, 1); }), " - 2/3 * B0 * B2^3");
    EXPECT_EQ(capture_stream([&](FILE *f) { print_monomial_q(b, f); }), "-2/3 * B0 * B2^3");
    term_q one = new_term_q(0);
    mpq_set_ui(one.coef.get(), 1, 1);
    EXPECT_EQ(capture_stream([&](FILE *f) { print_term_q(one, f, 0); }), "1");
    EXPECT_EQ(capture_stream([&](FILE *f) { print_monomial_q(one, f); }), "1");
    EXPECT_EQ(qtext(termlist_q()), "0");
    EXPECT_EQ(qtext(EQQ({"B0 - 0.5", "0"})), "  0   B0 - 1/2\n  1   0\n");
}

TEST(OperationsQ, ArithmeticIsExact)
{
    termlist_q f = Q("B0 + 0.5 * B1"), g = Q("B1 - 3");
    mpq_owner a, b;
    mpq_set_ui(a.get(), 1, 3);
    mpq_set_si(b.get(), -2, 1);
    // The terms of g scaled come first, then the terms of f it lacks.
    // 1/3 (B0 + B1 / 2) - 2 (B1 - 3)
    EXPECT_EQ(qtext(lincomb_q(a.get(), f, b.get(), g)), " - 11/6 * B1 + 6 + 1/3 * B0");
    mpq_set_ui(b.get(), 0, 1);
    EXPECT_EQ(qtext(lincomb_q(a.get(), f, b.get(), g)), "1/3 * B0 + 1/6 * B1");
    termlist_q m = mul_termlist_q(Q("B0 + 1"), Q("B0 - 1"));
    cleanup_q(&m);
    EXPECT_EQ(qtext(m), "B0^2 - 1");
    termlist_q s = scaled_copy_q(Q("3 * B0 - 1"), a.get());
    EXPECT_EQ(qtext(s), "B0 - 1/3");

    termlist_q e = Q("0.5 * B0^2 * B1 - 2");
    term_q d = new_term_q(1), q;
    d.exp[0] = 1;
    mpq_set_ui(d.coef.get(), 4, 1);
    EXPECT_EQ(divide_term_q(e.t[0], d, &q), 1);
    EXPECT_EQ(capture_stream([&](FILE *fp) { print_term_q(q, fp, 0); }), "1/8 * B0 * B1");
    EXPECT_EQ(divide_term_q(e.t[1], d, &q), 0);
    term_q zero = new_term_q(1);  // coefficient 0: no division by zero
    EXPECT_EQ(divide_term_q(e.t[0], zero, &q), 0);

    termlist_q empty;
    make_monic_q(&empty);
    EXPECT_EQ(empty.n, 0);
    termlist_q mon = Q("4 * B1 - 2 * B0");
    make_monic_q(&mon);
    EXPECT_EQ(qtext(mon), "B1 - 1/2 * B0");
}

TEST(OperationsQ, ProportionalityAndUniqueEquations)
{
    EXPECT_EQ(proportional_q(Q("B0 + 0.25"), Q("4 * B0 + 1")), 1);
    EXPECT_EQ(proportional_q(Q("B0 + 0.25"), Q("4 * B0 + 1.5")), 0);
    EXPECT_EQ(proportional_q(Q("B0 + 1"), Q("B0")), 0);
    EXPECT_EQ(proportional_q(termlist_q(), termlist_q()), 1);
    eq_array_q E;
    EXPECT_EQ(append_equation_q(&E, Q("2 * B0 - 2")), 1);
    EXPECT_EQ(append_equation_q(&E, Q("-3 * B0 + 3")), 0);
    ASSERT_EQ(E.n, 1);
    EXPECT_EQ(qtext(E.eq[0]), "B0 - 1");
}

TEST(GroebnerQ, ReductionAndInterReduction)
{
    order_guard g(1);
    eq_array_q E = EQQ({"B0 - 0.5"});
    EXPECT_EQ(qtext(reduce_poly_q(E, Q("B0^2 + B1"))), "B1 + 1/4");
    termlist_q e;
    EXPECT_EXIT(qs_poly(&e, &E.eq[0]), testing::ExitedWithCode(1), "QS-poly: empty polynomial");
    // The S-polynomial of B0 B1 - 1 and B0^2 - 2: B0 (B0 B1 - 1) - B1 (B0^2 - 2).
    termlist_q f = Q("B0 * B1 - 1"), h = Q("B0^2 - 2");
    EXPECT_EQ(qtext(qs_poly(&f, &h)), " - B0 + 2 * B1");

    eq_array_q P2 = EQQ({"B0 - 1", "2 * B0 - 2"});
    prereduce_q(&P2);
    ASSERT_EQ(P2.n, 1);
    EXPECT_EQ(qtext(P2.eq[0]), "B0 - 1");

    eq_array_q R = EQQ({"B0 * B1", "B0", "B1 + 1", "0"});
    remove_redundant_q(&R);
    EXPECT_EQ(qtext(R), "  0   B0\n  1   B1 + 1\n");

    eq_array_q T = EQQ({"B0 + B1^2 + B2", "B1^2 - 1", "B2 - 3"});
    reduce_basis_q(&T);
    EXPECT_EQ(qtext(T), "  0   B0 + 4\n  1   B1^2 - 1\n  2   B2 - 3\n");
}

TEST(GroebnerQ, ProportionalInputKeepsTheFirst)
{
    order_guard g(1);
    eq_array_q E = EQQ({"B1 - 2", "2 * B1 - 4"});
    std::string out = traced(1, [&] { buchberger_q(&E); });
    ASSERT_EQ(E.n, 1);
    EXPECT_EQ(qtext(E.eq[0]), "B1 - 2");
    // The rational twin counts its S-polynomials from verbosity 1 on.
    EXPECT_EQ(out, "s-poly evaluations: 0\n");
}

// Expected bases: SymPy 1.14, groebner(F, B0, B1, ..., order='lex') over
// QQ, made monic.
TEST(GroebnerQ, ExactBasesOverTheRationals)
{
    order_guard g(1);
    struct {
        std::initializer_list<const char *> system;
        const char *basis;
    } cases[] = {
        {{"B0 + B1 + B2", "B0 * B1 + B1 * B2 + B2 * B0", "B0 * B1 * B2 - 1"},
         "  0   B0 + B1 + B2\n  1   B1^2 + B1 * B2 + B2^2\n  2   B2^3 - 1\n"},
        {{"B0^2 + B1", "B0 * B1"}, "  0   B0^2 + B1\n  1   B0 * B1\n  2   B1^2\n"},
        {{"B0 * B1 - 1", "B0^2 - B1", "B1^2 - 2"}, "  0   1\n"},
        {{"B0^2 - 2", "0", "B0 * B1 - 1"}, "  0   B0 - 2 * B1\n  1   B1^2 - 1/2\n"},
        {{"B0 + B1 + B2 - 1", "B0 - B1 + 2 * B2", "B0 * B2 - 1"},
         "  0   B0 + 3/2 * B2 - 1/2\n  1   B1 - 1/2 * B2 - 1/2\n  2   B2^2 - 1/3 * B2 + 2/3\n"},
        {{"B0 + 2 * B1 + 2 * B2 + 2 * B3 - 1", "B0^2 + 2 * B1^2 + 2 * B2^2 + 2 * B3^2 - B0",
          "2 * B0 * B1 + 2 * B1 * B2 + 2 * B2 * B3 - B1", "B1^2 + 2 * B0 * B2 + 2 * B1 * B3 - B2"},
         "  0   B0 - 53230079232/1971025 * B3^7 + 10415423232/1971025 * B3^6 + 9146536848/1971025 * B3^5"
         " - 2158574456/1971025 * B3^4 - 838935856/5913075 * B3^3 + 275119624/5913075 * B3^2"
         " + 4884038/5913075 * B3 - 1\n"
         "  1   B1 - 97197721632/1971025 * B3^7 + 73975630752/1971025 * B3^6 - 12121915032/1971025 * B3^5"
         " - 2760941496/1971025 * B3^4 + 814792828/1971025 * B3^3 - 1678512/1971025 * B3^2"
         " - 9158924/1971025 * B3\n"
         "  2   B2 + 123812761248/1971025 * B3^7 - 79183342368/1971025 * B3^6 + 7548646608/1971025 * B3^5"
         " + 3840228724/1971025 * B3^4 - 2024910556/5913075 * B3^3 - 132524276/5913075 * B3^2"
         " + 30947828/5913075 * B3\n"
         "  3   B3^8 - 8/11 * B3^7 + 4/33 * B3^6 + 131/5346 * B3^5 - 70/8019 * B3^4 + 1/3564 * B3^3"
         " + 5/42768 * B3^2 - 1/128304 * B3\n"},
    };
    for (auto &c : cases) {
        eq_array_q E = EQQ(c.system);
        groebner_basis_q(&E);
        EXPECT_EQ(qtext(E), c.basis);
    }
}

TEST(ConversionsQ, BackToExtendedPrecision)
{
    eq_array_q E = EQQ({"B0 - 0.3333", "2.5 * B1^2 + 0.125"});
    EXPECT_EQ(qtext(E), "  0   B0 - 1/3\n  1   5/2 * B1^2 + 1/8\n");
    eq_array L = eq_array_to_ld(E);
    ASSERT_EQ(L.n, 2);
    EXPECT_EQ(static_cast<double>(L.eq[0].t[1].coef), -1.0 / 3.0);
    EXPECT_EQ(text(L.eq[1]), "2.5 * B1^2 + 0.125");
    term_q t = term_q_from_double(2, std::vector<int>{0, 1}.data(), -0.75L, 0.001);
    EXPECT_EQ(capture_stream([&](FILE *f) { print_term_q(t, f, 0); }), " - 3/4 * B1");
}

}  // namespace
