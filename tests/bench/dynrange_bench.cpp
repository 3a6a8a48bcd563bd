// Speed of the optimal realisation followed by L-infinity scaling
// (`transform: do scale;`) on a 10th-order Butterworth lowpass, and of the
// dynamic-range report (`butterworth(n); ctot = 1e-10; umax = 1;
// output: dr;`, under L-infinity and L2 scaling) at orders 100 and 200:
// Gramians solved with their error bounds, the poles of the ladder proved
// stable by a Lyapunov solution, and the peak searches.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <vector>

#include "filter/current.h"
#include "filter/ss.h"
#include "dynrange/dr_report.h"
#include "filter/approx.h"
#include "interp/act_transform.h"
#include "base/expr.h"
#include "base/globals.h"
#include "base/vars.h"

namespace {

// Companion realisation of 1 / B_n(s), B_n the Butterworth polynomial.
ss butterworth(int n)
{
    std::vector<std::complex<double>> c{1.0};
    for (int k = 0; k < n; k++) {
        std::complex<double> p = std::polar(1.0, M_PI * (2.0 * k + n + 1) / (2.0 * n));
        std::vector<std::complex<double>> d(c.size() + 1, 0.0);
        for (size_t i = 0; i < c.size(); i++) {
            d[i + 1] += c[i];
            d[i] -= p * c[i];
        }
        c = d;
    }
    ss s = new_ss(n);
    for (int i = 0; i + 1 < n; i++)
        s.A.data[(i + 1) * n + i] = 1.0;
    for (int j = 0; j < n; j++)
        s.A.data[j * n + n - 1] = -c[j].real();
    s.B.data[n - 1] = 1.0;
    s.C.data[0] = 1.0;
    return s;
}

void BM_DoAndLinfScale(benchmark::State &state)
{
    int n = (int)state.range(0);
    ist.vars = new_varlist();
    seed_default_vars();
    ist.out_fp = fopen("/dev/null", "w");
    filter_start();
    ss proto = butterworth(n);
    for (auto _ : state) {
        install_filter(copy_ss(proto));
        act_tr_do();
        act_tr_scale();
        benchmark::DoNotOptimize(fst.cur_filter.A.data);
    }
    if (ist.exit_status != 0)
        state.SkipWithError("an error was reported");
    free_filter();
    analysis_free(fst.ana);
    fclose(ist.out_fp);
    ist.out_fp = stdout;
    free_varlist_all(ist.vars);
    ist.vars = nullptr;
}

// A fresh filter each time: install, then the whole report, Gramians and
// peaks included. range(1) is the L-infinity switch.
void BM_DrReport(benchmark::State &state)
{
    int n = (int)state.range(0);
    ist.vars = new_varlist();
    seed_default_vars();
    set_var_number("ctot", 1e-10);
    set_var_number("umax", 1);
    ist.linf_flag = (int)state.range(1);
    ist.out_fp = fopen("/dev/null", "w");
    filter_start();
    ss proto = ::butterworth(n);
    for (auto _ : state) {
        install_filter(copy_ss(proto));
        print_dr(ist.out_fp, fst);
        benchmark::DoNotOptimize(fst.cur_W.data);
    }
    if (ist.exit_status != 0)
        state.SkipWithError("an error was reported");
    free_ss(&proto);
    free_filter();
    analysis_free(fst.ana);
    fclose(ist.out_fp);
    ist.out_fp = stdout;
    ist.linf_flag = 1;
    free_varlist_all(ist.vars);
    ist.vars = nullptr;
}

}  // namespace

BENCHMARK(BM_DoAndLinfScale)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrReport)->Args({100, 1})->Args({200, 1})->Args({200, 0})->Unit(benchmark::kMillisecond);
