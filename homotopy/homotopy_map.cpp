#include "homotopy/homotopy_map.h"

#include <algorithm>
#include <numeric>
#include <vector>

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

namespace {

// Complex arithmetic on (re, im) pairs, inlined in the evaluation loops.
inline void cmul_to(double ar, double ai, double br, double bi, double *c)
{
    c[0] = ar * br - ai * bi;
    c[1] = ar * bi + ai * br;
}

// z^k for k >= 0 by repeated squaring.
inline void cpow_int(int k, const double *z, double *c)
{
    double rr = 1.0, ri = 0.0, br = z[0], bi = z[1];
    while (k > 0) {
        if (k & 1) {
            const double t = rr * br - ri * bi;
            ri = rr * bi + ri * br;
            rr = t;
        }
        k >>= 1;
        if (k > 0) {
            const double t = br * br - bi * bi;
            bi = 2.0 * br * bi;
            br = t;
        }
    }
    c[0] = rr;
    c[1] = ri;
}

}  // namespace

void hom_eval_start(int n, const double *x, const int *deg, const double *q, const double *p, double *xdm1,
                    double *xd, double *qxdm1, double *qxd, double *g, double *dg)
{
    for (int j = 0; j < n; j++) {
        const double *xj = x + 2 * j;
        if (deg[j] >= 1)
            cpow_int(deg[j] - 1, xj, xdm1 + 2 * j);
        else
            hom_cpow(deg[j] - 1, xj, xdm1 + 2 * j);
        cmul_to(xj[0], xj[1], xdm1[2 * j], xdm1[2 * j + 1], xd + 2 * j);
        cmul_to(q[2 * j], q[2 * j + 1], xdm1[2 * j], xdm1[2 * j + 1], qxdm1 + 2 * j);
        cmul_to(q[2 * j], q[2 * j + 1], xd[2 * j], xd[2 * j + 1], qxd + 2 * j);
        g[2 * j] = qxd[2 * j] - p[2 * j];
        g[2 * j + 1] = qxd[2 * j + 1] - p[2 * j + 1];
        dg[2 * j] = deg[j] * qxdm1[2 * j];
        dg[2 * j + 1] = deg[j] * qxdm1[2 * j + 1];
    }
}

