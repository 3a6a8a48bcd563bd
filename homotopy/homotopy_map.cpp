#include "homotopy/homotopy_map.h"

#include <algorithm>
#include <numeric>

#include "homotopy/complex_ops.h"

namespace {

// Lengths of the 19 real and 7 integer pieces, in order.
void piece_lengths(long long n, long long m, long long *rl, long long *il)
{
    const long long n2 = 2 * n;
    const long long lens[HOM_RB_PIECES] = {n2,     2 * (n + 1), n * m,  n2,     n2 * n2, n2,
                                           n2,     n2,          n2,     n2,     n2,      n2,
                                           n2,     n2 * (n + 1), 2 * (n + 1) * n * m,
                                           n2 * m, 2 * (n + 1) * n * m, n2,     n2};
    std::copy(lens, lens + HOM_RB_PIECES, rl);
    const long long ilens[HOM_IB_PIECES] = {1, 1, 25, 15, n, n, n * (n + 1) * m};
    std::copy(ilens, ilens + HOM_IB_PIECES, il);
}

}  // namespace

long long hom_real_block_length(long long n, long long m)
{
    long long rl[HOM_RB_PIECES], il[HOM_IB_PIECES];
    piece_lengths(n, m, rl, il);
    return std::accumulate(rl, rl + HOM_RB_PIECES, 0LL);
}

long long hom_int_block_length(long long n, long long m)
{
    long long rl[HOM_RB_PIECES], il[HOM_IB_PIECES];
    piece_lengths(n, m, rl, il);
    return std::accumulate(il, il + HOM_IB_PIECES, 0LL);
}

void hom_block_starts(int n, int m, int *ipar)
{
    long long rl[HOM_RB_PIECES], il[HOM_IB_PIECES];
    piece_lengths(n, m, rl, il);
    ipar[HOM_IB_N] = n;
    ipar[HOM_IB_M] = m;
    long long pos = 0;
    for (int i = 0; i < HOM_RB_PIECES; i++) {
        ipar[HOM_IB_REAL_STARTS + i] = static_cast<int>(pos);
        pos += rl[i];
    }
    pos = 0;
    for (int i = 0; i < HOM_IB_PIECES; i++) {
        ipar[HOM_IB_INT_STARTS + i] = static_cast<int>(pos);
        pos += il[i];
    }
}

void hom_eval_start(int n, const double *x, const int *deg, const double *q, const double *p, double *xdm1,
                    double *xd, double *qxdm1, double *qxd, double *g, double *dg)
{
    for (int j = 0; j < n; j++) {
        const int dm1 = deg[j] - 1;
        hom_cpow(dm1, x + 2 * j, xdm1 + 2 * j);
        hom_cmul(x + 2 * j, xdm1 + 2 * j, xd + 2 * j);
    }
    for (int j = 0; j < n; j++) {
        hom_cmul(q + 2 * j, xdm1 + 2 * j, qxdm1 + 2 * j);
        hom_cmul(q + 2 * j, xd + 2 * j, qxd + 2 * j);
    }
    for (int j = 0; j < n; j++) {
        g[2 * j] = qxd[2 * j] - p[2 * j];
        g[2 * j + 1] = qxd[2 * j + 1] - p[2 * j + 1];
        dg[2 * j] = deg[j] * qxdm1[2 * j];
        dg[2 * j + 1] = deg[j] * qxdm1[2 * j + 1];
    }
}

void hom_eval_target(int n, int m, const double *x, const int *tc, const int *e, const double *c,
                     const double *coef, double *f, double *df, double *pw, double *term, double *dterm,
                     double *cx, double *dxnp1)
{
    const int np1 = n + 1;
    auto E = [&](int j, int i, int k) { return e[j + i * n + k * n * np1]; };
    auto P = [&](int j, int i, int k) { return pw + 2 * (j + i * n + k * n * np1); };
    auto T = [&](int j, int k) { return term + 2 * (j + k * n); };
    auto DT = [&](int j, int i, int k) { return dterm + 2 * (j + i * n + k * n * np1); };
    auto DF = [&](int j, int i) { return df + 2 * (j + i * n); };
    (void)m;

    // The homogenising coordinate and its derivatives.
    double xnp1[2] = {c[2 * n], c[2 * n + 1]};
    for (int j = 0; j < n; j++) {
        hom_cmul(c + 2 * j, x + 2 * j, cx + 2 * j);
        xnp1[0] += cx[2 * j];
        xnp1[1] += cx[2 * j + 1];
        dxnp1[2 * j] = c[2 * j];
        dxnp1[2 * j + 1] = c[2 * j + 1];
    }
    auto X = [&](int i) { return i < n ? x + 2 * i : xnp1; };

    for (int j = 0; j < n; j++) {
        f[2 * j] = f[2 * j + 1] = 0.0;
        for (int i = 0; i < np1; i++)
            DF(j, i)[0] = DF(j, i)[1] = 0.0;
        for (int k = 0; k < tc[j]; k++) {
            double *t = T(j, k);
            t[0] = coef[k * n + j];
            t[1] = 0.0;
            for (int i = 0; i < np1; i++) {
                hom_cpow(E(j, i, k), X(i), P(j, i, k));
                hom_cmul(t, P(j, i, k), t);
            }
            f[2 * j] += t[0];
            f[2 * j + 1] += t[1];
            for (int i = 0; i < np1; i++) {
                double *d = DT(j, i, k);
                const int eji = E(j, i, k);
                if (eji == 0) {
                    d[0] = d[1] = 0.0;
                    continue;
                }
                int flag = 0;
                hom_cdiv(t, X(i), d, flag);
                if (flag != 0) {
                    // x_i is (nearly) 0: form the product without it.
                    d[0] = coef[k * n + j];
                    d[1] = 0.0;
                    for (int l = 0; l < np1; l++)
                        if (l != i)
                            hom_cmul(d, P(j, l, k), d);
                    double pm1[2];
                    hom_cpow(eji - 1, X(i), pm1);
                    hom_cmul(d, pm1, d);
                }
                d[0] *= eji;
                d[1] *= eji;
                DF(j, i)[0] += d[0];
                DF(j, i)[1] += d[1];
            }
        }
    }
    // Chain rule through x_(n+1) = c_(n+1) + sum c_i x_i.
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double t[2];
            hom_cmul(DF(j, n), c + 2 * i, t);
            DF(j, i)[0] += t[0];
            DF(j, i)[1] += t[1];
        }
}

