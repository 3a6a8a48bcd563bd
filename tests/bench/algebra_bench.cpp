// Speed of Groebner bases on the systems the ladder synthesis meets.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "algebra/buchberger.h"
#include "algebra/order.h"
#include "algebra/spoly.h"
#include "ladder/ladder_drivers.h"
#include "ladder/side_drivers.h"
#include "tests/algebra/poly_text.h"

namespace {

eq_array system_of(std::initializer_list<const char *> texts)
{
    eq_array E = new_eq_array(static_cast<int>(texts.size()));
    int i = 0;
    for (const char *s : texts)
        poly_text::parse_termlist(s, &E.eq[i++]);
    return E;
}

void BM_groebner_lex_cyclic3(benchmark::State &state)
{
    eq_array F = system_of({"B0 + B1 + B2", "B0 * B1 + B1 * B2 + B2 * B0", "B0 * B1 * B2 - 1"});
    for (auto _ : state) {
        eq_array E = F;
        groebner_basis(&E);
        benchmark::DoNotOptimize(E.n);
    }
}
BENCHMARK(BM_groebner_lex_cyclic3)->Unit(benchmark::kMicrosecond);

// Katsura-6 (seven variables, 64 solutions): u0 + 2 (u1 + ... + u6) = 1 and
// sum over l of u_|l| u_|m-l| = u_m for m = 0 .. 5. scripts/bench_algebra.sh
// times Singular's std on the same system in the same run.
eq_array katsura(int n)
{
    eq_array E = new_eq_array(n + 1);
    std::vector<int> e(n + 1, 0);
    termlist_add_term(&E.eq[0], 1, 0, nullptr, -1);
    for (int i = 0; i <= n; i++) {
        e.assign(n + 1, 0);
        e[i] = 1;
        termlist_add_term(&E.eq[0], 1, n + 1, e.data(), i == 0 ? 1 : 2);
    }
    for (int m = 0; m < n; m++) {
        termlist &f = E.eq[m + 1];
        for (int l = -n; l <= n; l++) {
            int a = l < 0 ? -l : l, b = m - l < 0 ? l - m : m - l;
            if (a > n || b > n)
                continue;
            e.assign(n + 1, 0);
            e[a]++;
            e[b]++;
            termlist_add_term(&f, 1, n + 1, e.data(), 1);
        }
        e.assign(n + 1, 0);
        e[m] = 1;
        termlist_add_term(&f, 1, n + 1, e.data(), -1);
    }
    return E;
}

void BM_groebner_grevlex_katsura6(benchmark::State &state)
{
    eq_array F = katsura(6);
    int saved = algst.monomial_order;
    algst.monomial_order = 2;
    // The zero tests at 2^-64, where checked_groebner_basis finds that this
    // basis holds up (41 elements, 64 solutions; Singular's std agrees).
    long double saved_precision = algst.precision;
    algst.precision = 0x1p-64L;
    for (auto _ : state) {
        eq_array E = F;
        groebner_basis(&E);
        if (E.n != 41)
            state.SkipWithError("not the basis of katsura-6");
        benchmark::DoNotOptimize(E.n);
    }
    algst.monomial_order = saved;
    algst.precision = saved_precision;
}
BENCHMARK(BM_groebner_grevlex_katsura6)->Unit(benchmark::kMillisecond);

// The equations of the order-5 ladder for the Butterworth denominator, with
// the scaled target and the diagonal that the ladder road makes of the
// weight 0.4 (three real solutions; at 0.5 the system has a continuum).
eq_array ladder5_equations()
{
    const double c = 1 + std::sqrt(5.0);
    const double p[] = {1, c, 2 + c, 2 + c, c, 1};  // (s + 1)(s^2 + 0.618 s + 1)(s^2 + 1.618 s + 1)
    double q[6], a[5];
    const double w = 0.4;
    ladder_preamble(1, &w, p, 5, q, a);
    return ladder_eq_array(a, q, 5);
}

void BM_groebner_lex_ladder5(benchmark::State &state)
{
    eq_array F = ladder5_equations();
    for (auto _ : state) {
        eq_array E = F;
        groebner_basis(&E);
        benchmark::DoNotOptimize(E.n);
    }
}
BENCHMARK(BM_groebner_lex_ladder5)->Unit(benchmark::kMicrosecond);

// The whole elimination of the ladder road: inter-reduction, basis and
// back substitution.
void BM_groebner_solve_ladder5(benchmark::State &state)
{
    eq_array F = ladder5_equations();
    for (auto _ : state) {
        eq_array E = F;
        matrix M = groebner_solve(&E, 5);
        if (M.cols < 1)
            state.SkipWithError("no solution");
        benchmark::DoNotOptimize(M.cols);
    }
}
BENCHMARK(BM_groebner_solve_ladder5)->Unit(benchmark::kMicrosecond);

}  // namespace
