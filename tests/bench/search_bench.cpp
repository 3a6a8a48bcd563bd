// Speed of the dynamic-range searches as the items of `transform:` run
// them: do2 on an 8th-order Chebyshev filter, do4 (3 steps) on a 3rd-order
// Butterworth filter, optladder and optladder2(5) on a 5th-order Cauer filter.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "filter/approx.h"
#include "filter/current.h"
#include "filter/ss.h"
#include "interp/act_search.h"
#include "base/expr.h"
#include "base/globals.h"
#include "base/vars.h"

namespace {

struct session {
    session()
    {
        ist.vars = new_varlist();
        seed_default_vars();
        ist.out_fp = fopen("/dev/null", "w");
        filter_start();
    }
    ~session()
    {
        free_filter();
        analysis_free(fst.ana);
        fclose(ist.out_fp);
        ist.out_fp = stdout;
        free_varlist_all(ist.vars);
        ist.vars = nullptr;
    }
};

template <class Make, class Run>
void run_item(benchmark::State &state, Make make, Run run)
{
    session s;
    ss proto = make();
    for (auto _ : state) {
        install_filter(copy_ss(proto));
        run();
        benchmark::DoNotOptimize(fst.cur_filter.A.data);
    }
    if (ist.exit_status != 0)
        state.SkipWithError("an error was reported");
    free_ss(&proto);
}

void BM_Do2Chebyshev8(benchmark::State &state)
{
    run_item(state, [] { return chebyshev(8, 1.0); }, [] { act_tr_do2(0.1); });
}

void BM_Do4Steps3Butterworth3(benchmark::State &state)
{
    run_item(state, [] { return butterworth(3); }, [] { act_tr_do4(3); });
}

void BM_OptladderCauer5(benchmark::State &state)
{
    run_item(state, [] { return cauer(5, 0.5, 40); }, [] {
        act_optladder_start();
        act_tr_optladder();
    });
}

void BM_Optladder2Cauer5(benchmark::State &state)
{
    run_item(state, [] { return cauer(5, 0.5, 40); }, [] { act_tr_optladder2(5); });
}

}  // namespace

BENCHMARK(BM_Do2Chebyshev8)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Do4Steps3Butterworth3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptladderCauer5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Optladder2Cauer5)->Unit(benchmark::kMillisecond);
