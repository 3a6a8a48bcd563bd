#include "filter/gramian.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <memory>

#include "filter/analysis.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/eval.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/cmatrix.h"
#include "numeric/integrate.h"
#include "numeric/lyap_blocks.h"
#include "numeric/lyapunov.h"
#include "numeric/matrix.h"

static const double gram_pi = 3.141592653589793;

// An equation that is singular or nearly so (l_i + l_j at or near 0 for
// eigenvalues of A) gives the empty matrix with the message a failed
// inversion of its operator prints.
static matrix solved_or_refused(const matrix &X)
{
    if (X.cols == 0)
        error_text("inv3c: error\n");
    return X;
}

// B B^T (k) or C^T C: the right-hand side of the equation of K or W.
static matrix gramian_rhs(const ss &s, bool k)
{
    matrix t = transpose(k ? s.B : s.C);
    matrix q = k ? mmul(s.B, t) : mmul(t, s.C);
    freem(&t);
    return q;
}

// K (k) or W of s on a prepared plan of its A, with the error bounds.
static matrix solve_on_plan(const ss &s, const lyap_plan &p, bool k, matrix *err)
{
    matrix q = gramian_rhs(s, k);
    matrix X = lyap_plan_solve(p, q, k, err);
    freem(&q);
    return solved_or_refused(X);
}

static matrix algebraic_est(const ss &s, bool k, matrix *err)
{
    *err = null_matrix();
    if (s.n < 1)
        return null_matrix();
    lyap_plan p;
    if (!lyap_plan_make(s.A, &p))
        return solved_or_refused(null_matrix());
    return solve_on_plan(s, p, k, err);
}

matrix k_algebraic_est(const ss &s, matrix *err) { return algebraic_est(s, true, err); }
matrix w_algebraic_est(const ss &s, matrix *err) { return algebraic_est(s, false, err); }

matrix k_algebraic(const ss &s)
{
    matrix err;
    matrix K = k_algebraic_est(s, &err);
    freem(&err);
    return K;
}

matrix w_algebraic(const ss &s)
{
    matrix err;
    matrix W = w_algebraic_est(s, &err);
    freem(&err);
    return W;
}

