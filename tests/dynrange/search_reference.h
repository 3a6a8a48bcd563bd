// Independent references for the dynamic-range searches, from GSL and
// dense sampling alone: the noise cost of a record after L-infinity
// scaling, the rotation matrices written out from their definition, poles
// and the check that a realisation has the transfer function of another.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "dr_helpers.h"
#include "dynrange/cost.h"

namespace drt {

// Largest |F_i(jw)| per integrator: a log-spaced sweep over eight decades
// around the pole magnitudes (with w = 0), each top then refined by a
// golden-section search between the neighbours of the best sample.
inline dvec true_tops(const ss &s)
{
    int n = s.n;
    gsl_matrix *m = gsl_matrix_alloc(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            gsl_matrix_set(m, i, j, at(s.A, i, j));
    gsl_vector_complex *ev = gsl_vector_complex_alloc(n);
    gsl_eigen_nonsymm_workspace *ws = gsl_eigen_nonsymm_alloc(n);
    gsl_eigen_nonsymm(m, ev, ws);
    double lo = 1e300, hi = 0;
    for (int i = 0; i < n; i++) {
        double r = gsl_complex_abs(gsl_vector_complex_get(ev, i));
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    gsl_eigen_nonsymm_free(ws);
    gsl_vector_complex_free(ev);
    gsl_matrix_free(m);
    lo = lo * 1e-4;
    hi = hi * 1e4;
    const int N = 800;
    std::vector<double> w(N + 1);
    w[0] = 0.0;
    for (int k = 1; k <= N; k++)
        w[k] = lo * std::pow(hi / lo, (double)(k - 1) / (N - 1));
    std::vector<std::vector<cplx>> F(N + 1);
    for (int k = 0; k <= N; k++)
        F[k] = F_of(s, w[k]);
    dvec top(n, 0.0);
    for (int i = 0; i < n; i++) {
        int best = 0;
        for (int k = 0; k <= N; k++)
            if (std::abs(F[k][i]) > std::abs(F[best][i]))
                best = k;
        double a = w[std::max(best - 1, 0)], b = w[std::min(best + 1, N)];
        auto f = [&](double x) { return std::abs(F_of(s, x)[i]); };
        const double g = (std::sqrt(5.0) - 1) / 2;
        double c = b - g * (b - a), d = a + g * (b - a);
        double fc = f(c), fd = f(d);
        for (int it = 0; it < 80 && b - a > 1e-14 * b; it++) {
            if (fc > fd) {
                b = d;
                d = c;
                fd = fc;
                c = b - g * (b - a);
                fc = f(c);
            } else {
                a = c;
                c = d;
                fc = fd;
                d = a + g * (b - a);
                fd = f(d);
            }
        }
        top[i] = std::max({std::abs(F[best][i]), fc, fd});
    }
    return top;
}

// Noise cost of the record after L-infinity scaling to the peak sf:
// with the scaled record (A_ij t_j / t_i, B_i / t_i, C_i t_i), t_i = top_i / sf,
// g_i = |B_i| + sum_j |A_ij| and t'_i = W_ii g_i, the sum of the t'_i (or the
// square of the sum of their roots with optimal capacitance division).
inline double true_cost(const ss &s, double sf = 1.0, bool optc = false)
{
    int n = s.n;
    dvec t = true_tops(s);
    for (double &x : t)
        x /= sf;
    dvec A(n * n), B(n), C(n);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            A[i * n + j] = at(s.A, i, j) * t[j] / t[i];
        B[i] = s.B.data[i] / t[i];
        C[i] = s.C.data[i] * t[i];
    }
    ss sc = make_ss(n, A, B, C, s.D);
    dvec W = gram_w(sc);
    free_ss(&sc);
    double sum = 0;
    for (int i = 0; i < n; i++) {
        double g = std::fabs(B[i]);
        for (int j = 0; j < n; j++)
            g += std::fabs(A[i * n + j]);
        double ti = W[i * n + i] * g;
        sum += optc ? std::sqrt(ti) : ti;
    }
    return optc ? sum * sum : sum;
}

// Eigenvalues of A, sorted by real then imaginary part.
inline std::vector<cplx> poles_of(const ss &s)
{
    int n = s.n;
    gsl_matrix *m = gsl_matrix_alloc(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            gsl_matrix_set(m, i, j, at(s.A, i, j));
    gsl_vector_complex *ev = gsl_vector_complex_alloc(n);
    gsl_eigen_nonsymm_workspace *ws = gsl_eigen_nonsymm_alloc(n);
    gsl_eigen_nonsymm(m, ev, ws);
    std::vector<cplx> p(n);
    for (int i = 0; i < n; i++)
        p[i] = cplx(GSL_REAL(gsl_vector_complex_get(ev, i)), GSL_IMAG(gsl_vector_complex_get(ev, i)));
    gsl_eigen_nonsymm_free(ws);
    gsl_vector_complex_free(ev);
    gsl_matrix_free(m);
    std::sort(p.begin(), p.end(), [](cplx a, cplx b) {
        if (std::fabs(a.real() - b.real()) > 1e-9 * (1 + std::abs(a)))
            return a.real() < b.real();
        return a.imag() < b.imag();
    });
    return p;
}

// b realises the transfer function of a: the same poles and the same H at a
// few frequencies, to 1e-8 relative.
inline void expect_same_filter(const ss &a, const ss &b, const std::string &name)
{
    ASSERT_EQ(a.n, b.n) << name;
    std::vector<cplx> pa = poles_of(a), pb = poles_of(b);
    for (int i = 0; i < a.n; i++)
        EXPECT_LT(std::abs(pa[i] - pb[i]), 1e-8 * std::abs(pa[i])) << name << " pole " << i;
    for (double w : {0.0, 0.3, 0.9, 1.0, 1.7, 5.0}) {
        cplx ha = H_of(a, w), hb = H_of(b, w);
        EXPECT_LT(std::abs(ha - hb), 1e-8 * std::max(std::abs(ha), 1e-12)) << name << " H at w = " << w;
    }
}

// The numbers in a line of text, in order.
inline dvec numbers_in(const std::string &line)
{
    dvec v;
    const char *p = line.c_str();
    while (*p) {
        char *e;
        double x = strtod(p, &e);
        if (e == p) {
            p++;
            continue;
        }
        v.push_back(x);
        p = e;
    }
    return v;
}

// The numbers of the rest of the line after the last `head` of a report;
// the empty list when there is none.
inline dvec numbers_after(const std::string &report, const std::string &head)
{
    size_t at = report.rfind(head);
    if (at == std::string::npos)
        return {};
    size_t end = report.find('\n', at + head.size());
    return numbers_in(report.substr(at + head.size(), end - at - head.size()));
}

// The program's own cost of a record (a copy is scaled and costed), for
// checks of what a search reports against what it returns.
inline double program_cost(const ss &s)
{
    ss c = copy_ss(s);
    int status;
    double cost = dr_of_filter(c, &status);
    free_ss(&c);
    return cost;
}

}  // namespace drt
