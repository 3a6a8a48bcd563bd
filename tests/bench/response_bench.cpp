// Cost per point of the response tables at orders 7 and 20: the frequency
// evaluators behind magn/phase/delay of H and the F and G columns, the time
// evaluators behind impulse and step of H, F and G, and the two table writers
// (printing included) on the elliptic filter and on a filter with a sevenfold
// pole, whose time responses take the matrix-exponential route.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "filter/approx.h"
#include "filter/columns.h"
#include "filter/current.h"
#include "filter/plotfile.h"
#include "filter/ss.h"
#include "filter/sweep.h"
#include "filter/timeresp.h"
#include "filter/transfer.h"
#include "base/globals.h"
#include "base/expr.h"
#include "base/vars.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/matrix.h"

namespace {

// Elliptic lowpass, 0.5 dB ripple up to 1 rad/s, stopband from 1.5 rad/s
// (order 7), or from 1.1 rad/s (order 20).
void use_elliptic(int n)
{
    if (!ist.vars) {
        ist.vars = new_varlist();
        seed_default_vars();
    }
    ist.out_fp = stdout;
    install_filter(cauer(n, 0.5, n <= 7 ? 1.5 : 1.1));
}

// 1 / (s + 1)^7 in companion form: its eigenvector matrix is singular.
void use_repeated_pole()
{
    const int n = 7;
    const double binom[8] = {1, 7, 21, 35, 35, 21, 7, 1};  // (s + 1)^7
    ss s = new_ss(n);
    for (int i = 0; i + 1 < n; i++)
        s.A.data[(i + 1) * n + i] = 1.0;
    for (int j = 0; j < n; j++)
        s.A.data[j * n + n - 1] = -binom[j];
    s.B.data[n - 1] = 1.0;
    s.C.data[0] = 1.0;
    install_filter(s);
}

const int sweep_points = 1000;

double freq_point(int k) { return 3.0 * (k % sweep_points) / sweep_points; }
double time_point(int k) { return 50.0 * (k % sweep_points) / sweep_points; }

// magn(H) phase(H) delay(H) at one frequency.
void BM_FreqH(benchmark::State &state)
{
    use_elliptic((int)state.range(0));
    reset_phase();
    int k = 0;
    for (auto _ : state) {
        double w = freq_point(k++);
        complex h = h_jw(fst.ana, w);
        benchmark::DoNotOptimize(cmod(h));
        benchmark::DoNotOptimize(unwrap_phase(h));
        benchmark::DoNotOptimize(delay_h(fst.ana, w));
    }
}

// magn, phase and delay of every F_i and G_i at one frequency.
void BM_FreqFG(benchmark::State &state)
{
    use_elliptic((int)state.range(0));
    int k = 0;
    for (auto _ : state) {
        double w = freq_point(k++);
        cmatrix F = f_jw(fst.ana, w), G = g_jw(fst.ana, w);
        matrix dF = delay_f(fst.ana, w, F), dG = delay_g(fst.ana, w, G);
        benchmark::DoNotOptimize(cmod(F.data[0]) + cmod(G.data[0]));
        benchmark::DoNotOptimize(dF.data[0] + dG.data[0]);
        cfreem(&F);
        cfreem(&G);
        freem(&dF);
        freem(&dG);
    }
}

// impulse(H) step(H) at one time.
void BM_TimeH(benchmark::State &state)
{
    use_elliptic((int)state.range(0));
    int k = 0;
    for (auto _ : state) {
        double t = time_point(k++);
        benchmark::DoNotOptimize(h_t(fst.ana, t));
        benchmark::DoNotOptimize(hs_t(fst.ana, t));
    }
}

// impulse and step of every F_i and G_i at one time.
void BM_TimeFG(benchmark::State &state)
{
    use_elliptic((int)state.range(0));
    int k = 0;
    for (auto _ : state) {
        double t = time_point(k++);
        matrix r[4] = {f_t(fst.ana, t), fs_t(fst.ana, t), g_t(fst.ana, t), gs_t(fst.ana, t)};
        for (matrix &m : r) {
            benchmark::DoNotOptimize(m.data[0]);
            freem(&m);
        }
    }
}

// A whole table written to /dev/null; the time is per row.
template <bool freq>
void table_rows(benchmark::State &state, int h_bits, int fg_bits)
{
    FILE *fp = fopen("/dev/null", "w");
    clear_sweeps();
    init_plot_settings();
    if (freq) {
        set_freq_sweep(0.0, 3.0, sweep_points, 0);
        pst.h_cols = h_bits;
        pst.f_cols = pst.g_cols = fg_bits;
    } else {
        set_time_sweep(0.0, 50.0, sweep_points);
        pst.h_time = h_bits;
        pst.f_time = pst.g_time = fg_bits;
    }
    for (auto _ : state) {
        if (freq)
            write_freq_table(fp, fst);
        else
            write_time_table(fp, fst);
    }
    state.SetItemsProcessed(state.iterations() * (sweep_points + 1));
    clear_plot_columns();
    fclose(fp);
}

void BM_FreqTableH(benchmark::State &state)
{
    use_elliptic((int)state.range(0));
    table_rows<true>(state, COL_MAGN | COL_PHASE | COL_DELAY, 0);
}

void BM_TimeTableH(benchmark::State &state)
{
    use_elliptic((int)state.range(0));
    table_rows<false>(state, COL_IMPULSE | COL_STEP, 0);
}

void BM_TimeTableFG(benchmark::State &state)
{
    use_elliptic((int)state.range(0));
    table_rows<false>(state, 0, COL_IMPULSE | COL_STEP);
}

// The matrix-exponential route: impulse(H) step(H) of the repeated pole.
void BM_TimeTableRepeatedPole(benchmark::State &state)
{
    use_repeated_pole();
    table_rows<false>(state, COL_IMPULSE | COL_STEP, 0);
}

}  // namespace

BENCHMARK(BM_FreqH)->Arg(7)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FreqFG)->Arg(7)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TimeH)->Arg(7)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TimeFG)->Arg(7)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FreqTableH)->Arg(7)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimeTableH)->Arg(7)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimeTableFG)->Arg(7)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimeTableRepeatedPole)->Unit(benchmark::kMillisecond);
