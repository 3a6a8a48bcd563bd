#include "homotopy/scale.h"

#include <cmath>

#include "homotopy/complex_ops.h"
#include "homotopy/machine.h"
#include "numeric/lapack.h"

namespace {

// Start of row K (0-based) of an upper triangle of the given order packed by rows.
inline int packed_row(int K, int order)
{
    return K * order - K * (K - 1) / 2;
}

}  // namespace

void hom_qr_factor(double *M, double *R, const int &order, int &flag)
{
    const int one = 1;
    flag = 0;
    auto at = [&](int i, int j) -> double & { return M[j * order + i]; };
    for (int K = 0; K < order - 1; K++) {
        const int len = order - K;
        const double nrm = dnrm2_(&len, &at(K, K), &one);
        if (nrm == 0.0) {
            flag = 4;
            return;
        }
        const double sg = at(K, K) >= 0.0 ? 1.0 : -1.0;
        double *rk = R + packed_row(K, order);
        rk[0] = -sg * nrm;
        const double scale = sg / nrm;
        dscal_(&len, &scale, &at(K, K), &one);
        at(K, K) = 1.0 + at(K, K);
        for (int J = K + 1; J < order; J++) {
            const double t = ddot_(&len, &at(K, K), &one, &at(K, J), &one) / at(K, K);
            rk[J - K] = at(K, J) - t * at(K, K);
            for (int i = K + 1; i < order; i++)
                at(i, J) -= t * at(i, K);
        }
    }
    const int last = order - 1;
    R[packed_row(last, order)] = at(last, last);
    if (at(last, last) == 0.0) {
        flag = 4;
        return;
    }
    // Accumulate Q = H_1 ... H_(order-1) backward over the stored reflection
    // vectors (v with v_K = M(K,K) >= 1, H = I - v v^T / v_K), then transpose.
    for (int j = 1; j < order; j++)
        for (int i = 0; i < j; i++)
            at(i, j) = 0.0;
    for (int i = last; i < order; i++)
        at(i, last) = 0.0;
    at(last, last) = 1.0;
    for (int K = order - 2; K >= 0; K--) {
        // The reflection vector of step K is column K from row K; keep it
        // in the strict lower part while column K becomes e_K.
        const double vk = at(K, K);
        for (int J = K + 1; J < order; J++) {
            double sum = 0.0;  // column J is zero in row K
            for (int i = K + 1; i < order; i++)
                sum += at(i, K) * at(i, J);
            const double t = sum / vk;
            at(K, J) = -t * vk;
            for (int i = K + 1; i < order; i++)
                at(i, J) -= t * at(i, K);
        }
        // Column K: H e_K = e_K - v v_K / v_K = e_K - v.
        at(K, K) = 1.0 - vk;
        for (int i = K + 1; i < order; i++)
            at(i, K) = -at(i, K);
    }
    for (int j = 1; j < order; j++)
        for (int i = 0; i < j; i++) {
            const double t = at(i, j);
            at(i, j) = at(j, i);
            at(j, i) = t;
        }
}

void hom_qr_solve(const double *M, const double *R, double *b, double *work, const int &order)
{
    for (int i = 0; i < order; i++) {
        double sum = 0.0;
        for (int j = 0; j < order; j++)
            sum += M[j * order + i] * b[j];
        work[i] = sum;
    }
    for (int i = order - 1; i >= 0; i--) {
        const double *ri = R + packed_row(i, order);
        double sum = work[i];
        for (int j = i + 1; j < order; j++)
            sum -= ri[j - i] * b[j];
        b[i] = sum / ri[0];
    }
}

