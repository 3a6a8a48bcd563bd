// Optimal realisation by second-order modes: the similarity transformation
// that brings K and W to one matrix with equal diagonal entries.
#include "dynrange/optimize.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "dynrange/balance_ext.h"

#include "filter/current.h"
#include "filter/ss.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/efficiency.h"
#include "numeric/linalg.h"
#include "numeric/lyapunov.h"
#include "numeric/matrix.h"

namespace {

void print_named(FILE *fp, const char *label, const matrix &M, int per_line)
{
    fprintf(fp, "%s =\n", label);
    print_matrix(fp, M, per_line);
}

// 1 when every eigenvalue of the symmetric W is positive.
bool positive_definite(const matrix &W)
{
    if (W.rows < 1 || W.rows != W.cols)
        return false;
    matrix V, D;
    eigen(W, &V, &D);
    bool ok = true;
    for (int i = 0; i < D.rows; i++)
        if (!(D.data[i * D.rows + i] > 0.0))
            ok = false;
    freem(&V);
    freem(&D);
    return ok;
}

bool all_finite(const matrix &M)
{
    for (int k = 0; k < M.rows * M.cols; k++)
        if (!std::isfinite(M.data[k]))
            return false;
    return true;
}

void derivation_trace_head(FILE *fp, const ss &s, const matrix &T1, const matrix &W1, const matrix &K1, int pl)
{
    fprintf(fp, "The current filter is:\n");
    print_ss(fp, s, pl);
    fprintf(fp, "Transformation matrix T1 transforms W to Identity.\n");
    print_named(fp, "T1", T1, pl);
    print_named(fp, "W1", W1, pl);
    print_named(fp, "K1", K1, pl);
    fprintf(fp, "U2 transforms the result to a form in which W is still Identity,\n");
    fprintf(fp, "and K is transformed into a diagonal matrix D2 in which the diagonal\n");
    fprintf(fp, "entries are the squares of the second order modes.\n");
}

void derivation_trace_tail(FILE *fp, const ss &s, const matrix &U2, const matrix &D2, const matrix &T1U2, const matrix &T,
                           int pl)
{
    print_named(fp, "U2", U2, pl);
    print_named(fp, "D2", D2, pl);
    print_named(fp, "T1U2", T1U2, pl);
    fprintf(fp, "The transformation T1U2 is modified by multiplying with the fourth root of\n");
    fprintf(fp, "D2, so that a transformation matrix T is obtained that transforms the\n");
    fprintf(fp, "filter in a form in which both K and W are equal to a diagonal matrix P\n");
    fprintf(fp, "whose diagonal entries are the second order modes.\n");
    print_named(fp, "T", T, pl);
    fprintf(fp, "The filter transformed with T is:\n");
    ss t = transform_ss(T, s);
    print_ss(fp, t, pl);
    free_ss(&t);
}

// The orthogonal U that equalises the diagonal of Pm (in place: U^T Pm U),
// by the iterative method when itmax is not 0, by the direct one otherwise.
matrix equalising(matrix &Pm, FILE *fp, double eps, int itmax, int level)
{
    matrix U;
    if (itmax != 0) {
        int steps = equal(&U, Pm, eps, itmax);
        if (level > 1)
            fprintf(fp, "Total number of iterations: %d.\n", steps);
    } else {
        equal2(&U, Pm);
    }
    return U;
}

void equalising_trace(FILE *fp, const matrix &U, const matrix &T0, const matrix &Pm, int per_line)
{
    fprintf(fp, "Unitary transformation U to transform the diagonal matrix P into a form\n");
    fprintf(fp, "which is not diagonal but has equal diagonal entries.\n");
    print_named(fp, "U", U, per_line);
    print_named(fp, "T0 = T.U", T0, per_line);
    print_named(fp, "P'", Pm, per_line);
}

// The equalisation that ends both routes: U with equal diagonal entries of
// U^T Pm U, T0 = T U and, when Ti is given, T0^-1 = U^T Ti in *T0i; *P :=
// Pm. Reports and frees as the routes need.
matrix equalised(const matrix &T, const matrix &Ti, matrix Pm, matrix *P, matrix *T0i, FILE *fp, double eps,
                 int itmax, int level, int per_line)
{
    matrix U = equalising(Pm, fp, eps, itmax, level);
    matrix T0 = mmul(T, U);
    if (level > 2)
        equalising_trace(fp, U, T0, Pm, per_line);
    matrix Ut = transpose(U);
    matrix Tin = Ti.cols != 0 ? mmul(Ut, Ti) : null_matrix();
    freem(&Ut);
    freem(&U);
    // never hand a transformation with a NaN or an infinity to the filter
    if (!all_finite(T0) || (Ti.cols != 0 && !all_finite(Tin))) {
        freem(&T0);
        freem(&Tin);
        freem(&Pm);
        error("cannot optimize: the transformation is not finite");
        return null_matrix();
    }
    *P = Pm;
    if (T0i)
        *T0i = Tin;
    else
        freem(&Tin);
    return T0;
}

void print_modes(FILE *fp, const matrix &sigma)
{
    fprintf(fp, "Second order modes:\n\n");
    for (int i = 0; i < sigma.rows; i++)
        fprintf(fp, "%e\n", sigma.data[i]);
    fprintf(fp, "\n\n");
}

// The steps of the eigenvalue route, for the trace of a balancing T with
// modes sigma: T1 takes W to the identity, U2 = T1^-1 T D2^-1/4.
void factored_trace(FILE *fp, const ss &s, const matrix &K, const matrix &W, const matrix &T, const matrix &sigma,
                    int per_line)
{
    int n = T.rows;
    matrix D2 = newm(n, n), Ri = newm(n, n);
    for (int i = 0; i < n; i++) {
        D2.data[i * n + i] = sigma.data[i] * sigma.data[i];
        Ri.data[i * n + i] = 1.0 / std::sqrt(sigma.data[i]);
    }
    matrix T1 = w_to_identity(W);
    matrix T1t = transpose(T1);
    matrix T1i = mmul(T1t, W);  // T1^T W T1 = I
    matrix W1 = mmul(T1t, mmul(W, T1));
    matrix K1 = mmul(T1i, mmul(K, transpose(T1i)));
    matrix U2 = mmul(T1i, mmul(T, Ri));
    matrix T1U2 = mmul(T1, U2);
    derivation_trace_head(fp, s, T1, W1, K1, per_line);
    derivation_trace_tail(fp, s, U2, D2, T1U2, T, per_line);
    for (matrix *m : {&D2, &Ri, &T1, &T1t, &T1i, &W1, &K1, &U2, &T1U2})
        freem(m);
}

// The square-root route for Gramians solved from the filter: the factors of
// K and W straight from the Lyapunov equations and the singular values of
// their product (numeric/lyapunov.h). W is never inverted nor tested for
// definiteness, so the modes keep their accuracy where W's smallest
// eigenvalue is below its rounding (a Butterworth filter from order 20 or
// so). Empty T when the factors or the singular values cannot be had, or
// when K and W are not the Gramians of s.
matrix factored_transformation(const ss &s, const matrix &K, const matrix &W, matrix *Pm, matrix *Tin, FILE *fp,
                               int som, int level, int per_line)
{
    matrix T, Ti, sigma;
    if (s.n != K.rows || !balancing_by_factors(s.A, s.B, s.C, K, W, &T, &Ti, &sigma))
        return null_matrix();
    if (som)
        print_modes(fp, sigma);
    if (level > 3)
        factored_trace(fp, s, K, W, T, sigma, per_line);
    *Tin = Ti;
    *Pm = mdiag(sigma);
    freem(&sigma);
    return T;
}

struct settings {
    int level;
    int itmax;
    double eps;
};

// bla, itmax and epsrel, with the notices of a missing setting.
settings read_settings(FILE *fp)
{
    settings st;
    st.level = bla_level();
    double *v = getvar("itmax");
    if (v) {
        // integer part; a value beyond the range of an int takes its bound
        double t = std::trunc(*v);
        st.itmax = t >= INT_MAX ? INT_MAX : t <= INT_MIN ? INT_MIN : (int)t;
    } else {
        st.itmax = 0;
        fprintf(fp, "Itmax put to %d.\n", st.itmax);
    }
    v = getvar("epsrel");
    if (v) {
        st.eps = *v;
    } else {
        st.eps = 1e-4;
        fprintf(fp, "Epsrel put to %e.\n", st.eps);
    }
    return st;
}

}  // namespace

