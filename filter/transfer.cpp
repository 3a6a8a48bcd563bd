#include "filter/transfer.h"

#include <cmath>
#include <vector>

#include "filter/current.h"
#include "filter/report.h"
#include "base/error.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/efficiency.h"
#include "numeric/lapack.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"

transfer_state tst;

namespace {

// LU factors of jwI - A for the analysis filter. singular: the matrix is
// exactly singular (w at a pole), so the resolvent does not exist.
struct jw_lu {
    int n = 0;
    std::vector<complex> lu;
    std::vector<int> ipiv;
    bool singular = false;
};

jw_lu factor_jw(double w)
{
    jw_lu f;
    const ss &s = fst.ana_ss;
    int n = s.n;
    if (n < 1)
        return f;  // no integrators: H is the direct term alone
    f.n = n;
    f.lu.resize((size_t)n * n);
    f.ipiv.resize(n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double a = s.A.data[j * n + i];
            f.lu[j * n + i] = complex{-a, i == j ? w : 0.0};
        }
    int info = 0;
    zgetrf_(&n, &n, f.lu.data(), &n, f.ipiv.data(), &info);
    if (info < 0)
        fatal("zgetrf: illegal argument");
    f.singular = info > 0;
    return f;
}

// Solves (jwI - A) X = rhs (trans 'N') or (jwI - A)^T X = rhs (trans 'T')
// in place; rhs holds n x nrhs elements.
void solve_jw(const jw_lu &f, char trans, complex *rhs, int nrhs)
{
    int n = f.n, info = 0;
    if (n < 1)
        return;
    zgetrs_(&trans, &n, &nrhs, f.lu.data(), &n, f.ipiv.data(), rhs, &n, &info, 1);
    if (info != 0)
        fatal("zgetrs: illegal argument");
}

cmatrix infinite_cmatrix(int r, int c)
{
    cmatrix m = cnewm(r, c);
    for (int k = 0; k < r * c; k++)
        m.data[k] = complex{INFINITY, 0.0};
    return m;
}

complex infinite_value() { return complex{INFINITY, 0.0}; }

complex jmul(complex z) { return complex{-z.im, z.re}; }        // j z
complex mjmul(complex z) { return complex{z.im, -z.re}; }       // -j z

// F = (jwI - A)^-1 B into a new n x 1 matrix.
cmatrix f_from(const jw_lu &f)
{
    int n = f.n;
    cmatrix F = cnewm(n, 1);
    for (int i = 0; i < n; i++)
        F.data[i] = complex{fst.ana_ss.B.data[i], 0.0};
    solve_jw(f, 'N', F.data, 1);
    return F;
}

// G = C (jwI - A)^-1 into a new 1 x n matrix (G^T = (jwI - A)^-T C^T).
cmatrix g_from(const jw_lu &f)
{
    int n = f.n;
    cmatrix G = cnewm(1, n);
    for (int i = 0; i < n; i++)
        G.data[i] = complex{fst.ana_ss.C.data[i], 0.0};
    solve_jw(f, 'T', G.data, 1);
    return G;
}

complex c_dot(const complex *x, int n)
{
    complex s{0.0, 0.0};
    for (int i = 0; i < n; i++) {
        double c = fst.ana_ss.C.data[i];
        s.re += c * x[i].re;
        s.im += c * x[i].im;
    }
    return s;
}

}  // namespace

complex den_jw(double w)
{
    jw_lu f = factor_jw(w);
    if (f.singular)
        return complex{0.0, 0.0};
    complex d{1.0, 0.0};
    for (int i = 0; i < f.n; i++) {
        d = cmul(d, f.lu[i * f.n + i]);
        if (f.ipiv[i] != i + 1)
            d = complex{-d.re, -d.im};
    }
    return d;
}

cmatrix resolvent_jw(double w)
{
    jw_lu f = factor_jw(w);
    int n = f.n;
    if (f.singular)
        return infinite_cmatrix(n, n);
    cmatrix R = cnewm(n, n);
    for (int i = 0; i < n; i++)
        R.data[i * n + i] = complex{1.0, 0.0};
    solve_jw(f, 'N', R.data, n);
    return R;
}

cmatrix adj_jw(double w)
{
    int n = fst.ana_ss.n;
    complex d = den_jw(w);
    if (d.re == 0.0 && d.im == 0.0) {
        // At a pole the adjugate is still finite: take it from the
        // polynomial coefficients.
        cmatrix Z = cnewm(n, n);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                Z.data[j * n + i] = nmat_elem_jw(w, i, j);
        return Z;
    }
    cmatrix R = resolvent_jw(w);
    cmatrix Z = cscalem(d, R);
    cfreem(&R);
    return Z;
}

