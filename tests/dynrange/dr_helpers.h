// Fixtures of the dynamic-range tests: a fresh program state, filters built
// from row-major tables, and reference values computed with GSL alone
// (transfer functions, Lyapunov solutions, eigenvalues), independent of the
// program's own numerical routines.
#pragma once

#include <gsl/gsl_eigen.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_permutation.h>
#include <gsl/gsl_complex_math.h>

#include <algorithm>
#include <complex>
#include <cstdio>
#include <string>
#include <vector>

#include "filter/current.h"
#include "filter/ss.h"
#include "base/expr.h"
#include "base/globals.h"
#include "base/vars.h"
#include "numeric/matrix.h"

namespace drt {

using cplx = std::complex<double>;
using dvec = std::vector<double>;

// Element (i, j) of a program matrix.
inline double at(const matrix &M, int i, int j) { return M.data[j * M.rows + i]; }

// A fresh run: default variables, no filter, default switches, the report
// going to a temporary file.
struct program {
    FILE *out = nullptr;
    program()
    {
        if (ist.vars)
            free_varlist_all(ist.vars);
        ist.vars = new_varlist();
        seed_default_vars();
        ist = reset_switches(ist);
        out = tmpfile();
        ist.out_fp = out;
        free_filter();
        analysis_free(fst.ana);
        filter_start();
    }
    ~program()
    {
        free_filter();
        analysis_free(fst.ana);
        ist.out_fp = stdout;
        fclose(out);
    }
    static interp_state reset_switches(interp_state s)
    {
        interp_state d;
        d.vars = s.vars;
        d.fr_var = s.fr_var;
        d.si_var = s.si_var;
        d.so_var = s.so_var;
        d.base_name = "test";
        return d;
    }
    // Everything written to the report stream so far.
    std::string report()
    {
        fflush(out);
        long end = ftell(out);
        std::string s(end, '\0');
        rewind(out);
        size_t got = fread(s.data(), 1, end, out);
        s.resize(got);
        fseek(out, 0, SEEK_END);
        return s;
    }
};

// Record of order n from row-major A and the entries of B and C.
inline ss make_ss(int n, const dvec &A, const dvec &B, const dvec &C, double D = 0.0)
{
    ss s = new_ss(n);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            s.A.data[j * n + i] = A[i * n + j];
        s.B.data[i] = B[i];
        s.C.data[i] = C[i];
    }
    s.D = D;
    return s;
}

// Companion (controllable canonical) realisation of num / den, den monic of
// degree n given as coefficients of s^0 .. s^n, num of degree below n.
inline ss companion(const dvec &den, const dvec &num)
{
    int n = (int)den.size() - 1;
    dvec A(n * n, 0.0), B(n, 0.0), C(n, 0.0);
    for (int i = 0; i + 1 < n; i++)
        A[i * n + i + 1] = 1.0;
    for (int j = 0; j < n; j++)
        A[(n - 1) * n + j] = -den[j];
    B[n - 1] = 1.0;
    for (int j = 0; j < (int)num.size(); j++)
        C[j] = num[j];
    return make_ss(n, A, B, C);
}

inline void install(const ss &s)
{
    install_filter(s);
}

// F(jw) = (jwI - A)^-1 B by a complex LU solve of GSL.
inline std::vector<cplx> F_of(const ss &s, double w)
{
    int n = s.n;
    gsl_matrix_complex *M = gsl_matrix_complex_alloc(n, n);
    gsl_vector_complex *b = gsl_vector_complex_alloc(n), *x = gsl_vector_complex_alloc(n);
    gsl_permutation *p = gsl_permutation_alloc(n);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            gsl_matrix_complex_set(M, i, j, gsl_complex_rect(-at(s.A, i, j), i == j ? w : 0.0));
        gsl_vector_complex_set(b, i, gsl_complex_rect(s.B.data[i], 0.0));
    }
    int sg;
    gsl_linalg_complex_LU_decomp(M, p, &sg);
    gsl_linalg_complex_LU_solve(M, p, b, x);
    std::vector<cplx> F(n);
    for (int i = 0; i < n; i++) {
        gsl_complex z = gsl_vector_complex_get(x, i);
        F[i] = cplx(GSL_REAL(z), GSL_IMAG(z));
    }
    gsl_permutation_free(p);
    gsl_vector_complex_free(b);
    gsl_vector_complex_free(x);
    gsl_matrix_complex_free(M);
    return F;
}

inline cplx H_of(const ss &s, double w)
{
    std::vector<cplx> F = F_of(s, w);
    cplx h = s.D;
    for (int i = 0; i < s.n; i++)
        h += s.C.data[i] * F[i];
    return h;
}

// num(jw) / den(jw) for coefficient lists s^0 .. s^k.
inline cplx rational(const dvec &num, const dvec &den, cplx s)
{
    auto ev = [&](const dvec &c) {
        cplx r = 0.0;
        for (int k = (int)c.size() - 1; k >= 0; k--)
            r = r * s + c[k];
        return r;
    };
    return ev(num) / ev(den);
}

