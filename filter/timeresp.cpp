#include "filter/timeresp.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "filter/current.h"
#include "base/error.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/lapack.h"
#include "numeric/matrix.h"

namespace {

typedef std::vector<double> dmat;  // m x m, column-major

void dmul(int m, const dmat &a, const dmat &b, dmat &c)
{
    c.assign((size_t)m * m, 0.0);
    for (int j = 0; j < m; j++)
        for (int k = 0; k < m; k++) {
            double bkj = b[(size_t)j * m + k];
            if (bkj == 0.0)
                continue;
            for (int i = 0; i < m; i++)
                c[(size_t)j * m + i] += a[(size_t)k * m + i] * bkj;
        }
}

// e^X by scaling and squaring with the (6, 6) Pade approximant: X is scaled
// by 2^-s until its 1-norm is at most 1/2, where the approximant is exact
// to rounding; then squared s times.
dmat expm(int m, dmat X)
{
    double norm = 0.0;
    for (int j = 0; j < m; j++) {
        double col = 0.0;
        for (int i = 0; i < m; i++)
            col += std::fabs(X[(size_t)j * m + i]);
        if (col > norm)
            norm = col;
    }
    int s = 0;
    if (norm > 0.5) {
        s = (int)std::ceil(std::log2(norm / 0.5));
        if (s < 0)
            s = 0;
        double f = std::ldexp(1.0, -s);
        for (double &x : X)
            x *= f;
    }
    static const double c[7] = {1.0, 0.5, 5.0 / 44.0, 1.0 / 66.0, 1.0 / 792.0, 1.0 / 15840.0,
                                1.0 / 665280.0};
    dmat N((size_t)m * m, 0.0), D((size_t)m * m, 0.0), P = X, T;
    for (int i = 0; i < m; i++) {
        N[(size_t)i * m + i] = 1.0;
        D[(size_t)i * m + i] = 1.0;
    }
    for (int k = 1; k <= 6; k++) {
        double sign = (k % 2) ? -1.0 : 1.0;
        for (size_t q = 0; q < P.size(); q++) {
            N[q] += c[k] * P[q];
            D[q] += sign * c[k] * P[q];
        }
        if (k < 6) {
            dmul(m, P, X, T);
            P.swap(T);
        }
    }
    std::vector<int> ipiv(m);
    int info = 0;
    dgesv_(&m, &m, D.data(), &m, ipiv.data(), N.data(), &m, &info);
    if (info != 0)
        fatal("expAt: matrix exponential failed");
    for (int k = 0; k < s; k++) {
        dmul(m, N, N, T);
        N.swap(T);
    }
    return N;
}

// e^(At) and its integral from 0 to t, from the exponential of
// [[A t, I t], [0, 0]] = [[e^(At), int_0^t e^(A tau) dtau], [0, I]].
// The last pair computed, for the same filter preparation and time: a time
// table asks for the impulse and step responses of H, F and G at each point.
struct pair_cache {
    unsigned generation = 0;
    double t = 0.0;
    int valid = 0;
    matrix E, I;
};
pair_cache pcache;

void exp_pair_compute(double t, matrix *E, matrix *I)
{
    const matrix &A = fst.ana_ss.A;
    int n = fst.ana_ss.n, m = 2 * n;
    dmat X((size_t)m * m, 0.0);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            X[(size_t)j * m + i] = A.data[j * n + i] * t;
    for (int i = 0; i < n; i++)
        X[(size_t)(n + i) * m + i] = t;
    dmat R = expm(m, X);
    if (E) {
        *E = newm(n, n);
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                E->data[j * n + i] = R[(size_t)j * m + i];
    }
    if (I) {
        *I = newm(n, n);
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                I->data[j * n + i] = R[(size_t)(n + j) * m + i];
    }
}

// Copies of e^(At) and its integral (either pointer may be null).
void exp_pair(double t, matrix *E, matrix *I)
{
    if (!pcache.valid || pcache.generation != fst.expat_generation || pcache.t != t) {
        freem(&pcache.E);
        freem(&pcache.I);
        exp_pair_compute(t, &pcache.E, &pcache.I);
        pcache.generation = fst.expat_generation;
        pcache.t = t;
        pcache.valid = 1;
    }
    if (E)
        *E = mcopy(pcache.E);
    if (I)
        *I = mcopy(pcache.I);
}

// Re(V diag(e) V^-1).
matrix eigen_form(const std::vector<complex> &e)
{
    int n = fst.ana_ss.n;
    const cmatrix &V = fst.expat_V, &Vi = fst.expat_Vinv;
    matrix R = newm(n, n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double s = 0.0;
            for (int k = 0; k < n; k++) {
                complex ve = cmul(V.data[k * n + i], e[k]);
                complex x = Vi.data[j * n + k];
                s += ve.re * x.re - ve.im * x.im;
            }
            R.data[j * n + i] = s;
        }
    return R;
}

void need_eigen(const char *who)
{
    if (fst.expat_eigval.data == nullptr) {
        fprintf(stderr, "%s: no A defined.\n", who);
        fatal_cleanup();
        exit(1);
    }
}

}  // namespace