cmatrix resolvent2_jw(double w)
{
    cmatrix R = resolvent_jw(w);
    cmatrix R2 = cmmul(R, R);
    cfreem(&R);
    cmatrix Z = cscalem(complex{0.0, -1.0}, R2);
    cfreem(&R2);
    return Z;
}

cmatrix f_jw(double w)
{
    jw_lu f = factor_jw(w);
    if (f.singular)
        return infinite_cmatrix(f.n, 1);
    return f_from(f);
}

cmatrix g_jw(double w)
{
    jw_lu f = factor_jw(w);
    if (f.singular)
        return infinite_cmatrix(1, f.n);
    return g_from(f);
}

complex h_jw(double w)
{
    jw_lu f = factor_jw(w);
    if (f.singular)
        return infinite_value();
    cmatrix F = f_from(f);
    complex h = c_dot(F.data, f.n);
    cfreem(&F);
    h.re += fst.ana_ss.D;
    return h;
}

// dF/dw = -j R R B = -j R F.
cmatrix df_jw(double w)
{
    jw_lu f = factor_jw(w);
    if (f.singular)
        return infinite_cmatrix(f.n, 1);
    cmatrix F = f_from(f);
    solve_jw(f, 'N', F.data, 1);
    for (int i = 0; i < f.n; i++)
        F.data[i] = mjmul(F.data[i]);
    return F;
}

// dG/dw = -j C R R = -j G R, transposed: -j R^T G^T.
cmatrix dg_jw(double w)
{
    jw_lu f = factor_jw(w);
    if (f.singular)
        return infinite_cmatrix(1, f.n);
    cmatrix G = g_from(f);
    solve_jw(f, 'T', G.data, 1);
    for (int i = 0; i < f.n; i++)
        G.data[i] = mjmul(G.data[i]);
    return G;
}

complex dh_jw(double w)
{
    cmatrix dF = df_jw(w);
    complex d = c_dot(dF.data, fst.ana_ss.n);
    cfreem(&dF);
    return d;
}

double group_delay(complex z, complex dz)
{
    return (z.im * dz.re - z.re * dz.im) / (z.re * z.re + z.im * z.im);
}

double delay_h(double w)
{
    return group_delay(h_jw(w), dh_jw(w));
}

matrix delay_f(double w, cmatrix F)
{
    int n = fst.ana_ss.n;
    cmatrix dF = df_jw(w);
    matrix d = newm(1, n);
    for (int i = 0; i < n; i++)
        d.data[i] = group_delay(F.data[i], dF.data[i]);
    cfreem(&dF);
    return d;
}

matrix delay_g(double w, cmatrix G)
{
    int n = fst.ana_ss.n;
    cmatrix dG = dg_jw(w);
    matrix d = newm(1, n);
    for (int i = 0; i < n; i++)
        d.data[i] = group_delay(G.data[i], dG.data[i]);
    cfreem(&dG);
    return d;
}

// Sum of the A, and under mode 1 the B and C, terms of the sensitivity of H
// to the coefficients; weighted by the squared coefficients unless abs.
static double sens_sum(double w, int mode, bool weighted, complex *h_out)
{
    const ss &s = fst.ana_ss;
    int n = s.n;
    jw_lu f = factor_jw(w);
    if (f.singular) {
        if (h_out)
            *h_out = infinite_value();
        return INFINITY;
    }
    cmatrix F = f_from(f);
    cmatrix G = g_from(f);
    if (h_out) {
        complex h = c_dot(F.data, n);
        h.re += s.D;
        *h_out = h;
    }
    double S = 0.0;
    for (int i = 0; i < n; i++) {
        double gi = cmod2(G.data[i]);
        for (int j = 0; j < n; j++) {
            double a = s.A.data[j * n + i];
            double t = gi * cmod2(F.data[j]);
            S += weighted ? a * a * t : t;
        }
    }
    if (mode == 1) {
        for (int i = 0; i < n; i++) {
            double b = s.B.data[i], c = s.C.data[i];
            double gi = cmod2(G.data[i]), fi = cmod2(F.data[i]);
            S += weighted ? b * b * gi + c * c * fi : gi + fi;
        }
    }
    cfreem(&F);
    cfreem(&G);
    return S;
}

double relsens_jw(double w, int mode)
{
    complex h;
    double S = sens_sum(w, mode, true, &h);
    return std::sqrt(S / cmod2(h));
}

double sens_jw(double w, int mode)
{
    return std::sqrt(sens_sum(w, mode, true, nullptr));
}

double abssens_jw(double w, int mode)
{
    return std::sqrt(sens_sum(w, mode, false, nullptr));
}

matrix w_to_identity(matrix W)
{
    matrix V, D;
    eigen(W, &V, &D);
    matrix Di = Misqrt(D);
    matrix T1 = mmul(V, Di);
    freem(&V);
    freem(&D);
    freem(&Di);
    return T1;
}

