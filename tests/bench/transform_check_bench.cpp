// Cost of the check of a transform's result and of the cached Gramians after
// it, at the largest order: `transform: do;` on butterworth(200) as a whole
// (balancing, check, install or refusal), the check alone on a dense result
// that passes it, and the comparison of cached K and W with fresh solves.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "filter/approx.h"
#include "filter/current.h"
#include "filter/ss.h"
#include "filter/transform_check.h"
#include "interp/act_transform.h"
#include "base/expr.h"
#include "base/globals.h"
#include "base/vars.h"
#include "numeric/matrix.h"

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

// An orthogonal matrix of order n: the product of n/2 Householder
// reflections of fixed, well-spread vectors.
matrix orthogonal_of(int n)
{
    matrix Q = mid(n, n);
    std::vector<double> v(n), col(n);
    for (int r = 0; r < n / 2; r++) {
        double norm = 0;
        for (int i = 0; i < n; i++) {
            v[i] = std::sin(1.0 + 0.7 * i + 1.3 * r * i);
            norm += v[i] * v[i];
        }
        for (int j = 0; j < n; j++) {
            double d = 0;
            for (int i = 0; i < n; i++)
                d += v[i] * Q.data[j * n + i];
            for (int i = 0; i < n; i++)
                Q.data[j * n + i] -= 2 * d / norm * v[i];
        }
    }
    return Q;
}

void BM_DoWhole(benchmark::State &state)
{
    session s;
    ss proto = butterworth((int)state.range(0));
    for (auto _ : state) {
        install_filter(copy_ss(proto));
        act_tr_do();
        benchmark::DoNotOptimize(fst.cur_filter.A.data);
    }
}

void BM_CheckDenseResult(benchmark::State &state)
{
    session s;
    int n = (int)state.range(0);
    install_filter(butterworth(n));
    matrix Q = orthogonal_of(n);
    ss t = transform_ss2(Q, transpose(Q), fst.cur_filter);
    for (auto _ : state) {
        analysis_prep(fst.ana, fst.cur_filter);
        transfer_reference ref = transfer_reference_of(fst, frequency_map{});
        bool ok = transformed_realises(fst, "bench", ref, t);
        if (!ok)
            state.SkipWithError("the check refused a sound result");
    }
}

void BM_SettleGramians(benchmark::State &state)
{
    session s;
    install_filter(butterworth((int)state.range(0)));
    ensure_k(fst);
    ensure_w(fst);
    for (auto _ : state) {
        settle_gramians(fst);
        benchmark::DoNotOptimize(fst.cur_K.data);
    }
}

}  // namespace

BENCHMARK(BM_DoWhole)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CheckDenseResult)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SettleGramians)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);
