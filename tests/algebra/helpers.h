// Small helpers of the algebra tests: polynomials from text, their printed
// text, and their value at a point.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "algebra/order.h"
#include "base/globals.h"
#include "algebra/spoly.h"
#include "tests/algebra/poly_text.h"
#include "tests/base/capture.h"

// Selects a monomial order for one test and restores the one in force.
struct order_guard {
    int saved;
    explicit order_guard(int order) : saved(algst.monomial_order) { algst.monomial_order = order; }
    ~order_guard() { algst.monomial_order = saved; }
};

// What fn prints on the report stream at the given verbosity.
inline std::string traced(int verbosity, const std::function<void()> &fn)
{
    return capture_stream([&](FILE *f) {
        FILE *saved_fp = ist.out_fp;
        int saved_v = ist.verbosity;
        ist.out_fp = f;
        ist.verbosity = verbosity;
        fn();
        ist.out_fp = saved_fp;
        ist.verbosity = saved_v;
    });
}

inline termlist P(const char *text)
{
    termlist L;
    std::string err;
    if (!poly_text::parse_termlist(text, &L, &err))
        ADD_FAILURE() << "cannot read test polynomial '" << text << "': " << err;
    return L;
}

inline eq_array EQ(std::initializer_list<const char *> texts)
{
    eq_array E = new_eq_array(static_cast<int>(texts.size()));
    int i = 0;
    for (const char *s : texts)
        E.eq[i++] = P(s);
    return E;
}

inline std::string text(const termlist &L)
{
    return capture_stream([&](FILE *f) { print_termlist(L, f); });
}

inline long double eval(const termlist &L, const std::vector<long double> &x)
{
    long double s = 0;
    for (int i = 0; i < L.n; i++) {
        long double v = L.t[i].coef;
        for (int k = 0; k < L.t[i].n; k++)
            v *= std::pow(k < static_cast<int>(x.size()) ? x[k] : 0.0L, L.t[i].exp[k]);
        s += v;
    }
    return s;
}

// Checks that G holds exactly the expected polynomials (read from text),
// each up to a scale factor and to rel relative in every coefficient,
// matched by their leading monomials under the order in force.
inline void expect_basis(const eq_array &G, std::initializer_list<const char *> expected,
                         double rel = 1e-9)
{
    ASSERT_EQ(G.n, static_cast<int>(expected.size())) << "basis size";
    std::vector<bool> used(G.n, false);
    for (const char *s : expected) {
        termlist e = P(s);
        sort_terms(&e);
        int match = -1;
        for (int g = 0; g < G.n; g++)
            if (!used[g] && G.eq[g].n > 0 && monomial_equal(G.eq[g].t[0], e.t[0]))
                match = g;
        ASSERT_GE(match, 0) << "no element with the leading monomial of " << s;
        used[match] = true;
        const termlist &g = G.eq[match];
        ASSERT_EQ(g.n, e.n) << "terms of " << s << " against " << text(g);
        long double r = g.t[0].coef / e.t[0].coef;
        for (int i = 0; i < e.n; i++) {
            int j = 0;
            while (j < g.n && !monomial_equal(g.t[j], e.t[i]))
                j++;
            ASSERT_LT(j, g.n) << "monomial missing in " << text(g) << " (expected " << s << ")";
            long double want = r * e.t[i].coef;
            EXPECT_LE(std::fabs(static_cast<double>((g.t[j].coef - want) / want)), rel)
                << text(g) << " against " << s;
        }
    }
}