namespace {

// T0 of the factored route (Gramians solved from s) or of the eigenvalue
// route, with its inverse from the same factors in *T0i: T1^-1 = T1^T W,
// U2^-1 = U2^T, R^-1 = D2^-1/4.
matrix routes(const ss &s, const matrix &K, const matrix &W, matrix *P, matrix *T0i, FILE *fp, int som, int per_line,
              const settings &st)
{
    *P = null_matrix();
    *T0i = null_matrix();
    // Integrated Gramians of a filter with a pole on the jw axis diverge: an
    // infinite W has no transformation to the identity.
    if (!all_finite(K) || !all_finite(W)) {
        error("cannot optimize: the Gramians of this filter are not finite");
        return null_matrix();
    }

    if (ist.num_flag == 0 && ist.sfr_flag == 0) {
        matrix Pf, Tfi;
        matrix Tf = factored_transformation(s, K, W, &Pf, &Tfi, fp, som, st.level, per_line);
        if (Tf.cols != 0) {
            matrix T0 = equalised(Tf, Tfi, Pf, P, T0i, fp, st.eps, st.itmax, st.level, per_line);
            freem(&Tf);
            freem(&Tfi);
            return T0;
        }
    }

    // A non-minimal filter has a singular W: no transformation to the identity.
    if (!positive_definite(W)) {
        error("cannot optimize: W is not positive definite");
        return null_matrix();
    }

    matrix T1 = w_to_identity(W);
    matrix T1t = transpose(T1);
    matrix W1 = mmul(T1t, mmul(W, T1));
    matrix T1i = mmul(T1t, W);
    matrix K1 = mmul(T1i, mmul(K, transpose(T1i)));

    matrix U2, D2;
    eigen(K1, &U2, &D2);
    int n = D2.rows;
    auto d2 = [&](int i) -> double & { return D2.data[i * n + i]; };

    if (som) {
        fprintf(fp, "Second order modes:\n\n");
        for (int i = 0; i < n; i++)
            fprintf(fp, "%e\n", std::sqrt(d2(i)));
        fprintf(fp, "\n\n");
    }

    auto free_all = [&]() {
        for (matrix *m : {&T1, &T1t, &W1, &T1i, &K1, &U2, &D2})
            freem(m);
    };
    // All modes 0 (no input or no output): nothing to balance, and the
    // replacement below would leave T singular.
    if (!(d2(n - 1) > 0.0)) {
        free_all();
        error("cannot optimize: all second order modes are zero");
        return null_matrix();
    }

    int count = 0;
    for (int i = 0; i < n; i++) {
        if (!(d2(i) > 0.0) && !std::isnan(d2(i))) {
            count++;
            d2(i) = st.eps * d2(n - 1);
        }
    }
    if (count != 0) {
        fprintf(fp, "WARNING: %d zero valued second order mode", count);
        fprintf(fp, count == 1 ? " has" : "s have");
        fprintf(fp, " been found.\n");
        fprintf(fp, "         Approximations are used;\n");
        fprintf(fp, "         zero efficiencies will result, also in the optimal case.\n\n");
    }

    matrix T1U2 = mmul(T1, U2);
    matrix R1 = Msqrt(D2);
    matrix R = Msqrt(R1);
    freem(&R1);
    matrix T = mmul(T1U2, R);

    if (st.level > 3) {
        derivation_trace_head(fp, s, T1, W1, K1, per_line);
        derivation_trace_tail(fp, s, U2, D2, T1U2, T, per_line);
    }

    // T^-1 = R^-1 U2^T T1^-1; a zero mode replaced by epsrel <= 0 times the
    // largest leaves R singular (0) or undefined (the root of a negative
    // number)
    bool regular = all_finite(T);
    matrix Ri = newm(n, n);
    for (int i = 0; i < n; i++) {
        double r = R.data[i * n + i];
        regular = regular && r > 0.0 && std::isfinite(r);
        Ri.data[i * n + i] = regular ? 1.0 / r : 0.0;
    }
    matrix Ti = regular ? mmul(Ri, mmul(transpose(U2), T1i)) : null_matrix();
    freem(&Ri);
    if (!regular || !all_finite(Ti)) {
        free_all();
        freem(&T1U2);
        freem(&R);
        freem(&T);
        freem(&Ti);
        error("cannot optimize: the transformation is singular");
        return null_matrix();
    }
    matrix Pm = mmul(Ti, mmul(K, transpose(Ti)));
    free_all();
    freem(&T1U2);
    freem(&R);
    matrix T0 = equalised(T, Ti, Pm, P, T0i, fp, st.eps, st.itmax, st.level, per_line);
    freem(&T);
    freem(&Ti);
    return T0;
}

// Largest |A P + P A^T + B B^T| (k) or |A^T P + P A + C^T C| over
// |A| |P| + |B|^2 (or |C|^2), entry by entry: the relative residual of P as
// K or W of t.
double lyap_residual(const ss &t, const matrix &P, bool k)
{
    const int n = t.n;
    const double *b = k ? static_cast<const double *>(t.B.data) : static_cast<const double *>(t.C.data);
    auto a = [&](int i, int j) { return k ? t.A.data[j * n + i] : t.A.data[i * n + j]; };
    auto p = [&](int i, int j) { return P.data[j * n + i]; };
    double worst = 0.0;
    std::vector<double> ap(static_cast<std::size_t>(n) * n), aa(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double s = 0.0, m = 0.0;
            for (int q = 0; q < n; q++) {
                s += a(i, q) * p(q, j);
                m += std::fabs(a(i, q)) * std::fabs(p(q, j));
            }
            ap[static_cast<std::size_t>(j) * n + i] = s;
            aa[static_cast<std::size_t>(j) * n + i] = m;
        }
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            std::size_t ij = static_cast<std::size_t>(j) * n + i, ji = static_cast<std::size_t>(i) * n + j;
            double r = ap[ij] + ap[ji] + b[i] * b[j];
            double m = aa[ij] + aa[ji] + std::fabs(b[i] * b[j]);
            if (m > 0.0)
                worst = std::max(worst, std::fabs(r) / m);
        }
    return worst;
}

