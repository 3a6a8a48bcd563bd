// Independent evaluation of a state-space record for the approximation
// tests: H(s) = C (sI - A)^-1 B + D by Gaussian elimination in std::complex,
// and the poles as the eigenvalues of A from GSL.
#pragma once

#include <gsl/gsl_eigen.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "filter/ss.h"

namespace approx_test {

using cd = std::complex<double>;

inline double A_(const ss &f, int i, int j) { return f.A.data[j * f.A.rows + i]; }
inline double B_(const ss &f, int i) { return f.B.data[i]; }
inline double C_(const ss &f, int j) { return f.C.data[j]; }

inline cd eval_h(const ss &f, cd s)
{
    const int n = f.n;
    std::vector<cd> M(n * n), x(n);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            M[i * n + j] = (i == j ? s : cd(0.0)) - A_(f, i, j);
        x[i] = B_(f, i);
    }
    for (int c = 0; c < n; c++) {
        int p = c;
        for (int r = c + 1; r < n; r++)
            if (std::abs(M[r * n + c]) > std::abs(M[p * n + c]))
                p = r;
        if (p != c) {
            for (int j = 0; j < n; j++)
                std::swap(M[c * n + j], M[p * n + j]);
            std::swap(x[c], x[p]);
        }
        for (int r = c + 1; r < n; r++) {
            const cd m = M[r * n + c] / M[c * n + c];
            for (int j = c; j < n; j++)
                M[r * n + j] -= m * M[c * n + j];
            x[r] -= m * x[c];
        }
    }
    for (int r = n - 1; r >= 0; r--) {
        cd v = x[r];
        for (int j = r + 1; j < n; j++)
            v -= M[r * n + j] * x[j];
        x[r] = v / M[r * n + r];
    }
    cd h = f.D;
    for (int j = 0; j < n; j++)
        h += C_(f, j) * x[j];
    return h;
}

inline cd h_jw(const ss &f, double w) { return eval_h(f, cd(0.0, w)); }
inline double mag2(const ss &f, double w) { return std::norm(h_jw(f, w)); }

inline std::vector<cd> poles_of(const ss &f)
{
    const int n = f.n;
    gsl_matrix *m = gsl_matrix_alloc(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            gsl_matrix_set(m, i, j, A_(f, i, j));
    gsl_vector_complex *ev = gsl_vector_complex_alloc(n);
    gsl_eigen_nonsymm_workspace *w = gsl_eigen_nonsymm_alloc(n);
    gsl_eigen_nonsymm(m, ev, w);
    std::vector<cd> r;
    for (int i = 0; i < n; i++) {
        gsl_complex z = gsl_vector_complex_get(ev, i);
        r.emplace_back(GSL_REAL(z), GSL_IMAG(z));
    }
    gsl_eigen_nonsymm_free(w);
    gsl_vector_complex_free(ev);
    gsl_matrix_free(m);
    return r;
}

// Largest distance from an expected pole to the nearest computed one, each
// computed pole used once; infinity when the counts differ.
inline double pole_set_distance(std::vector<cd> got, const std::vector<cd> &want)
{
    if (got.size() != want.size())
        return INFINITY;
    double worst = 0.0;
    for (const cd &w : want) {
        auto it = std::min_element(got.begin(), got.end(),
                                   [&](const cd &a, const cd &b) { return std::abs(a - w) < std::abs(b - w); });
        worst = std::max(worst, std::abs(*it - w));
        got.erase(it);
    }
    return worst;
}

// Chebyshev polynomial T_n(x) for real x.
inline double cheb_t(int n, double x)
{
    if (std::fabs(x) <= 1.0)
        return std::cos(n * std::acos(x));
    const double v = std::cosh(n * std::acosh(std::fabs(x)));
    return (x < 0 && n % 2) ? -v : v;
}

}  // namespace approx_test
