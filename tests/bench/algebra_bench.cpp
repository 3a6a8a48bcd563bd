// Speed of Groebner bases on the systems the ladder synthesis meets.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "algebra/buchberger.h"
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
