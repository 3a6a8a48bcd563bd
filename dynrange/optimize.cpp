// Optimal realisation by second-order modes: the similarity transformation
// that brings K and W to one matrix with equal diagonal entries.
#include "dynrange/optimize.h"

#include <climits>
#include <cmath>

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

void derivation_trace_head(FILE *fp, const matrix &T1, const matrix &W1, const matrix &K1, int pl)
{
    fprintf(fp, "The current filter is:\n");
    print_ss(fp, fst.ana_ss, pl);
    fprintf(fp, "Transformation matrix T1 transforms W to Identity.\n");
    print_named(fp, "T1", T1, pl);
    print_named(fp, "W1", W1, pl);
    print_named(fp, "K1", K1, pl);
    fprintf(fp, "U2 transforms the result to a form in which W is still Identity,\n");
    fprintf(fp, "and K is transformed into a diagonal matrix D2 in which the diagonal\n");
    fprintf(fp, "entries are the squares of the second order modes.\n");
}

void derivation_trace_tail(FILE *fp, const matrix &U2, const matrix &D2, const matrix &T1U2, const matrix &T, int pl)
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
    ss t = transform_ss(T, fst.ana_ss);
    print_ss(fp, t, pl);
    free_ss(&t);
}

// The equalisation that ends both routes: U with equal diagonal entries of
// U^T Pm U, T0 = T U; *P := Pm. Reports and frees as the routes need.
matrix equalised(const matrix &T, matrix Pm, matrix *P, FILE *fp, double eps, int itmax, int level, int per_line)
{
    matrix U;
    if (itmax != 0) {
        int steps = equal(&U, Pm, eps, itmax);
        if (level > 1)
            fprintf(fp, "Total number of iterations: %d.\n", steps);
    } else {
        equal2(&U, Pm);
    }
    matrix T0 = mmul(T, U);
    if (level > 2) {
        fprintf(fp, "Unitary transformation U to transform the diagonal matrix P into a form\n");
        fprintf(fp, "which is not diagonal but has equal diagonal entries.\n");
        print_named(fp, "U", U, per_line);
        print_named(fp, "T0 = T.U", T0, per_line);
        print_named(fp, "P'", Pm, per_line);
    }
    freem(&U);
    // never hand a transformation with a NaN or an infinity to the filter
    for (int k = 0; k < T0.rows * T0.cols; k++)
        if (!std::isfinite(T0.data[k])) {
            freem(&T0);
            freem(&Pm);
            error("cannot optimize: the transformation is not finite");
            return null_matrix();
        }
    *P = Pm;
    return T0;
}

// The square-root route for Gramians solved from the filter: the factors of
// K and W straight from the Lyapunov equations and the singular values of
// their product (numeric/lyapunov.h). W is never inverted nor tested for
// definiteness, so the modes keep their accuracy where W's smallest
// eigenvalue is below its rounding (a Butterworth filter from order 20 or
// so). Empty T when the factors or the singular values cannot be had, or
// when K and W are not the Gramians of s.
matrix factored_transformation(const ss &s, const matrix &K, const matrix &W, matrix *Pm, FILE *fp, int som, int level,
                               int per_line)
{
    matrix T, Ti, sigma;
    if (s.n != K.rows || !balancing_by_factors(s.A, s.B, s.C, K, W, &T, &Ti, &sigma))
        return null_matrix();
    int n = s.n;
    if (som) {
        fprintf(fp, "Second order modes:\n\n");
        for (int i = 0; i < n; i++)
            fprintf(fp, "%e\n", sigma.data[i]);
        fprintf(fp, "\n\n");
    }
    if (level > 3) {
        // the steps of the other route, for the trace: T1 takes W to the
        // identity, U2 = T1^-1 T D2^-1/4
        matrix D2 = newm(n, n), R = newm(n, n), Ri = newm(n, n);
        for (int i = 0; i < n; i++) {
            D2.data[i * n + i] = sigma.data[i] * sigma.data[i];
            R.data[i * n + i] = std::sqrt(sigma.data[i]);
            Ri.data[i * n + i] = 1.0 / std::sqrt(sigma.data[i]);
        }
        matrix T1 = w_to_identity(W);
        matrix T1i = minv(T1);
        matrix W1 = mmul(transpose(T1), mmul(W, T1));
        matrix K1 = mmul(T1i, mmul(K, transpose(T1i)));
        matrix U2 = mmul(T1i, mmul(T, Ri));
        matrix T1U2 = mmul(T1, U2);
        derivation_trace_head(fp, T1, W1, K1, per_line);
        derivation_trace_tail(fp, U2, D2, T1U2, T, per_line);
        for (matrix *m : {&D2, &R, &Ri, &T1, &T1i, &W1, &K1, &U2, &T1U2})
            freem(m);
    }
    freem(&Ti);
    *Pm = mdiag(sigma);
    freem(&sigma);
    return T;
}

}  // namespace