// The target system is evaluated from a table of powers: every x_i^k that a
// term needs is formed once per point, by one multiplication from
// x_i^(k-1). The table lies in the powers piece, which holds it whenever the
// largest exponents are not far beyond the number of terms; otherwise each
// power comes from hom_cpow. A term's derivatives are products of its other
// factors (prefix and suffix products over the variables it holds), so a
// variable at 0 needs no division.
void hom_eval_target(int n, int m, const double *x, const int *tc, const int *e, const double *c,
                     const double *coef, double *f, double *df, double *pw, double *term, double *dterm,
                     double *cx, double *dxnp1)
{
    const int np1 = n + 1;
    auto E = [&](int j, int i, int k) { return e[j + i * n + k * n * np1]; };
    auto DF = [&](int j, int i) { return df + 2 * (j + i * n); };

    // The homogenising coordinate and its derivatives.
    double xnp1[2] = {c[2 * n], c[2 * n + 1]};
    for (int j = 0; j < n; j++) {
        cmul_to(c[2 * j], c[2 * j + 1], x[2 * j], x[2 * j + 1], cx + 2 * j);
        xnp1[0] += cx[2 * j];
        xnp1[1] += cx[2 * j + 1];
        dxnp1[2 * j] = c[2 * j];
        dxnp1[2 * j + 1] = c[2 * j + 1];
    }
    auto X = [&](int i) { return i < n ? x + 2 * i : xnp1; };

    // The largest exponent of each variable, and where its powers start in
    // the table (in complex entries). A variable's row holds x^0 .. x^D.
    // They are the same at every point of a solve: the piece of term
    // derivatives keeps them behind the record of the last point (see
    // hom_eval), marked by 1, where it is long enough.
    constexpr int kStackVars = 64;
    long long off_stack[kStackVars + 1];
    std::vector<long long> off_heap;
    long long *off = off_stack;
    if (np1 > kStackVars) {
        off_heap.resize(np1 + 1);
        off = off_heap.data();
    }
    double *kept = 2LL * np1 * n * m >= 3LL * n + 5 ? dterm + 2 * n + 2 : nullptr;
    if (kept && kept[0] == 1.0) {
        for (int i = 0; i <= np1; i++)
            off[i] = static_cast<long long>(kept[1 + i]);
    } else {
        off[0] = 0;
        for (int i = 0; i < np1; i++) {
            int D = 0;
            for (int j = 0; j < n; j++)
                for (int k = 0; k < tc[j]; k++)
                    D = std::max(D, E(j, i, k));
            off[i + 1] = off[i] + D + 1;
        }
        if (kept) {
            for (int i = 0; i <= np1; i++)
                kept[1 + i] = static_cast<double>(off[i]);
            kept[0] = 1.0;
        }
    }
    const long long table_len = 2LL * np1 * n * m;
    const bool table = 2 * off[np1] <= table_len;
    if (table) {
        for (int i = 0; i < np1; i++) {
            double *row = pw + 2 * off[i];
            const double *xi = X(i);
            row[0] = 1.0;
            row[1] = 0.0;
            const long long D = off[i + 1] - off[i] - 1;
            for (long long k = 1; k <= D; k++)
                cmul_to(row[2 * k - 2], row[2 * k - 1], xi[0], xi[1], row + 2 * k);
        }
    }

    // Per term: the variables with a positive exponent, their powers x^e
    // and x^(e-1), and the prefix products of the coefficient and powers.
    std::vector<int> var_heap;
    std::vector<double> fac_heap;
    int var_stack[kStackVars + 1];
    double fac_stack[4 * (kStackVars + 1)], pre_stack[2 * (kStackVars + 2)];
    int *vars = var_stack;
    double *fac = fac_stack, *pre = pre_stack;
    if (np1 > kStackVars) {
        var_heap.resize(np1);
        fac_heap.resize(6 * np1 + 4);
        vars = var_heap.data();
        fac = fac_heap.data();
        pre = fac + 4 * np1;
    }
    for (int j = 0; j < n; j++) {
        double fr = 0.0, fi = 0.0;
        for (int i = 0; i < np1; i++)
            DF(j, i)[0] = DF(j, i)[1] = 0.0;
        for (int k = 0; k < tc[j]; k++) {
            int nz = 0;
            for (int i = 0; i < np1; i++) {
                const int eji = E(j, i, k);
                if (eji == 0)
                    continue;
                vars[nz] = i;
                double *fz = fac + 4 * nz;  // x^e, then x^(e-1)
                if (table) {
                    const double *row = pw + 2 * off[i];
                    fz[0] = row[2 * eji];
                    fz[1] = row[2 * eji + 1];
                    fz[2] = row[2 * eji - 2];
                    fz[3] = row[2 * eji - 1];
                } else {
                    hom_cpow(eji, X(i), fz);
                    hom_cpow(eji - 1, X(i), fz + 2);
                }
                nz++;
            }
            // pre[l] = coef * prod of the first l powers.
            pre[0] = coef[k * n + j];
            pre[1] = 0.0;
            for (int l = 0; l < nz; l++)
                cmul_to(pre[2 * l], pre[2 * l + 1], fac[4 * l], fac[4 * l + 1], pre + 2 * l + 2);
            double *t = term + 2 * (j + k * n);
            t[0] = pre[2 * nz];
            t[1] = pre[2 * nz + 1];
            fr += t[0];
            fi += t[1];
            // Walking back with the suffix product s of the later powers:
            // d/dx_i = e_i * pre[l] * x_i^(e_i - 1) * s.
            double sr = 1.0, si = 0.0;
            for (int l = nz - 1; l >= 0; l--) {
                const int i = vars[l];
                double a[2], b[2];
                cmul_to(pre[2 * l], pre[2 * l + 1], fac[4 * l + 2], fac[4 * l + 3], a);
                cmul_to(a[0], a[1], sr, si, b);
                const double eji = E(j, i, k);
                double *d = DF(j, i);
                d[0] += eji * b[0];
                d[1] += eji * b[1];
                const double tr = sr * fac[4 * l] - si * fac[4 * l + 1];
                si = sr * fac[4 * l + 1] + si * fac[4 * l];
                sr = tr;
            }
        }
        f[2 * j] = fr;
        f[2 * j + 1] = fi;
    }
    // Chain rule through x_(n+1) = c_(n+1) + sum c_i x_i.
    for (int j = 0; j < n; j++) {
        const double *dn = DF(j, n);
        const double dr = dn[0], di = dn[1];
        if (dr == 0.0 && di == 0.0)
            continue;
        for (int i = 0; i < n; i++) {
            double *d = DF(j, i);
            d[0] += dr * c[2 * i] - di * c[2 * i + 1];
            d[1] += dr * c[2 * i + 1] + di * c[2 * i];
        }
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

// The point of the last evaluation is kept at the head of the piece of term
// derivatives, which the evaluation does not use otherwise: a mark, lambda
// and x. The tracker asks for the value at the point whose Jacobian it has
// just had, and that value is already in the block.
namespace {

double *last_point(double *par, const int *ipar)
{
    return par + ipar[HOM_IB_REAL_STARTS + HOM_RB_DTERM];
}

}  // namespace

void hom_eval_forget(double *par, const int *ipar)
{
    const long long n = ipar[HOM_IB_N], m = ipar[HOM_IB_M];
    double *last = last_point(par, ipar);
    if (m > 0)
        last[0] = 0.0;
    // and the table starts that hom_eval_target keeps behind it
    if (2 * (n + 1) * n * m >= 3 * n + 5)
        last[2 * n + 2] = 0.0;
}

void hom_eval(const double *p, const double &lambda, const double *x, double *par, const int *ipar)
{
    const int n = ipar[HOM_IB_N], m = ipar[HOM_IB_M];
    const int *rs = ipar + HOM_IB_REAL_STARTS;
    const int *is = ipar + HOM_IB_INT_STARTS;
    auto R = [&](int piece) { return par + rs[piece]; };
    double *last = last_point(par, ipar);
    if (last[0] == 1.0 && last[1] == lambda && std::equal(x, x + 2 * n, last + 2))
        return;
    last[0] = 1.0;
    last[1] = lambda;
    std::copy(x, x + 2 * n, last + 2);
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
