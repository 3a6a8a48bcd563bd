// Speed of the continuation solver: the 4 paths of {x^2 + y^2 - 5, x y - 2}
// and the 64 paths of three quartics, with the tolerances of the
// polynomial-system driver (tracking 1e-3, end game 1e-7) and with tight
// ones (1e-6, 1e-12).
#include <benchmark/benchmark.h>

#include "../homotopy/degree64_system.h"

namespace {

void run_solver(benchmark::State &state, const std::vector<std::vector<term_spec>> &eqs)
{
    const bool tight = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        solve_run run(eqs);
        run.track_tol = tight ? 1e-6 : 1e-3;
        run.end_tol = tight ? 1e-12 : 1e-7;
        state.ResumeTiming();
        run.solve();
        benchmark::DoNotOptimize(run.roots.data());
    }
}

void BM_hom_solve_4_paths(benchmark::State &state)
{
    run_solver(state, {{{1, {2, 0}}, {1, {0, 2}}, {-5, {0, 0}}}, {{1, {1, 1}}, {-2, {0, 0}}}});
}
BENCHMARK(BM_hom_solve_4_paths)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_hom_solve_64_paths(benchmark::State &state)
{
    run_solver(state, degree64_system());
}
BENCHMARK(BM_hom_solve_64_paths)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