// W of the analysis filter's size: an undetermined (empty) W gives no figure.
static bool w_fits(const matrix &W)
{
    return fst.ana_ss.n > 0 && W.rows == fst.ana_ss.n && W.cols == fst.ana_ss.n;
}

double dropfact(double w, matrix W, double eps, int renew)
{
    int n = fst.ana_ss.n;
    if (!w_fits(W) && (tst.dropfact_T1.cols == 0 || renew != 0))
        return NAN;
    if (tst.dropfact_T1.cols == 0 || renew != 0) {
        freem(&tst.dropfact_T1);
        freem(&tst.dropfact_T1inv);
        tst.dropfact_T1 = w_to_identity(W);
        tst.dropfact_T1inv = minv(tst.dropfact_T1);
    }
    if (tst.dropfact_T1inv.cols != n)
        return NAN;
    cmatrix F = f_jw(w);
    complex h = h_jw(w);
    cmatrix X = cmmul_rc(tst.dropfact_T1inv, F);
    matrix P = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            complex a = X.data[i], b = X.data[j];
            P.data[j * n + i] = a.re * b.re + a.im * b.im;
        }
    matrix l = ev(P);
    double bound = eps * l.data[n - 1];
    double S = 0.0;
    for (int k = 0; k < n; k++) {
        double lk = l.data[k];
        if (lk < 0.0) {
            if (lk < -bound)
                fprintf(stderr, "Warning in dropfact: eigenvalue %e negative beyond bound\n", lk);
            lk = 0.0;
        }
        S += std::sqrt(lk);
    }
    freem(&l);
    freem(&P);
    cfreem(&X);
    cfreem(&F);
    return n * cmod2(h) / (S * S);
}

// Largest |F_i|^2 and |H|^2 at w.
static void f_max_h(double w, double *m, double *h2, cmatrix *F_out)
{
    jw_lu f = factor_jw(w);
    int n = f.n;
    cmatrix F = f.singular ? infinite_cmatrix(n, 1) : f_from(f);
    complex h = f.singular ? infinite_value() : c_dot(F.data, n);
    if (!f.singular)
        h.re += fst.ana_ss.D;
    *m = 0.0;
    for (int i = 0; i < n; i++)
        if (cmod2(F.data[i]) > *m)
            *m = cmod2(F.data[i]);
    *h2 = cmod2(h);
    if (F_out)
        *F_out = F;
    else
        cfreem(&F);
}

double drfact_jw(double w, matrix W)
{
    if (!w_fits(W))
        return NAN;
    double m, h2;
    f_max_h(w, &m, &h2, nullptr);
    return h2 / m / tr(W);
}

double drscfact_jw(double w, matrix W)
{
    if (!w_fits(W))
        return NAN;
    double m, h2;
    cmatrix F;
    f_max_h(w, &m, &h2, &F);
    int n = fst.ana_ss.n;
    double s = 0.0;
    for (int i = 0; i < n; i++)
        s += cmod2(F.data[i]) * elem(W, i, i);
    cfreem(&F);
    return h2 / s;
}

double dr_jw(double w, const cap_ss &filter, matrix W, double umax)
{
    if (!w_fits(W))
        return NAN;
    double m, h2;
    f_max_h(w, &m, &h2, nullptr);
    double noise = noise_total(filter, W);
    return h2 * umax * umax / m / noise;
}

complex nmat_elem_jw(double w, int i, int j)
{
    int n = fst.ana_ss.n;
    complex z{0.0, 0.0};
    for (int k = 0; k < n; k++) {
        z = jmul(cscale(z, w));
        z.re += fst.nmat[k].data[j * n + i];
    }
    return z;
}

complex c_adj_jw(double w, int j)
{
    int n = fst.ana_ss.n;
    complex s{0.0, 0.0};
    for (int i = 0; i < n; i++)
        s = crlincomb(1.0, s, fst.ana_ss.C.data[i], nmat_elem_jw(w, i, j));
    return s;
}

complex adj_b_jw(double w, int i)
{
    int n = fst.ana_ss.n;
    complex s{0.0, 0.0};
    for (int j = 0; j < n; j++)
        s = crlincomb(1.0, s, fst.ana_ss.B.data[j], nmat_elem_jw(w, i, j));
    return s;
}

double h_sq_integrand(double w)
{
    const int *sel = tst.h_sq_sel;
    complex p = cmul(cmul(c_adj_jw(w, sel[0]), adj_b_jw(w, sel[1])),
                     cmul(c_adj_jw(-w, sel[2]), adj_b_jw(-w, sel[3])));
    double d2 = cmod2(den_jw(w));
    return p.re / (d2 * d2);
}
