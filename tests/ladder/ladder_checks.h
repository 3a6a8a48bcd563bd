// Independent checks of ladder records: the tridiagonal structure, and the
// characteristic polynomial and transfer function evaluated with GSL's
// complex LU at a few points (no routine of the program is used for them).
#pragma once

#include <gsl/gsl_complex_math.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_permutation.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "tests/filter/fixture.h"
#include "filter/ss.h"
#include "ladder/ladder.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

namespace lt {

using cplx = std::complex<double>;
using dvec = std::vector<double>;

inline double at(const matrix &M, int i, int j) { return M.data[j * M.rows + i]; }

using fx::setup_vars;

inline poly make_poly(const dvec &c)
{
    return polycopy(c.data(), static_cast<int>(c.size()) - 1);
}

inline cplx poly_at(const dvec &c, cplx s)
{
    cplx v = 0.0;
    for (int k = static_cast<int>(c.size()) - 1; k >= 0; k--)
        v = v * s + c[k];
    return v;
}

// Ascending coefficients of the product of the given factors.
inline dvec poly_product(const std::vector<dvec> &factors)
{
    dvec r{1.0};
    for (const dvec &f : factors) {
        dvec t(r.size() + f.size() - 1, 0.0);
        for (std::size_t i = 0; i < r.size(); i++)
            for (std::size_t j = 0; j < f.size(); j++)
                t[i + j] += r[i] * f[j];
        r = t;
    }
    return r;
}

// The Butterworth denominator of order n (poles on the unit circle).
inline dvec butterworth(int n)
{
    std::vector<dvec> f;
    for (int k = 1; k <= n / 2; k++)
        f.push_back({1.0, 2.0 * std::sin((2 * k - 1) * M_PI / (2 * n)), 1.0});
    if (n % 2)
        f.push_back({1.0, 1.0});
    return poly_product(f);
}

// The reverse Bessel polynomial of order n from its closed form,
// (2n-k)! / (2^(n-k) k! (n-k)!).
inline dvec bessel(int n)
{
    dvec c(n + 1);
    for (int k = 0; k <= n; k++)
        c[k] = std::exp(std::lgamma(2.0 * n - k + 1) - (n - k) * std::log(2.0) - std::lgamma(k + 1.0) -
                        std::lgamma(n - k + 1.0));
    for (int k = 0; k <= n; k++)
        c[k] = std::round(c[k]);
    return c;
}

// det(sI - A) and C (sI - A)^-1 B + D at one point, by GSL's complex LU.
inline void evaluate(const ss &s, cplx x, cplx *det, cplx *h)
{
    const int n = s.n;
    gsl_matrix_complex *M = gsl_matrix_complex_alloc(n, n);
    gsl_vector_complex *rhs = gsl_vector_complex_alloc(n);
    gsl_vector_complex *sol = gsl_vector_complex_alloc(n);
    gsl_permutation *perm = gsl_permutation_alloc(n);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            cplx v = (i == j ? x : 0.0) - at(s.A, i, j);
            gsl_matrix_complex_set(M, i, j, gsl_complex_rect(v.real(), v.imag()));
        }
        gsl_vector_complex_set(rhs, i, gsl_complex_rect(at(s.B, i, 0), 0.0));
    }
    int sign = 0;
    gsl_linalg_complex_LU_decomp(M, perm, &sign);
    gsl_complex d = gsl_linalg_complex_LU_det(M, sign);
    *det = cplx(GSL_REAL(d), GSL_IMAG(d));
    gsl_linalg_complex_LU_solve(M, perm, rhs, sol);
    cplx y = s.D;
    for (int i = 0; i < n; i++) {
        gsl_complex v = gsl_vector_complex_get(sol, i);
        y += at(s.C, 0, i) * cplx(GSL_REAL(v), GSL_IMAG(v));
    }
    *h = y;
    gsl_permutation_free(perm);
    gsl_vector_complex_free(sol);
    gsl_vector_complex_free(rhs);
    gsl_matrix_complex_free(M);
}

// Every property a ladder realisation of N/D must have: A tridiagonal with
// ones below the diagonal, C = (0..0, 1), det(sI - A) = D(s)/d_n and
// C (sI - A)^-1 B + D = N(s)/D(s) at a few points (relative tolerance tol).
inline void expect_realises(const ss &s, const dvec &N, const dvec &D, double tol = 1e-8)
{
    const int n = s.n;
    ASSERT_EQ(n, static_cast<int>(D.size()) - 1);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            if (i == j + 1) {
                EXPECT_EQ(at(s.A, i, j), 1.0) << "A(" << i << "," << j << ")";
            } else if (i != j && j != i + 1) {
                EXPECT_EQ(at(s.A, i, j), 0.0) << "A(" << i << "," << j << ")";
            }
        }
    for (int j = 0; j < n; j++)
        EXPECT_EQ(at(s.C, 0, j), j == n - 1 ? 1.0 : 0.0);
    const double dn = D.back();
    for (cplx x : {cplx(0.3, 0.0), cplx(0.0, 1.0), cplx(-0.2, 2.5), cplx(1.7, -0.4)}) {
        cplx det, h;
        evaluate(s, x, &det, &h);
        cplx want_det = poly_at(D, x) / dn;
        cplx want_h = poly_at(N, x) / poly_at(D, x);
        EXPECT_LE(std::abs(det - want_det), tol * std::abs(want_det)) << "det at " << x;
        EXPECT_LE(std::abs(h - want_h), tol * std::abs(want_h)) << "H at " << x;
    }
}

inline dvec diagonal(const ss &s)
{
    dvec d(s.n);
    for (int i = 0; i < s.n; i++)
        d[i] = at(s.A, i, i);
    return d;
}

// b_i = A(i,i+1) A(i+1,i).
inline dvec products(const ss &s)
{
    dvec b(s.n - 1);
    for (int i = 0; i + 1 < s.n; i++)
        b[i] = at(s.A, i, i + 1) * at(s.A, i + 1, i);
    return b;
}

inline void free_result(ladder_result *r)
{
    for (ss &s : r->systems)
        free_ss(&s);
    r->systems.clear();
    r->nsol = 0;
}

}  // namespace lt
