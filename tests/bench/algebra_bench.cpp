// Speed of Groebner bases on the systems the ladder synthesis meets.
#include <benchmark/benchmark.h>

#include "algebra/buchberger.h"
#include "algebra/spoly.h"
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

}  // namespace