// K (k) or W of t: P when its residual is at the rounding of the
// matrices, else solved afresh (P where that fails).
matrix gramian_of(const ss &t, const matrix &P, bool k)
{
    if (lyap_residual(t, P, k) <= 1e-12)
        return mcopy(P);
    matrix q = k ? mmul(t.B, transpose(t.B)) : mmul(transpose(t.C), t.C);
    matrix X = lyap_solve(t.A, q, k);
    freem(&q);
    return X.cols != 0 ? X : mcopy(P);
}

// A balanced filter equalised: t = U^T A U, U^T B, C U, D with U from the
// equalisation of diag(sigma) into *Pm; with report, the notices and traces
// of the equalisation (T the balancing, for the trace).
ss equalised_filter(const balanced_filter &b, const matrix &T, matrix *Pm, FILE *fp, const settings &st, bool report,
                    int per_line)
{
    *Pm = mdiag(b.sigma);
    if (!report)
        ist.quiet++;  // a trial pass: the iterative method's message waits for the chosen one
    matrix U = equalising(*Pm, fp, st.eps, st.itmax, report ? st.level : 0);
    if (!report)
        ist.quiet--;
    if (report && st.level > 2) {
        matrix T0 = mmul(T, U);
        equalising_trace(fp, U, T0, *Pm, per_line);
        freem(&T0);
    }
    // an orthogonal similarity of the balanced realisation, well conditioned
    // in double
    matrix Ut = transpose(U);
    ss t;
    t.n = b.filter.n;
    t.A = mmul(Ut, mmul(b.filter.A, U));
    t.B = mmul(Ut, b.filter.B);
    t.C = mmul(b.filter.C, U);
    t.D = b.filter.D;
    freem(&Ut);
    freem(&U);
    return t;
}

