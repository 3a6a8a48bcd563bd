#include "algebra/polysys.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "algebra/m3.h"
#include "base/error.h"
#include "base/globals.h"
#include "homotopy/solve.h"
#include "numeric/matrix.h"

namespace {

int term_degree(const poly_term &t)
{
    long long d = 0;
    for (int v = 0; v < t.n; v++)
        d += t.exp[v];
    return d > INT_MAX ? INT_MAX : static_cast<int>(d);
}

}  // namespace

void polysys(const eq_array &E)
{
    FILE *out = ist.out_fp ? ist.out_fp : stdout;
    const int n = E.n;
    fputs("equations:\n", out);
    print_eq_array(E, out);

    // Every variable must be one of the n unknowns; the degrees and their
    // product are formed in 64 bits.
    long long total = 1;
    int max_terms = 0;
    for (int j = 0; j < n; j++) {
        const termlist &L = E.eq[j];
        int d = 0;
        for (int k = 0; k < L.n; k++) {
            const poly_term &t = L.t[k];
            for (int v = n; v < t.n; v++)
                if (t.exp[v] != 0) {
                    error("polysys: variable B%d in equation %d, but the system has only the %d unknowns B0 .. B%d",
                          v, j, n, n - 1);
                    return;
                }
            d = std::max(d, term_degree(t));
        }
        max_terms = std::max(max_terms, L.n);
        total *= d;
        if (total > INT_MAX) {
            char text[64];
            snprintf(text, sizeof text, "%lld", total);
            error("polysys: total degree %s is more paths than an int counts", text);
            return;
        }
    }
    const long long root_len = 2LL * (n + 1) * total;
    const long long real_len = hom_real_work_length(n, max_terms);
    const long long int_len = hom_int_work_length(n, max_terms);
    if (root_len > INT_MAX || real_len > INT_MAX || int_len > INT_MAX ||
        static_cast<long long>(n) * (n + 1) * max_terms > INT_MAX) {
        error("polysys: the work arrays of a system of %d equations with up to %d terms do not fit an int", n,
              max_terms);
        return;
    }
    const int T = static_cast<int>(total);
    fprintf(out, "\ntotal degree = %d\n", T);

    // The packed system: term counts, coefficients n x maxT and exponents
    // n x (n+1) x maxT (the last variable slot is the solver's).
    std::vector<int> term_count(n);
    matrix coef = newm(n, max_terms);
    im3 e = newim3(n, n + 1, max_terms);
    for (int j = 0; j < n; j++) {
        const termlist &L = E.eq[j];
        term_count[j] = L.n;
        for (int k = 0; k < L.n; k++) {
            const poly_term &t = L.t[k];
            coef.data[k * n + j] = static_cast<double>(t.coef);
            for (int v = 0; v < t.n && v < n; v++)
                e.data[im3index(e, j, v, k)] = t.exp[v];
        }
    }

    int mode = 0;
    const double track_tol = 1e-3, end_tol = 1e-7;
    const double step_param[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int max_restarts = 10;
    const int ld = n, rlen = static_cast<int>(real_len), ilen = static_cast<int>(int_len);
    std::vector<int> path_flag(T, -2), eval_count(T);
    std::vector<double> lambda(T), arc_length(T), real_work(rlen);
    std::vector<int> int_work(ilen);
    m3 roots = newm3(2, n + 1, T);
    hom_solve(n, term_count.data(), coef.data, e.data.data(), mode, path_flag.data(), track_tol, end_tol,
              step_param, max_restarts, ld, max_terms, T, rlen, ilen, lambda.data(), roots.data.data(),
              arc_length.data(), eval_count.data(), real_work.data(), int_work.data());
    if (mode != 0) {
        fputs("Error in polysys.\n", out);
        error("polysys: the homotopy solver refused the system (code %d)", mode);
    }
    fputs("\n", out);
    for (int p = 0; p < T; p++) {
        if (path_flag[p] != 1)
            continue;
        fprintf(out, "solution %d: ", p);
        for (int v = 0; v < n; v++) {
            const double re = m3_element(roots, 0, v, p), im = m3_element(roots, 1, v, p);
            if (std::fabs(im) < end_tol)
                fprintf(out, "%g, ", re);
            else
                fprintf(out, "(%g,%g) ", re, im);
        }
        fputs("\n", out);
    }
    freem(&coef);
    free_im3(&e);
    free_m3(&roots);
}