void hom_scale(const int &n, const int &ld, const int &m, const int *term_count, const int *e, const int &reuse,
               const double &zero_tol, const double *coef, int *kept_count, int *kept_e, double *kept_coef,
               double *M, double *b, double *R, double *work, double *v, double *f, double *scaled, int &fail)
{
    const double big = D1MACH(2);
    const double u = D1MACH(4);
    const int order = 2 * n;
    (void)m;  // the term capacity: kept_e and kept_coef hold up to m terms
    fail = 0;
    auto E = [&](long long j, long long i, long long k) { return e[j + i * ld + k * ld * (ld + 1LL)]; };
    auto KE = [&](int j, int i, int k) -> int & { return kept_e[j + i * n + k * n * n]; };

    // The kept terms of every equation, in order.
    for (int j = 0; j < n; j++) {
        int c = 0;
        for (int k = 0; k < term_count[j]; k++) {
            const double a = coef[static_cast<long long>(k) * ld + j];
            if (std::fabs(a) > zero_tol) {
                kept_coef[c * n + j] = a;
                for (int i = 0; i < n; i++)
                    KE(j, i, c) = E(j, i, k);
                c++;
            }
        }
        kept_count[j] = c;
    }
    auto L = [&](int j, int k) { return std::log10(std::fabs(kept_coef[k * n + j])); };

    auto give_up = [&]() {
        fail = 1;
        for (int i = 0; i < n; i++)
            v[i] = f[i] = 0.0;
        for (int j = 0; j < n; j++)
            for (int k = 0; k < term_count[j]; k++)
                scaled[k * n + j] = coef[static_cast<long long>(k) * ld + j];
    };

    if (reuse == 0) {
        for (int i = 0; i < order * order; i++)
            M[i] = 0.0;
        auto Mat = [&](int r, int c) -> double & { return M[c * order + r]; };
        for (int j = 0; j < n; j++) {
            Mat(j, j) = kept_count[j];
            for (int i = 0; i < n; i++) {
                double s = 0.0;
                for (int k = 0; k < kept_count[j]; k++)
                    s += KE(j, i, k);
                Mat(j, n + i) = Mat(n + i, j) = s;
            }
        }
        for (int i = 0; i < n; i++)
            for (int l = 0; l < n; l++) {
                double s = 0.0;
                for (int j = 0; j < n; j++)
                    for (int k = 0; k < kept_count[j]; k++)
                        s += static_cast<double>(KE(j, i, k)) * KE(j, l, k);
                Mat(n + i, n + l) = s;
            }
        for (int i = 0; i < n * (order + 1); i++)
            R[i] = 0.0;
        int qflag = 0;
        hom_qr_factor(M, R, order, qflag);
        if (qflag != 0) {
            // A variable or equation that no kept term determines: the
            // factorisation stopped part way, so there is no scaling.
            give_up();
            return;
        }
        // A diagonal of R far below the largest entry marks a (nearly)
        // singular problem; it is replaced by big, which drives its
        // exponent to about 0.
        const int len = n * (order + 1), one = 1;
        const double tol = std::fabs(R[idamax_(&len, R, &one) - 1]) * order * u;
        for (int K = 0; K < order; K++) {
            double &d = R[packed_row(K, order)];
            if (!(std::fabs(d) >= tol)) {
                d = big;
                fail = 1;
            }
        }
    }

    for (int j = 0; j < n; j++) {
        double s = 0.0;
        for (int k = 0; k < kept_count[j]; k++)
            s += L(j, k);
        b[j] = -s;
    }
    for (int i = 0; i < n; i++) {
        double s = 0.0;
        for (int j = 0; j < n; j++)
            for (int k = 0; k < kept_count[j]; k++)
                s += KE(j, i, k) * L(j, k);
        b[n + i] = -s;
    }
    hom_qr_solve(M, R, b, work, order);
    if (fail) {
        // The coefficients stay unscaled, so the variables must too.
        give_up();
        return;
    }
    for (int j = 0; j < n; j++)
        f[j] = b[j];
    for (int i = 0; i < n; i++)
        v[i] = b[n + i];

    for (int j = 0; j < n; j++)
        for (int k = 0; k < term_count[j]; k++) {
            const double a = coef[static_cast<long long>(k) * ld + j];
            if (a == 0.0) {
                scaled[k * n + j] = 0.0;
                continue;
            }
            double ex = std::log10(std::fabs(a)) + f[j];
            for (int i = 0; i < n; i++)
                ex += E(j, i, k) * v[i];
            scaled[k * n + j] = std::copysign(std::pow(10.0, ex), a);
        }
}

void hom_to_affine(const int &n, const double *c, const double *v, double *scratch, double *x, double *xnp1)
{
    const double big = D1MACH(2);
    xnp1[0] = c[2 * n];
    xnp1[1] = c[2 * n + 1];
    for (int j = 0; j < n; j++) {
        hom_cmul(c + 2 * j, x + 2 * j, scratch + 2 * j);
        xnp1[0] += scratch[2 * j];
        xnp1[1] += scratch[2 * j + 1];
    }
    for (int j = 0; j < n; j++) {
        int flag = 0;
        hom_cdiv(x + 2 * j, xnp1, x + 2 * j, flag);
        const double fac = std::pow(10.0, v[j]);
        for (int part = 0; part < 2; part++) {
            double &xp = x[2 * j + part];
            if ((std::fabs(xp) / big) * fac < 1.0)
                xp *= fac;
        }
    }
}
