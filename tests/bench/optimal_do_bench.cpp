// Speed of `transform: do;` on the program's Butterworth ladders of order
// 20 to 200, Gramians solved inside the item (the filter is installed anew
// for every run). The counters give the dynamic range after it (L2, ctot =
// 1e-10, umax = 1, from fresh solves of the result's Lyapunov equations)
// and the largest |H - 1/sqrt(1 + w^2n)| over frequencies near the corner.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

#include "base/expr.h"
#include "base/globals.h"
#include "base/vars.h"
#include "filter/approx.h"
#include "filter/current.h"
#include "filter/ss.h"
#include "interp/act_transform.h"
#include "numeric/lyapunov.h"
#include "numeric/matrix.h"

namespace {

double at(const matrix &M, int i, int j) { return M.data[j * M.rows + i]; }

// 10 log10(u^2 / noise) as `output: dr;` gives it with equal capacitors.
double dr_db(const ss &s)
{
    const int n = s.n;
    matrix K = lyap_solve(s.A, mmul(s.B, transpose(s.B)), true);
    matrix W = lyap_solve(s.A, mmul(transpose(s.C), s.C), false);
    if (K.cols != n || W.cols != n)
        return NAN;
    double ckc = 0.0, kmax = 0.0, S = 0.0;
    for (int i = 0; i < n; i++) {
        kmax = std::max(kmax, at(K, i, i));
        double g = std::fabs(s.B.data[i]);
        for (int j = 0; j < n; j++) {
            ckc += s.C.data[i] * at(K, i, j) * s.C.data[j];
            g += std::fabs(at(s.A, i, j));
        }
        S += g * at(W, i, i) / (1e-10 / n);
    }
    return 10.0 * std::log10((ckc / kmax) / (2.0 * 1.3804e-23 * 300.0 * S));
}

// |C (jwI - A)^-1 B + D| by Gaussian elimination with partial pivoting.
double mag(const ss &s, double w)
{
    const int n = s.n;
    std::vector<std::complex<double>> M(static_cast<size_t>(n) * n), b(n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            M[j * n + i] = std::complex<double>(-at(s.A, i, j), i == j ? w : 0.0);
    for (int i = 0; i < n; i++)
        b[i] = s.B.data[i];
    for (int k = 0; k < n; k++) {
        int p = k;
        for (int i = k + 1; i < n; i++)
            if (std::abs(M[k * n + i]) > std::abs(M[k * n + p]))
                p = i;
        for (int j = 0; j < n; j++)
            std::swap(M[j * n + k], M[j * n + p]);
        std::swap(b[k], b[p]);
        for (int i = k + 1; i < n; i++) {
            std::complex<double> l = M[k * n + i] / M[k * n + k];
            for (int j = k; j < n; j++)
                M[j * n + i] -= l * M[j * n + k];
            b[i] -= l * b[k];
        }
    }
    std::complex<double> h = s.D;
    for (int k = n - 1; k >= 0; k--) {
        for (int j = k + 1; j < n; j++)
            b[k] -= M[j * n + k] * b[j];
        b[k] /= M[k * n + k];
        h += s.C.data[k] * b[k];
    }
    return std::abs(h);
}

void BM_Do(benchmark::State &state)
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
        benchmark::DoNotOptimize(fst.cur_filter.A.data);
    }
    if (ist.exit_status != 0)
        state.SkipWithError("an error was reported");
    double err = 0.0;
    for (double w : {0.0, 0.5, 0.9, 0.99, 1.0, 1.01, 1.1, 2.0})
        err = std::max(err, std::fabs(mag(fst.cur_filter, w) - 1.0 / std::sqrt(1.0 + std::pow(w, 2.0 * n))));
    state.counters["dr_dB"] = dr_db(fst.cur_filter);
    state.counters["H_err"] = err;
    free_ss(&proto);
    free_filter();
    analysis_free(fst.ana);
    fclose(ist.out_fp);
    ist.out_fp = stdout;
}

}  // namespace

BENCHMARK(BM_Do)->Arg(20)->Arg(30)->Arg(36)->Arg(48)->Arg(60)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);
