// A polynomial system packed for hom_solve, with work arrays of exactly the
// minimum lengths, and the results of one solve.
#pragma once

#include <algorithm>
#include <complex>
#include <vector>

#include "homotopy/solve.h"

struct term_spec {
    double coef;
    std::vector<int> exps;  // one exponent per variable
};

struct solve_run {
    int mode = 0;
    int n = 0, ld = 0, max_terms = 0, total_degree = 0;
    int real_len = 0, int_len = 0, max_restarts = 10;
    double track_tol = 1e-4, end_tol = 1e-12;
    std::vector<int> term_count, e, path_flag, eval_count, int_work;
    std::vector<double> coef, lambda, roots, arc_length, real_work, step_param = std::vector<double>(8, 0.0);

    // Packs the equations with leading dimension ld (0: n) and capacity for
    // the given number of paths (0: the product of the degrees).
    solve_run(const std::vector<std::vector<term_spec>> &eqs, int mode_ = 0, int ld_ = 0, int paths = 0)
    {
        mode = mode_;
        n = static_cast<int>(eqs.size());
        ld = ld_ > 0 ? ld_ : n;
        for (const auto &eq : eqs)
            max_terms = std::max<int>(max_terms, static_cast<int>(eq.size()));
        coef.assign(static_cast<size_t>(ld) * max_terms, 0.0);
        e.assign(static_cast<size_t>(ld) * (ld + 1) * max_terms, 0);
        long long T = 1;
        for (int j = 0; j < n; j++) {
            term_count.push_back(static_cast<int>(eqs[j].size()));
            int d = 0;
            for (int k = 0; k < static_cast<int>(eqs[j].size()); k++) {
                coef[k * ld + j] = eqs[j][k].coef;
                int sum = 0;
                for (int i = 0; i < n; i++) {
                    e[j + i * ld + k * ld * (ld + 1)] = eqs[j][k].exps[i];
                    sum += eqs[j][k].exps[i];
                }
                d = std::max(d, sum);
            }
            T *= d;
        }
        total_degree = paths > 0 ? paths : static_cast<int>(T);
        path_flag.assign(total_degree, -2);
        lambda.assign(total_degree, -9.0);
        roots.assign(2 * static_cast<size_t>(ld + 1) * total_degree, -9.0);
        arc_length.assign(total_degree, -9.0);
        eval_count.assign(total_degree, -9);
        real_len = static_cast<int>(hom_real_work_length(n, max_terms));
        int_len = static_cast<int>(hom_int_work_length(n, max_terms));
        real_work.assign(real_len, 0.0);
        int_work.assign(int_len, 0);
    }

    void solve()
    {
        hom_solve(n, term_count.data(), coef.data(), e.data(), mode, path_flag.data(), track_tol, end_tol,
                  step_param.data(), max_restarts, ld, max_terms, total_degree, real_len, int_len, lambda.data(),
                  roots.data(), arc_length.data(), eval_count.data(), real_work.data(), int_work.data());
    }

    // Exponent e(j, i, k), 0-based; i = n is the homogenising slot.
    int exponent(int j, int i, int k) const { return e[j + i * ld + k * ld * (ld + 1)]; }

    // Variable i (0-based, i = n is the homogenising coordinate) on path k.
    std::complex<double> root(int k, int i) const
    {
        const double *r = roots.data() + 2 * static_cast<size_t>(ld + 1) * k + 2 * i;
        return {r[0], r[1]};
    }
};