void hom_eval_core(int n, int m, const double *p, double lambda, const double *x, const int *deg, const int *tc,
                   const int *e, const double *q, const double *c, const double *coef, double *h, double *dhdx,
                   double *dhdl, double *xdm1, double *xd, double *g, double *dg, double *qxdm1, double *qxd,
                   double *f, double *df, double *pw, double *term, double *dterm, double *cx, double *dxnp1)
{
    hom_eval_start(n, x, deg, q, p, xdm1, xd, qxdm1, qxd, g, dg);
    hom_eval_target(n, m, x, tc, e, c, coef, f, df, pw, term, dterm, cx, dxnp1);
    const double oml = 1.0 - lambda;
    const int nn = 2 * n;
    auto D = [&](int r, int col) -> double & { return dhdx[col * nn + r]; };
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            const double re = lambda * df[2 * (j + i * n)];
            const double im = lambda * df[2 * (j + i * n) + 1];
            D(2 * j, 2 * i) = re;
            D(2 * j + 1, 2 * i + 1) = re;
            D(2 * j + 1, 2 * i) = im;
            D(2 * j, 2 * i + 1) = -im;
        }
    for (int j = 0; j < n; j++) {
        D(2 * j, 2 * j) += oml * dg[2 * j];
        D(2 * j + 1, 2 * j + 1) = D(2 * j, 2 * j);
        D(2 * j + 1, 2 * j) += oml * dg[2 * j + 1];
        D(2 * j, 2 * j + 1) = -D(2 * j + 1, 2 * j);
    }
    for (int j = 0; j < nn; j++) {
        dhdl[j] = f[j] - g[j];
        h[j] = lambda * f[j] + oml * g[j];
    }
}

void hom_eval(const double *p, const double &lambda, const double *x, double *par, const int *ipar)
{
    const int n = ipar[HOM_IB_N], m = ipar[HOM_IB_M];
    const int *rs = ipar + HOM_IB_REAL_STARTS;
    const int *is = ipar + HOM_IB_INT_STARTS;
    auto R = [&](int piece) { return par + rs[piece]; };
    hom_eval_core(n, m, p, lambda, x, ipar + is[HOM_IB_DEG], ipar + is[HOM_IB_TC], ipar + is[HOM_IB_EXP],
                  R(HOM_RB_Q), R(HOM_RB_PROJ), R(HOM_RB_COEF), R(HOM_RB_H), R(HOM_RB_DHDX), R(HOM_RB_DHDL),
                  R(HOM_RB_XDM1), R(HOM_RB_XD), R(HOM_RB_G), R(HOM_RB_DG), R(HOM_RB_QXDM1), R(HOM_RB_QXD),
                  R(HOM_RB_F), R(HOM_RB_DF), R(HOM_RB_POW), R(HOM_RB_TERM), R(HOM_RB_DTERM), R(HOM_RB_CX),
                  R(HOM_RB_DXNP1));
}

void hom_value(const double *p, const double &lambda, const double *x, double *result, double *par, int *ipar)
{
    const double lam = lambda < 0.0 ? 0.0 : lambda;
    hom_eval(p, lam, x, par, ipar);
    const int nn = 2 * ipar[HOM_IB_N];
    const double *h = par + ipar[HOM_IB_REAL_STARTS + HOM_RB_H];
    std::copy(h, h + nn, result);
}

void hom_jacobian(const double *p, const double &lambda, const double *x, double *result, const int &K, double *par,
                  int *ipar)
{
    const int nn = 2 * ipar[HOM_IB_N];
    const int *rs = ipar + HOM_IB_REAL_STARTS;
    if (K == 1) {
        const double lam = lambda < 0.0 ? 0.0 : lambda;
        hom_eval(p, lam, x, par, ipar);
        const double *d = par + rs[HOM_RB_DHDL];
        std::copy(d, d + nn, result);
        return;
    }
    const double *col = par + rs[HOM_RB_DHDX] + static_cast<long long>(K - 2) * nn;
    std::copy(col, col + nn, result);
}
