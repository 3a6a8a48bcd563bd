#include "filter/gramian.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "filter/current.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/eval.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/cmatrix.h"
#include "numeric/integrate.h"
#include "numeric/block_eigen.h"
#include "numeric/lyapunov.h"
#include "numeric/matrix.h"

static const double gram_pi = 3.141592653589793;

// The solvers work on the Schur form of A (numeric/lyapunov.h). An equation
// that is singular or nearly so (l_i + l_j at or near 0 for eigenvalues of A)
// gives the empty matrix with the message a failed inversion of its operator
// prints.
static matrix solved_or_refused(const matrix &X)
{
    if (X.cols == 0)
        error_text("inv3c: error\n");
    return X;
}

matrix k_algebraic(const ss &s)
{
    if (s.n < 1)
        return null_matrix();
    matrix Bt = transpose(s.B);
    matrix BB = mmul(s.B, Bt);
    matrix K = lyap_solve(s.A, BB, true);
    freem(&Bt);
    freem(&BB);
    return solved_or_refused(K);
}

matrix w_algebraic(const ss &s)
{
    if (s.n < 1)
        return null_matrix();
    matrix Ct = transpose(s.C);
    matrix CC = mmul(Ct, s.C);
    matrix W = lyap_solve(s.A, CC, false);
    freem(&Ct);
    freem(&CC);
    return solved_or_refused(W);
}

matrix x_algebraic(const ss &s)
{
    if (s.n < 1)
        return null_matrix();
    matrix BC = mmul(s.B, s.C);
    matrix X = sylv_same(s.A, BC);
    freem(&BC);
    return solved_or_refused(X);
}

static var *find_var(const char *name)
{
    if (!ist.vars)
        return nullptr;
    var **slot = varlist_find(ist.vars, name);
    return slot ? *slot : nullptr;
}

static double eval_weight(double w, const char *name)
{
    var *fr = find_var("fr");
    if (!fr) {
        fprintf(stderr, "Error, variable fr is not defined.\n");
        fatal_cleanup();
        exit(1);
    }
    var *v = find_var(name);
    if (!v) {
        fprintf(stderr, "Error, variable %s is not defined.\n", name);
        fatal_cleanup();
        exit(1);
    }
    free_expr(fr->definition);
    fr->definition = new_numb(w);
    expr_node *r = eval_expr(ist.vars, v->definition);
    if (!r || r->tag != EXPR_NUMB) {
        free_expr(r);
        fprintf(stderr, "Error, variable %s is not resolved in fr.\n", name);
        fatal_cleanup();
        exit(1);
    }
    double x = r->value;
    free_expr(r);
    return x;
}

double eval_si(double w) { return eval_weight(w, "si"); }
double eval_so(double w) { return eval_weight(w, "so"); }

// Fills out with s Re(v v^H) for the n entries of v: the weighted integrand of
// a Gramian at one frequency.
static void weighted_outer(matrix &out, const cmatrix &v, int n, double s)
{
    if (out.rows != n || out.cols != n) {
        fprintf(stderr, "Matrix alignment error.\n");
        fatal_cleanup();
        exit(1);
    }
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            complex a = v.data[i], b = v.data[j];
            out.data[j * n + i] = s * (a.re * b.re + a.im * b.im);
        }
}

void k_integrand(matrix &out, double w)
{
    double s = eval_si(w);
    cmatrix F = f_jw(w);
    weighted_outer(out, F, F.rows, s);
    cfreem(&F);
}

void w_integrand(matrix &out, double w)
{
    double s = eval_so(w);
    cmatrix G = g_jw(w);
    weighted_outer(out, G, G.cols, s);
    cfreem(&G);
}

// Integrates f over [0, infinity) and divides by pi. The frequency variable
// fr is overwritten at every point of the integrand; the user's definition
// is put back afterwards, so that fr means what the user said (K under
// `set: sfr;` is taken there).
static matrix integrate_gramian(mfunction f, double epsrel, double epsabs)
{
    int n = fst.ana_ss.n;
    if (n < 1)
        return null_matrix();
    var *fr = find_var("fr");
    expr_node *saved = fr ? copy_expr(fr->definition) : nullptr;
    matrix X = mintegrate_inf(f, n, n, epsrel, epsabs);
    if (fr) {
        free_expr(fr->definition);
        fr->definition = saved;
    }
    for (int k = 0; k < n * n; k++)
        X.data[k] /= gram_pi;
    return X;
}

