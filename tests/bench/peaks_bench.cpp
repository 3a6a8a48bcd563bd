// Speed of one L-infinity peak search (`linf_peaks`, the tops of every F_i)
// on filters of order 8: a Butterworth lowpass (0), a Chebyshev bandpass
// with Q = 10 after the optimal realisation (1), and one with Q = 1000 (2).
// The searches call it at every cost evaluation. The frequency responses at
// the grid and walk frequencies and at the refinement points are kept for
// the analysis data: LinfPeaksOrder8 measures a call that finds them kept
// (a search comes back with every candidate), LinfPeaksOrder8Fresh the first
// call after the analysis data was prepared (not timed).
#include <benchmark/benchmark.h>

#include <cstdio>

#include "../dynrange/dr_helpers.h"
#include "dynrange/peaks.h"
#include "filter/approx.h"
#include "filter/current.h"
#include "filter/ss.h"
#include "filter/transform.h"
#include "interp/act_transform.h"
#include "numeric/vector.h"

namespace {

// Filter c of the list above as the current filter.
void install_case(int c)
{
    if (c == 0) {
        install_filter(butterworth(8));
        return;
    }
    ss lp = chebyshev(4, 0.5);
    ss bp = bandpass_ss(lp, 1.0, c == 1 ? 0.1 : 0.001);
    free_ss(&lp);
    install_filter(bp);
    if (c == 1)
        act_tr_do();
}

void BM_LinfPeaksOrder8(benchmark::State &state)
{
    drt::program run;  // a fresh run with default settings
    install_case((int)state.range(0));
    for (auto _ : state) {
        vector t = linf_peaks(fst.ana);
        benchmark::DoNotOptimize(t.data);
        freevector(&t);
    }
    if (ist.exit_status != 0)
        state.SkipWithError("an error was reported");
}

void BM_LinfPeaksOrder8Fresh(benchmark::State &state)
{
    drt::program run;
    install_case((int)state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        analysis_prep(fst.ana, fst.cur_filter);
        state.ResumeTiming();
        vector t = linf_peaks(fst.ana);
        benchmark::DoNotOptimize(t.data);
        freevector(&t);
    }
    if (ist.exit_status != 0)
        state.SkipWithError("an error was reported");
}

}  // namespace

BENCHMARK(BM_LinfPeaksOrder8)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LinfPeaksOrder8Fresh)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
