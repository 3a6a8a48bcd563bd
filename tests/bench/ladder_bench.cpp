// Speed of one ladder synthesis at the orders of the three roads: closed
// form (3), elimination (5) and the numeric solver (8). The searches over
// the weights call it at every grid point.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "base/expr.h"
#include "base/globals.h"
#include "base/vars.h"
#include "filter/ss.h"
#include "ladder/ladder.h"
#include "numeric/poly.h"

namespace {

// Ascending coefficients of the Butterworth denominator of order n.
std::vector<double> butterworth(int n)
{
    std::vector<double> r{1.0};
    auto times = [&r](const std::vector<double> &f) {
        std::vector<double> t(r.size() + f.size() - 1, 0.0);
        for (std::size_t i = 0; i < r.size(); i++)
            for (std::size_t j = 0; j < f.size(); j++)
                t[i + j] += r[i] * f[j];
        r = t;
    };
    for (int k = 1; k <= n / 2; k++)
        times({1.0, 2.0 * std::sin((2 * k - 1) * M_PI / (2 * n)), 1.0});
    if (n % 2)
        times({1.0, 1.0});
    return r;
}

void run(benchmark::State &state, const poly &D)
{
    if (!ist.vars) {
        ist.vars = new_varlist();
        seed_default_vars();
    }
    poly N = newpoly(0);
    N.coef[0] = 1.0;
    const double w = 0.5;
    for (auto _ : state) {
        ladder_result r = ladder(N, D, 1, &w, 0.5, 0, nullptr);
        if (r.nsol < 1)
            state.SkipWithError("no ladder solution");
        for (ss &s : r.systems)
            free_ss(&s);
        benchmark::DoNotOptimize(r.nsol);
    }
}

void BM_ladder_butterworth3(benchmark::State &state)
{
    const std::vector<double> d = butterworth(3);
    run(state, polycopy(d.data(), 3));
}
BENCHMARK(BM_ladder_butterworth3)->Unit(benchmark::kMicrosecond);

void BM_ladder_butterworth5(benchmark::State &state)
{
    const std::vector<double> d = butterworth(5);
    run(state, polycopy(d.data(), 5));
}
BENCHMARK(BM_ladder_butterworth5)->Unit(benchmark::kMicrosecond);

// The numeric road converges for the Bessel target of order 8 with weight 0.5.
void BM_ladder_bessel8(benchmark::State &state)
{
    run(state, BesselPoly(8));
}
BENCHMARK(BM_ladder_bessel8)->Unit(benchmark::kMicrosecond);

}  // namespace