matrix k_by_integration(double epsrel, double epsabs)
{
    return integrate_gramian(k_integrand, epsrel, epsabs);
}

matrix w_by_integration(double epsrel, double epsabs)
{
    return integrate_gramian(w_integrand, epsrel, epsabs);
}

static bool get_tolerances(double *epsrel, double *epsabs)
{
    double *v = getvar("epsrel");
    if (!v)
        return false;
    *epsrel = *v;
    v = getvar("epsabs");
    if (!v)
        return false;
    *epsabs = *v;
    // A tolerance of 0 or below cannot be met by any step (an entry whose
    // integral is 0 has no relative error to speak of): refused.
    if (!(*epsrel > 0) || !(*epsabs > 0)) {
        error("the integration of the Gramians needs epsrel and epsabs greater than 0");
        return false;
    }
    return true;
}

const char *gramian_obstacle(const ss &s)
{
    if (s.n < 1)
        return nullptr;
    // Block by block: the poles of a cascade come from their own sections
    // (numeric/block_eigen.h), where an eigensolver on the whole, far from
    // normal A of a high-order cascade puts some of them in the right
    // half-plane.
    matrix l = evc_blocks(s.A);
    double rho = 0.0;
    for (int k = 0; k < s.n; k++)
        rho = std::max(rho, std::hypot(l.data[k], l.data[s.n + k]));
    // A real part within this of 0 is taken as on the axis: rounding of the
    // eigenvalues leaves an undamped pair a few ulps off it.
    double tol = 1e-10 * rho;
    const char *why = nullptr;
    for (int k = 0; k < s.n; k++) {
        double re = l.data[k];
        if (re > tol) {
            why = "the filter is not stable (it has a pole in the right half-plane)";
            break;
        }
        if (re >= -tol)
            why = "the filter has a pole on the jw axis";
    }
    freem(&l);
    return why;
}

bool gramians_exist(const ss &s)
{
    const char *why = gramian_obstacle(s);
    if (why)
        error("%s, so its Gramians over all frequencies do not exist", why);
    return why == nullptr;
}

// m itself, or (freed) the empty matrix after an error when an entry is
// infinite or NaN.
static matrix finite_or_refused(matrix m, const char *what)
{
    for (int k = 0; k < m.rows * m.cols; k++)
        if (!std::isfinite(m.data[k])) {
            error("%s is not finite", what);
            freem(&m);
            return null_matrix();
        }
    return m;
}

matrix calc_k(const ss &s, int num, int sfr)
{
    if (s.n < 1)
        return null_matrix();
    if (sfr != 0) {
        double *v = getvar("fr");
        if (!v)
            return null_matrix();
        double w = *v;
        cmatrix F = f_jw(w);
        int n = F.rows;
        matrix K = newm(n, n);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                complex a = F.data[i], b = F.data[j];
                K.data[j * n + i] = a.re * b.re + a.im * b.im;
            }
        cfreem(&F);
        return finite_or_refused(K, "K at the frequency fr");
    }
    if (!gramians_exist(s))
        return null_matrix();
    if (num != 0) {
        double epsrel, epsabs;
        if (!get_tolerances(&epsrel, &epsabs))
            return null_matrix();
        return finite_or_refused(k_by_integration(epsrel, epsabs), "K");
    }
    return k_algebraic(s);
}

matrix calc_w(const ss &s, int num)
{
    if (s.n < 1)
        return null_matrix();
    if (!gramians_exist(s))
        return null_matrix();
    if (num != 0) {
        double epsrel, epsabs;
        if (!get_tolerances(&epsrel, &epsabs))
            return null_matrix();
        return finite_or_refused(w_by_integration(epsrel, epsabs), "W");
    }
    return w_algebraic(s);
}