matrix optimize(const matrix &K, const matrix &W, matrix *P, FILE *fp, int som, int per_line)
{
    *P = null_matrix();
    int level = bla_level();
    int itmax;
    double *v = getvar("itmax");
    if (v) {
        // integer part; a value beyond the range of an int takes its bound
        double t = std::trunc(*v);
        itmax = t >= INT_MAX ? INT_MAX : t <= INT_MIN ? INT_MIN : (int)t;
    } else {
        itmax = 0;
        fprintf(fp, "Itmax put to %d.\n", itmax);
    }
    double eps;
    v = getvar("epsrel");
    if (v) {
        eps = *v;
    } else {
        eps = 1e-4;
        fprintf(fp, "Epsrel put to %e.\n", eps);
    }

    // Integrated Gramians of a filter with a pole on the jw axis diverge: an
    // infinite W has no transformation to the identity.
    if (!all_finite(K) || !all_finite(W)) {
        error("cannot optimize: the Gramians of this filter are not finite");
        return null_matrix();
    }

    if (ist.num_flag == 0 && ist.sfr_flag == 0) {
        matrix Pf;
        matrix Tf = factored_transformation(fst.ana_ss, K, W, &Pf, fp, som, level, per_line);
        if (Tf.cols != 0) {
            matrix T0 = equalised(Tf, Pf, P, fp, eps, itmax, level, per_line);
            freem(&Tf);
            return T0;
        }
    }

    // A non-minimal filter has a singular W: no transformation to the identity.
    if (!positive_definite(W)) {
        error("cannot optimize: W is not positive definite");
        return null_matrix();
    }

    matrix T1 = w_to_identity(W);
    matrix W1 = mmul(transpose(T1), mmul(W, T1));
    matrix T1i = minv(T1);
    matrix T1it = transpose(T1i);
    matrix KT = mmul(K, T1it);
    matrix K1 = mmul(T1i, KT);
    freem(&T1i);
    freem(&T1it);
    freem(&KT);

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

    // All modes 0 (no input or no output): nothing to balance, and the
    // replacement below would leave T singular.
    if (!(d2(n - 1) > 0.0)) {
        freem(&T1);
        freem(&W1);
        freem(&K1);
        freem(&U2);
        freem(&D2);
        error("cannot optimize: all second order modes are zero");
        return null_matrix();
    }

    int count = 0;
    for (int i = 0; i < n; i++) {
        if (!(d2(i) > 0.0) && !std::isnan(d2(i))) {
            count++;
            d2(i) = eps * d2(n - 1);
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

    if (level > 3) {
        derivation_trace_head(fp, T1, W1, K1, per_line);
        derivation_trace_tail(fp, U2, D2, T1U2, T, per_line);
    }

    bool finite_t = all_finite(T);
    matrix Tt = transpose(T);
    matrix Tti = finite_t ? minv(Tt) : null_matrix();
    matrix Ti = finite_t ? minv(T) : null_matrix();
    if (Tti.cols == 0 || Ti.cols == 0) {
        // a zero mode replaced by epsrel <= 0 times the largest leaves T
        // singular (0) or undefined (the root of a negative number)
        freem(&Tt);
        freem(&Tti);
        freem(&Ti);
        freem(&T1);
        freem(&W1);
        freem(&K1);
        freem(&U2);
        freem(&D2);
        freem(&T1U2);
        freem(&R);
        freem(&T);
        error("cannot optimize: the transformation is singular");
        return null_matrix();
    }
    matrix KTti = mmul(K, Tti);
    matrix Pm = mmul(Ti, KTti);
    freem(&Tt);
    freem(&Tti);
    freem(&Ti);
    freem(&KTti);

    freem(&T1);
    freem(&W1);
    freem(&K1);
    freem(&U2);
    freem(&D2);
    freem(&T1U2);
    freem(&R);
    matrix T0 = equalised(T, Pm, P, fp, eps, itmax, level, per_line);
    freem(&T);
    return T0;
}