bool gramian_refine(const ss &s, bool k, matrix &X, matrix *err)
{
    *err = null_matrix();
    lyap_plan p;
    if (s.n < 1 || !lyap_plan_make(s.A, &p) || p.poles != poles_stable)
        return false;
    matrix q = gramian_rhs(s, k);
    bool ok = lyap_plan_refine(p, q, k, X, err);
    freem(&q);
    return ok;
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

void k_integrand(analysis_ctx &a, matrix &out, double w)
{
    double s = eval_si(w);
    cmatrix F = f_jw(a, w);
    weighted_outer(out, F, F.rows, s);
    cfreem(&F);
}

void w_integrand(analysis_ctx &a, matrix &out, double w)
{
    double s = eval_so(w);
    cmatrix G = g_jw(a, w);
    weighted_outer(out, G, G.cols, s);
    cfreem(&G);
}

// Integrates f over [0, infinity) and divides by pi. The frequency variable
// fr is overwritten at every point of the integrand; the user's definition
// is put back afterwards, so that fr means what the user said (K under
// `set: sfr;` is taken there).
static matrix integrate_gramian(analysis_ctx &a, mfunction f, double epsrel, double epsabs)
{
    int n = a.ana_ss.n;
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

matrix k_by_integration(analysis_ctx &a, double epsrel, double epsabs)
{
    return integrate_gramian(a, [&a](matrix &out, double w) { k_integrand(a, out, w); }, epsrel, epsabs);
}

matrix w_by_integration(analysis_ctx &a, double epsrel, double epsabs)
{
    return integrate_gramian(a, [&a](matrix &out, double w) { w_integrand(a, out, w); }, epsrel, epsabs);
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

// Why the Gramians over all frequencies cannot be had, for a verdict on the
// poles; null when they are all stable.
static const char *obstacle_text(pole_verdict v)
{
    switch (v) {
    case poles_right:
        return "the filter is not stable (it has a pole in the right half-plane)";
    case poles_axis:
        return "the filter has a pole on the jw axis";
    case poles_unresolved:
        return "the poles of the filter cannot be located accurately enough to tell whether it is stable "
               "(its A is defective or nearly so)";
    default:
        return nullptr;
    }
}

static const char *no_plan_text = "the poles of the filter cannot be computed";

const char *gramian_obstacle(const ss &s)
{
    if (s.n < 1)
        return nullptr;
    lyap_plan p;
    if (!lyap_plan_make(s.A, &p))
        return no_plan_text;
    return obstacle_text(p.poles);
}

// The error of gramians_exist for an obstacle.
static void report_obstacle(const char *why, bool unresolved)
{
    if (unresolved)
        error("%s, so its Gramians cannot be determined", why);
    else
        error("%s, so its Gramians over all frequencies do not exist", why);
}

// The plan of s.A when its Gramians over all frequencies exist; otherwise
// false after an error naming the cause.
bool plan_if_stable(const ss &s, lyap_plan *p)
{
    if (!lyap_plan_make(s.A, p)) {
        report_obstacle(no_plan_text, true);
        return false;
    }
    const char *why = obstacle_text(p->poles);
    if (why)
        report_obstacle(why, p->poles == poles_unresolved);
    return why == nullptr;
}

bool gramians_exist(const ss &s)
{
    lyap_plan p;
    return s.n < 1 || plan_if_stable(s, &p);
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

// K (k) or W of s over all frequencies: integrated (num != 0) or solved.
static matrix calc_over_all(analysis_ctx &a, const ss &s, int num, bool k)
{
    lyap_plan p;
    if (!plan_if_stable(s, &p))
        return null_matrix();
    if (num != 0) {
        double epsrel, epsabs;
        if (!get_tolerances(&epsrel, &epsabs))
            return null_matrix();
        return k ? finite_or_refused(k_by_integration(a, epsrel, epsabs), "K")
                 : finite_or_refused(w_by_integration(a, epsrel, epsabs), "W");
    }
    matrix err;
    matrix X = solve_on_plan(s, p, k, &err);
    freem(&err);
    return X;
}

matrix calc_k(analysis_ctx &a, const ss &s, int num, int sfr)
{
    if (s.n < 1)
        return null_matrix();
    if (sfr != 0) {
        double *v = getvar("fr");
        if (!v)
            return null_matrix();
        double w = *v;
        cmatrix F = f_jw(a, w);
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
    return calc_over_all(a, s, num, true);
}

matrix calc_w(analysis_ctx &a, const ss &s, int num)
{
    if (s.n < 1)
        return null_matrix();
    return calc_over_all(a, s, num, false);
}

bool same_entries(const matrix &a, const matrix &b)
{
    if (a.rows != b.rows || a.cols != b.cols || !a.data || !b.data)
        return false;
    const std::size_t k = static_cast<std::size_t>(a.rows) * static_cast<std::size_t>(a.cols);
    for (std::size_t i = 0; i < k; i++)
        if (!(a.data[i] == b.data[i]))
            return false;
    return true;
}

void forget(gramian_accuracy &acc)
{
    freem(&acc.A);
    freem(&acc.V);
    freem(&acc.X);
    freem(&acc.err);
    acc.plan.reset();
}

// K (k) or W of s on the plan p of its A, whose poles are stable: solved
// when *X is empty, else refined in place.
gramian_check gramian_on_plan(const ss &s, const lyap_plan &p, bool k, matrix *X, matrix *err)
{
    if (X->cols == 0) {
        *X = solve_on_plan(s, p, k, err);
        if (X->cols == 0)
            return gram_none;
    } else {
        matrix q = gramian_rhs(s, k);
        matrix Y = mcopy(*X);
        bool ok = lyap_plan_refine(p, q, k, Y, err);
        freem(&q);
        if (!ok) {
            freem(&Y);
            return gram_unsure;
        }
        freem(X);
        *X = Y;
    }
    return err->cols != 0 ? gram_checked : gram_unsure;
}

gramian_check record_gramian(const ss &s, bool k, matrix *X, matrix *err)
{
    *err = null_matrix();
    lyap_plan p;
    if (s.n < 1 || !plan_if_stable(s, &p))
        return gram_none;
    return gramian_on_plan(s, p, k, X, err);
}

double gramian_diagonal_error(const matrix &X, const matrix &err)
{
    const int n = X.rows;
    if (n < 1 || X.cols != n || err.rows != n || err.cols != n)
        return HUGE_VAL;
    double worst = 0.0;
    for (int i = 0; i < n; i++) {
        double x = X.data[static_cast<std::size_t>(i) * n + i], e = err.data[static_cast<std::size_t>(i) * n + i];
        if (x < 0.0)
            return HUGE_VAL;
        if (e != 0.0)
            worst = std::max(worst, x > 0.0 ? e / x : HUGE_VAL);
    }
    return worst;
}

double gramian_entry_error(const matrix &X, const matrix &err)
{
    const int n = X.rows;
    if (n < 1 || X.cols != n || err.rows != n || err.cols != n)
        return HUGE_VAL;
    auto get = [n](const matrix &m, int i, int j) { return m.data[static_cast<std::size_t>(j) * n + i]; };
    double worst = 0.0;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double e = get(err, i, j);
            if (e == 0.0)
                continue;
            // a diagonal entry below 0 lies within its bound (the bounds
            // hold that much), so its size is the scale
            double s = std::sqrt(std::fabs(get(X, i, i) * get(X, j, j)));
            worst = std::max(worst, s > 0.0 ? e / s : HUGE_VAL);
        }
    return worst;
}
