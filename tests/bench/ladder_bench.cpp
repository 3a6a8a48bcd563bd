// Speed of one ladder synthesis at the orders of the three roads: closed
// form (3), elimination (5) and the numeric solver (8), as a candidate of
// the searches over the weights (which call it at every grid point); and
// the search for every real ladder of the ladder item at order 8 (the
// homotopy solve of all 144 paths, tracked again under other homotopies).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "base/expr.h"
#include "base/globals.h"
#include "base/vars.h"
#include "filter/approx.h"
#include "filter/current.h"
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

void run(benchmark::State &state, const poly &D, ladder_depth depth = ladder_depth::candidate)
{
    if (!ist.vars) {
        ist.vars = new_varlist();
        seed_default_vars();
    }
    poly N = newpoly(0);
    N.coef[0] = 1.0;
    const double w = 0.5;
    for (auto _ : state) {
        ladder_result r = ladder(N, D, 1, &w, 0.5, 0, nullptr, depth);
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

// The ladder item at order 8: targets of five approximations with weights
// whose ladder equations have 33 to 79 finite solutions, and two with the
// default weight 0.5: cauer(8, 0.1, 1.5) with 16 solutions, none real, and
// butterworth(8), whose equations have a curve of solutions.
void every8(benchmark::State &state, ss (*make)(), std::vector<double> w)
{
    if (!ist.vars) {
        ist.vars = new_varlist();
        seed_default_vars();
    }
    ss s = make();
    analysis_prep(fst.ana, s);
    poly N = polycopy(fst.ana.ana_num.coef, fst.ana.ana_num.degree), D = polycopy(fst.ana.ana_den.coef, fst.ana.ana_den.degree);
    for (auto _ : state) {
        ladder_result r = ladder(N, D, static_cast<int>(w.size()), w.data(), 0.5, 0, nullptr, ladder_depth::every);
        if (r.status != 0)
            state.SkipWithError("the search for every ladder failed");
        for (ss &x : r.systems)
            free_ss(&x);
        benchmark::DoNotOptimize(r.nsol);
    }
    freepoly(&N);
    freepoly(&D);
    free_ss(&s);
}

ss butterworth8() { return ::butterworth(8); }
ss bessel8() { return bessel(8); }
ss chebyshev8() { return chebyshev(8, 1.0); }
ss ic8() { return ic_approx(8, 40.0); }
ss cauer8() { return cauer(8, 0.1, 1.5); }

BENCHMARK_CAPTURE(every8, butterworth8_w03_02, butterworth8, std::vector<double>{0.3, 0.2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(every8, bessel8_w04_01_03, bessel8, std::vector<double>{0.4, 0.1, 0.3})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(every8, chebyshev8_1dB_w07_01_01_005, chebyshev8, std::vector<double>{0.7, 0.1, 0.1, 0.05})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(every8, ic8_40dB_w03_02, ic8, std::vector<double>{0.3, 0.2})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(every8, cauer8_w04_01_03, cauer8, std::vector<double>{0.4, 0.1, 0.3})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(every8, cauer8_w05, cauer8, std::vector<double>{0.5})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(every8, butterworth8_w05, butterworth8, std::vector<double>{0.5})->Unit(benchmark::kMillisecond);

}  // namespace