// The noise cost of a realisation with L2 scaling, as the dynamic range
// report weighs it: max K_ii / (C K C^T) times sum g_i W_ii (equal
// capacitors) or (sum sqrt(g_i W_ii))^2 (optimal division); lower is better.
double l2_cost(const ss &t, const matrix &K, const matrix &W)
{
    const int n = t.n;
    double kmax = 0.0, ckc = 0.0, sum = 0.0, roots = 0.0;
    for (int i = 0; i < n; i++) {
        double g = std::fabs(t.B.data[i]);
        for (int j = 0; j < n; j++) {
            g += std::fabs(t.A.data[j * n + i]);
            ckc += t.C.data[i] * K.data[j * n + i] * t.C.data[j];
        }
        kmax = std::max(kmax, K.data[i * n + i]);
        double d = g * W.data[i * n + i];
        sum += d;
        roots += std::sqrt(std::max(d, 0.0));
    }
    double noise = ist.optc_flag == 1 ? roots * roots : sum;
    return ckc > 0.0 ? kmax * noise / ckc : INFINITY;
}

bool finite_ss(const ss &t) { return all_finite(t.A) && all_finite(t.B) && all_finite(t.C); }

// The balanced realisation in extended precision, equalised: false when
// the balancing cannot be had (the caller then takes the other routes).
// Where the smallest mode is near the limit of double-double (below 1e-21
// of the largest) and the order is at most 120, the balanced result is balanced
// again, twice: the balancing of a realisation already near balance
// resolves more of the small modes (butterworth(48): 67.24, 67.44, 67.58
// dB, the last the exact figure). Of the passes the one with the lowest
// noise cost is installed.
bool extended_route(const ss &s, const matrix &K, const matrix &W, optimal_result *r, FILE *fp, int som,
                    int per_line, const settings &st)
{
    balanced_filter b;
    if (!balance_extended(s, &b))
        return false;
    const int n = s.n;
    matrix T = b.T;  // the first pass's, for the trace
    int passes = n <= 120 && b.sigma.data[0] < 1e-21 * b.sigma.data[n - 1] ? 3 : 1;
    balanced_filter best = b;
    double best_cost = INFINITY;
    for (int p = 0; p < passes; p++) {
        if (p > 0) {
            balanced_filter next;
            if (!balance_extended(b.filter, &next))
                break;
            b = next;  // the records share their arrays: best keeps its own
        }
        if (passes == 1)
            break;
        matrix Pm;
        ss t = equalised_filter(b, T, &Pm, fp, st, false, per_line);
        if (finite_ss(t)) {
            matrix Kt = gramian_of(t, Pm, true), Wt = gramian_of(t, Pm, false);
            double c = l2_cost(t, Kt, Wt);
            if (c < best_cost) {
                best = b;
                best_cost = c;
            }
        }
        free_ss(&t);
        freem(&Pm);
    }
    free_balanced(&b);
    if (som)
        print_modes(fp, best.sigma);
    if (st.level > 3)
        factored_trace(fp, s, K, W, T, best.sigma, per_line);
    matrix Pm;
    ss t = equalised_filter(best, T, &Pm, fp, st, true, per_line);
    free_balanced(&best);
    if (!finite_ss(t)) {
        free_ss(&t);
        freem(&Pm);
        error("cannot optimize: the transformation is not finite");
        return true;  // reported: r->filter stays empty
    }
    // K and W of the installed matrices: P' where it solves their Lyapunov
    // equations to the rounding of the matrices, a fresh solve otherwise
    r->K = gramian_of(t, Pm, true);
    r->W = gramian_of(t, Pm, false);
    r->filter = t;
    r->P = Pm;
    return true;
}

}  // namespace