matrix expAt(double t)
{
    need_eigen("expAt");
    if (fst.expat_defective) {
        matrix E;
        exp_pair(t, &E, nullptr);
        return E;
    }
    int n = fst.ana_ss.n;
    std::vector<complex> e(n);
    for (int i = 0; i < n; i++)
        e[i] = cexp_t(fst.expat_eigval.data[i * n + i], t);
    return eigen_form(e);
}

matrix int_expAt(double t)
{
    need_eigen("int_expAt");
    if (fst.expat_defective) {
        matrix I;
        exp_pair(t, nullptr, &I);
        return I;
    }
    int n = fst.ana_ss.n;
    std::vector<complex> e(n);
    for (int i = 0; i < n; i++) {
        complex l = fst.expat_eigval.data[i * n + i];
        if (l.re == 0.0 && l.im == 0.0) {
            e[i] = complex{t, 0.0};
        } else {
            // e^(l t) - 1 without cancellation, so that an eigenvalue that
            // comes out a rounding error away from 0 still integrates to t.
            double x = l.re * t, y = l.im * t, sh = std::sin(y / 2);
            complex em1{std::expm1(x) * std::cos(y) - 2 * sh * sh, std::exp(x) * std::sin(y)};
            e[i] = crdiv(em1, l);
        }
    }
    return eigen_form(e);
}

double h_t(double t)
{
    if (t < 0.0)
        return 0.0;
    matrix E = expAt(t);
    matrix x = mmul3(fst.ana_ss.C, E, fst.ana_ss.B);
    double v = x.data[0];
    freem(&x);
    freem(&E);
    return v;
}

matrix f_t(double t)
{
    if (t < 0.0)
        return newm(fst.ana_ss.n, 1);
    matrix E = expAt(t);
    matrix r = mmul(E, fst.ana_ss.B);
    freem(&E);
    return r;
}

matrix g_t(double t)
{
    if (t < 0.0)
        return newm(1, fst.ana_ss.n);
    matrix E = expAt(t);
    matrix r = mmul(fst.ana_ss.C, E);
    freem(&E);
    return r;
}

double hs_t(double t)
{
    if (t < 0.0)
        return 0.0;
    matrix I = int_expAt(t);
    matrix x = mmul3(fst.ana_ss.C, I, fst.ana_ss.B);
    double v = x.data[0] + fst.ana_ss.D;
    freem(&x);
    freem(&I);
    return v;
}

matrix fs_t(double t)
{
    if (t < 0.0)
        return newm(fst.ana_ss.n, 1);
    matrix I = int_expAt(t);
    matrix r = mmul(I, fst.ana_ss.B);
    freem(&I);
    return r;
}

matrix gs_t(double t)
{
    if (t < 0.0)
        return newm(1, fst.ana_ss.n);
    matrix I = int_expAt(t);
    matrix r = mmul(fst.ana_ss.C, I);
    freem(&I);
    return r;
}