// X solving A X + X R + Q = 0 (row-major n x n result), by a GSL LU solve
// of the Kronecker form.
inline dvec sylvester(int n, const dvec &A, const dvec &R, const dvec &Q)
{
    int N = n * n;
    gsl_matrix *M = gsl_matrix_calloc(N, N);
    gsl_vector *r = gsl_vector_alloc(N), *x = gsl_vector_alloc(N);
    gsl_permutation *p = gsl_permutation_alloc(N);
    // unknown X(i, j) at index i*n + j
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            int row = i * n + j;
            for (int k = 0; k < n; k++) {
                *gsl_matrix_ptr(M, row, k * n + j) += A[i * n + k];  // (A X)(i, j)
                *gsl_matrix_ptr(M, row, i * n + k) += R[k * n + j];  // (X R)(i, j)
            }
            gsl_vector_set(r, row, -Q[i * n + j]);
        }
    int sg;
    gsl_linalg_LU_decomp(M, p, &sg);
    gsl_linalg_LU_solve(M, p, r, x);
    dvec X(N);
    for (int k = 0; k < N; k++)
        X[k] = gsl_vector_get(x, k);
    gsl_permutation_free(p);
    gsl_vector_free(r);
    gsl_vector_free(x);
    gsl_matrix_free(M);
    return X;
}

// X solving A X + X A^T + Q = 0.
inline dvec lyap(int n, const dvec &A, const dvec &Q)
{
    dvec At(A.size());
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            At[j * n + i] = A[i * n + j];
    return sylvester(n, A, At, Q);
}

inline dvec rowmajor_A(const ss &s)
{
    dvec A(s.n * s.n);
    for (int i = 0; i < s.n; i++)
        for (int j = 0; j < s.n; j++)
            A[i * s.n + j] = at(s.A, i, j);
    return A;
}

// Controllability Gramian K of the record (row-major), solved afresh.
inline dvec gram_k(const ss &s)
{
    int n = s.n;
    dvec Q(n * n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            Q[i * n + j] = s.B.data[i] * s.B.data[j];
    return lyap(n, rowmajor_A(s), Q);
}

// Observability Gramian W of the record (row-major), solved afresh.
inline dvec gram_w(const ss &s)
{
    int n = s.n;
    dvec At(n * n), Q(n * n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            At[i * n + j] = at(s.A, j, i);
            Q[i * n + j] = s.C.data[i] * s.C.data[j];
        }
    return lyap(n, At, Q);
}

// Eigenvalues (real parts, ascending) of a real row-major matrix.
inline dvec eig_real(int n, const dvec &M)
{
    gsl_matrix *m = gsl_matrix_alloc(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            gsl_matrix_set(m, i, j, M[i * n + j]);
    gsl_vector_complex *ev = gsl_vector_complex_alloc(n);
    gsl_eigen_nonsymm_workspace *ws = gsl_eigen_nonsymm_alloc(n);
    gsl_eigen_nonsymm(m, ev, ws);
    dvec r(n);
    for (int i = 0; i < n; i++)
        r[i] = GSL_REAL(gsl_vector_complex_get(ev, i));
    gsl_eigen_nonsymm_free(ws);
    gsl_vector_complex_free(ev);
    gsl_matrix_free(m);
    std::sort(r.begin(), r.end());
    return r;
}

inline dvec matmul(int n, const dvec &X, const dvec &Y)
{
    dvec Z(n * n, 0.0);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            for (int k = 0; k < n; k++)
                Z[i * n + j] += X[i * n + k] * Y[k * n + j];
    return Z;
}

// Second-order modes: square roots of the eigenvalues of K W.
inline dvec modes_of(const ss &s)
{
    int n = s.n;
    dvec e = eig_real(n, matmul(n, gram_k(s), gram_w(s)));
    for (double &x : e)
        x = std::sqrt(std::max(x, 0.0));
    return e;
}

// Largest |F_i(jw)| over a dense logarithmic grid of w, with w = 0 included.
inline dvec sampled_tops(const ss &s, double wlo, double whi, int points)
{
    dvec top(s.n, 0.0);
    auto take = [&](double w) {
        std::vector<cplx> F = F_of(s, w);
        for (int i = 0; i < s.n; i++)
            top[i] = std::max(top[i], std::abs(F[i]));
    };
    take(0.0);
    for (int k = 0; k < points; k++)
        take(wlo * std::pow(whi / wlo, (double)k / (points - 1)));
    return top;
}

// The 2nd-order Butterworth lowpass A = [0 1; -1 -sqrt 2], B = (0, 1), C = (1, 0):
// K = I / (2 sqrt 2), W = [3, sqrt 2; sqrt 2, 1] / (2 sqrt 2), modes (sqrt 3 -+ 1) / 4.
inline ss butter2() { return make_ss(2, {0, 1, -1, -std::sqrt(2.0)}, {0, 1}, {1, 0}); }

}  // namespace drt