matrix optimize(const ss &s, const matrix &K, const matrix &W, matrix *P, FILE *fp, int som, int per_line)
{
    settings st = read_settings(fp);
    matrix T0i;
    matrix T0 = routes(s, K, W, P, &T0i, fp, som, per_line, st);
    freem(&T0i);
    return T0;
}

bool optimal_realisation(const ss &s, const matrix &K, const matrix &W, optimal_result *r, FILE *fp, int som,
                         int per_line)
{
    *r = optimal_result{};
    settings st = read_settings(fp);
    if (!all_finite(K) || !all_finite(W)) {
        error("cannot optimize: the Gramians of this filter are not finite");
        return false;
    }
    if (ist.num_flag == 0 && ist.sfr_flag == 0 && extended_route(s, K, W, r, fp, som, per_line, st))
        return r->filter.n != 0;
    matrix T0i;
    matrix T0 = routes(s, K, W, &r->P, &T0i, fp, som, per_line, st);
    if (T0.cols == 0)
        return false;
    r->filter = transform_ss2(T0, T0i, s);
    // the Gramians as given (integrated, or K at one frequency) transformed
    r->K = mmul(T0i, mmul(K, transpose(T0i)));
    r->W = mmul(transpose(T0), mmul(W, T0));
    freem(&T0);
    freem(&T0i);
    return true;
}
