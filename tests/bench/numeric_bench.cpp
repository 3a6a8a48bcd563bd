// Speed of the LAPACK wrappers on the sizes the searches use.
#include <benchmark/benchmark.h>

#include <cmath>

#include "numeric/numeric.h"

namespace {

// A stable, non-symmetric 20 x 20 matrix with complex eigenvalues.
matrix test_matrix()
{
    const int n = 20;
    matrix a = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            a.data[j * n + i] = (i == j) ? -1.0 - 0.1 * i : 0.3 * std::sin(1.0 + i * 7 + j * 3);
    return a;
}

void BM_minv_kronsum_400(benchmark::State &state)
{
    matrix a = test_matrix();
    matrix ks = kronsum(a, a);  // 400 x 400, as in the Lyapunov solvers
    for (auto _ : state) {
        matrix inv = minv(ks);
        benchmark::DoNotOptimize(inv.data);
        freem(&inv);
    }
}
BENCHMARK(BM_minv_kronsum_400)->Unit(benchmark::kMillisecond);

void BM_evc_20(benchmark::State &state)
{
    matrix a = test_matrix();
    for (auto _ : state) {
        matrix w = evc(a);
        benchmark::DoNotOptimize(w.data);
        freem(&w);
    }
}
BENCHMARK(BM_evc_20)->Unit(benchmark::kMicrosecond);

}  // namespace
