// Reads a polynomial in B0, B1, ... written in the notation that
// print_termlist uses, for example "2 * B0 * B1^2 - B2 + 0.5". Shared by the
// algebra tests and algebra_probe.
#pragma once

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "algebra/spoly.h"

namespace poly_text {

struct reader {
    const char *p;
    std::string err;
    // The largest index k of a variable Bk that the caller takes: a larger
    // one is refused where it is read, before any term is built for it.
    int max_index = 1000000;

    void skip()
    {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
            p++;
    }
    bool fail(const std::string &what)
    {
        if (err.empty())
            err = what;
        return false;
    }
    bool read_int(int *v)
    {
        skip();
        if (!isdigit(static_cast<unsigned char>(*p)))
            return fail("expected a number");
        char *end;
        long x = strtol(p, &end, 10);
        if (x > 1000000)
            return fail("exponent or index too large");
        *v = static_cast<int>(x);
        p = end;
        return true;
    }
    // One factor: a number or Bk[^e]; multiplies into coef and exp.
    bool factor(long double *coef, std::vector<int> *exp)
    {
        skip();
        if (*p == 'B') {
            p++;
            int k, e = 1;
            if (!read_int(&k))
                return false;
            if (k > max_index)
                return fail("variable B" + std::to_string(k) + " is beyond B" + std::to_string(max_index));
            skip();
            if (*p == '^') {
                p++;
                if (!read_int(&e))
                    return false;
            }
            if (static_cast<std::size_t>(k) >= exp->size())
                exp->resize(k + 1, 0);
            // Repeated factors add up; the sum keeps the same bound, so no
            // exponent can overflow an int.
            if (e > 1000000 - (*exp)[k])
                return fail("exponent or index too large");
            (*exp)[k] += e;
            return true;
        }
        if (isdigit(static_cast<unsigned char>(*p)) || *p == '.') {
            char *end;
            long double v = strtold(p, &end);
            if (end == p)
                return fail("expected a number");
            if (!std::isfinite(static_cast<double>(v)))
                return fail("coefficient is not finite");
            p = end;
            *coef *= v;
            // The product of finite factors may leave the range of a double
            // (1e308 * 1e308), which the coefficients must fit.
            if (!std::isfinite(static_cast<double>(*coef)))
                return fail("coefficient is not finite");
            return true;
        }
        return fail(*p ? std::string("unexpected '") + *p + "'" : "unexpected end of line");
    }
    bool term(long double sign, termlist *L)
    {
        long double coef = sign;
        std::vector<int> exp;
        if (!factor(&coef, &exp))
            return false;
        skip();
        while (*p == '*') {
            p++;
            if (!factor(&coef, &exp))
                return false;
            skip();
        }
        while (!exp.empty() && exp.back() == 0)
            exp.pop_back();
        termlist_add_term(L, 1, static_cast<int>(exp.size()), exp.data(), coef);
        return true;
    }
};

// Reads text into *out (a zero polynomial "0" gives the empty list);
// returns false with a reason in *err when the text is not a polynomial.
inline bool parse_termlist(const char *text, termlist *out, std::string *err = nullptr,
                           int max_index = 1000000)
{
    reader r{text, {}, max_index};
    termlist L;
    r.skip();
    long double sign = 1;
    if (*r.p == '-' || *r.p == '+') {
        sign = *r.p == '-' ? -1 : 1;
        r.p++;
    }
    bool ok = r.term(sign, &L);
    while (ok) {
        r.skip();
        if (!*r.p)
            break;
        if (*r.p != '+' && *r.p != '-') {
            ok = r.fail(std::string("unexpected '") + *r.p + "'");
            break;
        }
        sign = *r.p == '-' ? -1 : 1;
        r.p++;
        ok = r.term(sign, &L);
    }
    if (!ok) {
        if (err)
            *err = r.err;
        return false;
    }
    // Terms that sum to zero (the polynomial "0") leave nothing.
    int kept = 0;
    for (int i = 0; i < L.n; i++)
        if (L.t[i].coef != 0)
            L.t[kept++] = L.t[i];
    L.n = kept;
    L.t.resize(kept);
    *out = std::move(L);
    return true;
}

}  // namespace poly_text
