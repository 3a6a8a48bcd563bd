// Groebner bases in floating point, checked against rounding.
#include "algebra/checked_groebner.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "algebra/buchberger.h"
#include "algebra/groebner.h"
#include "algebra/modular_groebner.h"
#include "algebra/order.h"
#include "algebra/rational.h"

namespace {

// Factors of the rescaled run: none a power of two, so that every
// product rounds differently from the first run.
long double var_scale(int k)
{
    return 0.83L + 0.29L * k;
}

long double eq_scale(int i)
{
    return 1.37L - 0.11L * (i % 7);
}

// The system with Bk replaced by var_scale(k)^dir Bk and, for dir 1,
// equation i multiplied by eq_scale(i).
eq_array rescaled(const eq_array &E, int dir)
{
    eq_array R = E;
    for (int i = 0; i < R.n; i++) {
        termlist &f = R.eq[i];
        for (int j = 0; j < f.n; j++) {
            poly_term &t = f.t[j];
            long double c = t.coef * (dir > 0 ? eq_scale(i) : 1);
            for (int k = 0; k < t.n; k++)
                c *= std::pow(var_scale(k), static_cast<long double>(dir * t.exp[k]));
            t.coef = c;
            t.size = 0;
        }
    }
    return R;
}

bool finite_basis(const eq_array &G)
{
    for (int i = 0; i < G.n; i++)
        for (int j = 0; j < G.eq[i].n; j++)
            if (!std::isfinite(static_cast<double>(G.eq[i].t[j].coef)))
                return false;
    return true;
}

bool is_unit_ideal(const eq_array &G)
{
    if (G.n != 1 || G.eq[0].n != 1)
        return false;
    const poly_term &t = G.eq[0].t[0];
    for (int k = 0; k < t.n; k++)
        if (t.exp[k] != 0)
            return false;
    return true;
}

// Two bases, each sorted and monic, agree when they have the same
// monomials in the same places and coefficients within tol of each other.
bool same_basis(const eq_array &A, const eq_array &B, double tol)
{
    if (A.n != B.n)
        return false;
    for (int i = 0; i < A.n; i++) {
        const termlist &f = A.eq[i], &g = B.eq[i];
        if (f.n != g.n)
            return false;
        for (int j = 0; j < f.n; j++) {
            if (!monomial_equal(f.t[j], g.t[j]))
                return false;
            double a = static_cast<double>(f.t[j].coef), b = static_cast<double>(g.t[j].coef);
            if (!(std::fabs(a - b) <= tol * std::fmax(std::fabs(a), std::fabs(b))))
                return false;
        }
    }
    return true;
}

}  // namespace

long standard_monomial_count(const eq_array &G, int nv, long limit)
{
    if (nv <= 0)
        return is_unit_ideal(G) ? 0 : 1;
    // A bound on every variable from the pure powers among the leading
    // monomials; without one for some variable the count is infinite.
    std::vector<int> bound(nv, -1);
    for (int i = 0; i < G.n; i++) {
        if (G.eq[i].n == 0)
            continue;
        const poly_term &t = G.eq[i].t[0];
        int var = -1, vars = 0;
        for (int k = 0; k < t.n; k++)
            if (t.exp[k] > 0) {
                var = k;
                vars++;
            }
        if (vars == 0)
            return 0;  // a constant: no solution
        if (vars == 1 && var < nv && (bound[var] < 0 || t.exp[var] < bound[var]))
            bound[var] = t.exp[var];
    }
    double cells = 1;
    for (int k = 0; k < nv; k++) {
        if (bound[k] < 0)
            return -1;
        cells *= bound[k];
    }
    if (cells > static_cast<double>(limit))
        return -2;
    std::vector<int> e(nv, 0);
    long count = 0;
    for (;;) {
        bool divisible = false;
        for (int i = 0; i < G.n && !divisible; i++)
            if (G.eq[i].n > 0)
                divisible = subterm_divides(nv, e.data(), G.eq[i].t[0].n, G.eq[i].t[0].exp.data());
        if (!divisible)
            count++;
        int k = 0;
        while (k < nv && ++e[k] == bound[k])
            e[k++] = 0;
        if (k == nv)
            break;
    }
    return count;
}

namespace {

// One checked computation with the zero tests at the precision in force.
int checked_attempt(eq_array *E, std::string *why)
{
    char text[160];
    const int nv = count_variables(*E);
    // Past the work bound no run gives a basis: the caller reports that.
    auto stopped = [&]() {
        if (!algst.work_exceeded)
            return false;
        *why = "the work bound was passed";
        return true;
    };
    eq_array G = *E;
    groebner_basis(&G);
    if (stopped())
        return 0;
    if (!finite_basis(G)) {
        *why = "coefficients overflowed";
        return 0;
    }

    // The same ideal in rescaled variables: its basis, scaled back, is the
    // same basis up to rounding.
    eq_array H = rescaled(*E, 1);
    groebner_basis(&H);
    if (stopped())
        return 0;
    H = rescaled(H, -1);
    sort_eq_array(&H);
    if (!same_basis(G, H, 1e-7)) {
        *why = "it changes when the variables are rescaled";
        return 0;
    }

    // As many solutions as the basis modulo a prime gives (exact, under
    // grevlex; the number does not depend on the order).
    const long limit = 10000000;
    auto count = [](long c) { return c == -1 ? std::string("infinitely many") : std::to_string(c); };
    const long a = standard_monomial_count(G, nv, limit);
    int saved_order = algst.monomial_order;
    algst.monomial_order = 2;
    const long b = modular_solution_count(*E, nv, limit);
    algst.monomial_order = saved_order;
    if (stopped())
        return 0;
    if (a != -2 && b >= -1 && a != b) {
        snprintf(text, sizeof text, "it gives %s solutions where the exact count modulo a prime is %s",
                 count(a).c_str(), count(b).c_str());
        *why = text;
        return 0;
    }

    if (is_unit_ideal(G)) {
        // No solution at all: only the exact computation can say so. It
        // runs under grevlex, the cheaper order; whether the ideal is the
        // whole ring does not depend on the order.
        eq_array_q Q = eq_array_q_exact(*E);
        bool saved = algst.exact_too_large;
        algst.exact_too_large = false;
        algst.monomial_order = 2;
        groebner_basis_q(&Q);
        bool too_large = algst.exact_too_large;
        algst.exact_too_large = saved;
        algst.monomial_order = saved_order;
        if (stopped())
            return 0;
        bool unit = !too_large && Q.n == 1 && Q.eq[0].n == 1;
        for (int k = 0; unit && k < Q.eq[0].t[0].n; k++)
            unit = Q.eq[0].t[0].exp[k] == 0;
        if (!unit) {
            *why = too_large ? "the basis {1} (no solution) could not be confirmed exactly"
                             : "the basis {1} (no solution) is not the exact one";
            return 0;
        }
    }
    *E = std::move(G);
    return 1;
}

}  // namespace

int checked_groebner_basis(eq_array *E, std::string *why)
{
    // Where rounding beats the zero tests at the precision of the data,
    // tests assuming the finer or the coarser precision may still hold up.
    const long double saved = algst.precision;
    const long double precisions[] = {saved, 0x1p-64L, 0x1p-44L};
    std::string first;
    for (long double p : precisions) {
        algst.precision = p;
        int ok = checked_attempt(E, why);
        algst.precision = saved;
        if (ok)
            return 1;
        if (first.empty())
            first = *why;
        if (algst.work_exceeded)
            break;
    }
    if (!algst.work_exceeded)
        *why = first;
    return 0;
}
