// Small helpers of the algebra tests: polynomials from text, their printed
// text, and their value at a point.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "algebra/spoly.h"
#include "tests/algebra/poly_text.h"
#include "tests/base/capture.h"

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
