#include "homotopy/tracker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/globals.h"
#include "homotopy/end_game.h"
#include "homotopy/hermite.h"
#include "homotopy/homotopy_map.h"
#include "homotopy/machine.h"
#include "numeric/lapack.h"

namespace {

// State of the path being tracked; it lets a call with flag 2 or 3 go on
// where the last one stopped, and is renewed when a path starts.
struct track_state {
    int n = 0;
    int nfe = 0;
    int iflagc = 0;
    int start = 1;
    int crash = 0;
    double hold = 1.0;
    double h = 0.10000000149011612;
    double s = 0.0;
    int limit = 1000;
    double relerr = 0.0, abserr = 0.0;
};
track_state ts;

const int step_limit = 1000;

double norm(int len, const double *x)
{
    const int one = 1;
    return dnrm2_(&len, x, &one);
}

// |a - b| over len components.
double dist(int len, const double *a, const double *b)
{
    double scale = 0.0, ssq = 1.0;
    for (int i = 0; i < len; i++) {
        const double d = std::fabs(a[i] - b[i]);
        if (d == 0.0)
            continue;
        if (scale < d) {
            ssq = 1.0 + ssq * (scale / d) * (scale / d);
            scale = d;
        } else {
            ssq += (d / scale) * (d / scale);
        }
    }
    return scale * std::sqrt(ssq);
}

void trace_record(int iter, int nfe, double s, const double *y, int N)
{
    FILE *fp = report_stream();
    std::fprintf(fp, "\n STEP%5d   NFE =%5d   ARC LENGTH =%9.4f   LAMBDA =%7.4f     X vector:\n", iter, nfe, s,
                 y[0]);
    for (int i = 0; i < N; i++) {
        if (i % 6 == 0)
            std::fputc(' ', fp);
        std::fprintf(fp, "%12.4E", y[i + 1]);
        if (i % 6 == 5 || i == N - 1)
            std::fputc('\n', fp);
    }
}

// Places v[k] at position pivot[k] - 1 for k = 0..len-1, in place, by
// following the cycles of the permutation.
void unpermute(double *v, int *pivot, int len)
{
    for (int k0 = 0; k0 < len; k0++) {
        if (pivot[k0] < 0)
            continue;
        int k = k0;
        double carry = v[k0];
        while (pivot[k] > 0) {
            const int dest = pivot[k] - 1;
            pivot[k] = -pivot[k];
            const double next = v[dest];
            v[dest] = carry;
            carry = next;
            k = dest;
        }
    }
    for (int k = 0; k < len; k++)
        pivot[k] = -pivot[k];
}

void hom_track_path(int entry, const int &N, double *y, int &flag, double &arcre, double &arcae, double &ansre,
                    double &ansae, const int &trace, double *p, int &nfe, double &arclen, double *yp, double *yold,
                    double *ypold, double *qr, double *alpha, double *tz, int *pivot, double *w, double *wp,
                    double *z0, double *z1, double *sspar, double *par, int *ipar)
{
    const int np1 = N + 1;
    if (N < 1 || !(ansre > 0.0) || !(ansae >= 0.0)) {
        flag = 7;
        return;
    }
    if (flag == -2 || flag == -1 || flag == 0) {
        arclen = 0.0;
        if (arcre <= 0.0)
            arcre = 0.5 * std::sqrt(ansre);
        if (arcae <= 0.0)
            arcae = 0.5 * std::sqrt(ansae);
        ts = track_state{};
        ts.n = N;
        ts.iflagc = flag;
        for (int j = 0; j < np1; j++)
            yp[j] = ypold[j] = 0.0;
        yp[0] = ypold[0] = 1.0;
        y[0] = 0.0;
        const double defaults[8] = {0.5,
                                    0.009999999776482582,
                                    0.5,
                                    D1MACH(4) * (static_cast<double>(static_cast<float>(std::sqrt(np1 * 1.0))) + 4.0),
                                    1.0,
                                    0.10000000149011612,
                                    3.0,
                                    2.0};
        for (int i = 0; i < 8; i++)
            if (sspar[i] <= 0.0)
                sspar[i] = defaults[i];
        if (flag == -1 || flag == 0)
            std::copy(y + 1, y + np1, p);
    } else if (flag == 3) {
        ts.limit = step_limit;
    } else if (flag != 2) {
        flag = 7;
        return;
    }

    for (int iter = 1; iter <= ts.limit; iter++) {
        if (y[0] < 0.0) {
            arclen = ts.s;
            flag = 5;
            return;
        }
        // Tighter tolerances where the curve bends sharply.
        ts.relerr = arcre;
        ts.abserr = arcae;
        for (int j = 0; j < np1; j++)
            if (std::fabs(yp[j] - ypold[j]) > 10.0 * ts.hold) {
                ts.relerr = ansre;
                ts.abserr = ansae;
                break;
            }
        hom_step(N, ts.nfe, ts.iflagc, ts.start, ts.crash, ts.hold, ts.h, ts.relerr, ts.abserr, ts.s, y, yp, yold,
                 ypold, p, qr, alpha, tz, pivot, w, wp, z0, z1, sspar, par, ipar);
        if (trace > 0)
            trace_record(iter, ts.nfe, ts.s, y, N);
        nfe = ts.nfe;
        if (ts.iflagc > 0) {
            flag = ts.iflagc;
            arclen = ts.s;
            return;
        }
        if (ts.crash) {
            // The tolerances were too small for the arithmetic: raise them
            // and let the caller decide whether to go on.
            flag = 2;
            arcre = std::max(arcre, ts.relerr);
            ansre = std::max(ansre, ts.relerr);
            arcae = std::max(arcae, ts.abserr);
            ansae = std::max(ansae, ts.abserr);
            ts.limit -= iter;
            return;
        }
        if (y[0] >= 1.0) {
            std::copy(yold, yold + np1, z0);
            hom_end_game(N, ts.nfe, ts.iflagc, ansre, ansae, y, yp, yold, ypold, p, qr, alpha, tz, pivot, w, wp,
                         par, ipar);
            nfe = ts.nfe;
            flag = ts.iflagc > 0 ? ts.iflagc : 1;
            arclen = ts.s - ts.hold + dist(np1, y, z0);
            return;
        }
        if (entry == 1 && yp[0] < 0.0) {
            // lambda turned back: reverse the tangent and start afresh.
            for (int j = 0; j < np1; j++)
                ypold[j] = yp[j] = -yp[j];
            ts.start = 1;
        }
    }
    flag = 3;
    arclen = ts.s;
}

}  // namespace

void hom_track_entry1(const int &N, double *y, int &flag, double &arcre, double &arcae, double &ansre,
                      double &ansae, const int &trace, double *p, int &nfe, double &arclen, double *yp,
                      double *yold, double *ypold, double *qr, double *alpha, double *tz, int *pivot, double *w,
                      double *wp, double *z0, double *z1, double *sspar, double *par, int *ipar)
{
    hom_track_path(1, N, y, flag, arcre, arcae, ansre, ansae, trace, p, nfe, arclen, yp, yold, ypold, qr, alpha, tz,
                   pivot, w, wp, z0, z1, sspar, par, ipar);
}

void hom_track_entry0(const int &N, double *y, int &flag, double &arcre, double &arcae, double &ansre,
                      double &ansae, const int &trace, double *p, int &nfe, double &arclen, double *yp,
                      double *yold, double *ypold, double *qr, double *alpha, double *tz, int *pivot, double *w,
                      double *wp, double *z0, double *z1, double *sspar, double *par, int *ipar)
{
    hom_track_path(0, N, y, flag, arcre, arcae, ansre, ansae, trace, p, nfe, arclen, yp, yold, ypold, qr, alpha, tz,
                   pivot, w, wp, z0, z1, sspar, par, ipar);
}

void hom_step(const int &N, int &nfe, int &flag, int &start, int &crash, double &hold, double &h, double &relerr,
              double &abserr, double &s, double *y, double *yp, double *yold, double *ypold, const double *p,
              double *qr, double *alpha, double *tz, int *pivot, double *w, double *wp, double *z0, double *z1,
              const double *sspar, double *par, int *ipar)
{
    const double u = D1MACH(4), twou = 2.0 * u, fouru = 4.0 * u;
    const int np1 = N + 1;
    crash = 1;
    if (s < 0.0)
        return;
    if (h < fouru * (1.0 + s)) {
        h = fouru * (1.0 + s);
        return;
    }
    const double ny = norm(np1, y);
    if (twou * ny > 0.5 * (relerr * ny + abserr)) {
        if (relerr != 0.0) {
            relerr = fouru * (1.0 + fouru);
            abserr = std::max(abserr, 0.0);
        } else {
            abserr = fouru * ny;
        }
        return;
    }
    crash = 0;

    const bool first = start != 0;
    bool fail = false;
    double hfail = 0.0;
    if (first) {
        start = 0;
        h = std::min({h, 0.1, std::pow(relerr * ny + abserr, 0.25)});
        for (int j = 0; j < np1; j++)
            ypold[j] = 0.0;
        ypold[0] = 1.0;
        double rholen = 0.0;
        hom_tangent(rholen, y, yp, ypold, p, qr, alpha, tz, pivot, nfe, N, flag, par, ipar);
        if (flag > 0)
            return;
    }

    int itnum = 0;
    double dcalc = 0.0, lcalc = 0.0, rcalc = 0.0;
    for (;;) {
        // Predictor: a line at a first step, else the Hermite cubic.
        if (first)
            for (int j = 0; j < np1; j++)
                w[j] = y[j] + h * yp[j];
        else
            for (int j = 0; j < np1; j++)
                w[j] = hom_hermite(yold[j], ypold[j], y[j], yp[j], hold, hold + h);
        std::copy(w, w + np1, z0);

        bool converged = false;
        lcalc = 0.0;
        for (itnum = 1; itnum <= 4; itnum++) {
            double rholen = -1.0;
            hom_tangent(rholen, w, wp, first ? ypold : yp, p, qr, alpha, tz, pivot, nfe, N, flag, par, ipar);
            if (flag > 0)
                return;
            for (int j = 0; j < np1; j++)
                w[j] += tz[j];
            const double tzn = norm(np1, tz);
            if (itnum == 1) {
                dcalc = tzn;
                rcalc = rholen;
                std::copy(w, w + np1, z1);
            } else if (itnum == 2) {
                lcalc = tzn / dcalc;
                rcalc = rholen / rcalc;
            }
            if (tzn <= relerr * norm(np1, w) + abserr) {
                converged = true;
                break;
            }
        }
        if (converged)
            break;
        if (!first) {
            fail = true;
            hfail = h;
        }
        if (h <= fouru * (1.0 + s)) {
            flag = 6;
            return;
        }
        h *= 0.5;
    }

    std::copy(y, y + np1, yold);
    std::copy(yp, yp + np1, ypold);
    std::copy(w, w + np1, y);
    std::copy(wp, wp + np1, yp);
    hold = dist(np1, y, yold);
    s += hold;

    const double den = dist(np1, z0, y);
    const double tcalc = den != 0.0 ? dist(np1, z1, y) / den : 0.0;
    if (itnum == 1)
        lcalc = 0.0;

    double hnew;
    if (lcalc + rcalc + tcalc == 0.0)
        hnew = sspar[6] * hold;
    else
        hnew = std::pow(1.0 / std::max({lcalc / sspar[0], rcalc / sspar[1], tcalc / sspar[2]}), 1.0 / sspar[7]) *
               hold;
    hnew = std::max(hnew, sspar[5] * hold);
    hnew = std::max(hnew, sspar[3]);
    hnew = std::min(hnew, sspar[6] * hold);
    hnew = std::min(hnew, sspar[4]);
    h = hnew;
    if (itnum == 1)
        h = std::max(h, hold);
    else if (itnum == 4)
        h = std::min(h, hold);
    if (fail)
        h = std::min(h, hfail);
}

void hom_tangent(double &rholen, const double *y, double *yp, const double *ypold, const double *p, double *qr,
                 double *alpha, double *tz, int *pivot, int &nfe, const int &N, int &flag, double *par, int *ipar)
{
    const int np1 = N + 1, one = 1;
    auto Q = [&](int i, int j) -> double & { return qr[static_cast<long long>(j) * N + i]; };
    nfe++;
    const double lambda = y[0];
    const double *x = y + 1;
    if (flag == -2) {
        for (int K = 1; K <= np1; K++)
            hom_jacobian(p, lambda, x, &Q(0, K - 1), K, par, ipar);
        hom_value(p, lambda, x, &Q(0, np1), par, ipar);
    } else {
        // Fixed-point homotopies: flag 0 for lambda (x - f(x)) + (1 - lambda)
        // (x - a), flag -1 for lambda f(x) + (1 - lambda) (x - a).
        hom_fixed_point_map(x, &Q(0, 0), par, ipar);
        for (int i = 0; i < N; i++) {
            const double fi = Q(i, 0);
            if (flag == 0) {
                Q(i, np1) = x[i] - p[i] + lambda * (p[i] - fi);
                Q(i, 0) = p[i] - fi;
            } else {
                Q(i, np1) = lambda * fi + (1.0 - lambda) * (x[i] - p[i]);
                Q(i, 0) = fi - x[i] + p[i];
            }
        }
        for (int K = 1; K <= N; K++) {
            hom_fixed_point_jacobian(x, &Q(0, K), K, par, ipar);
            for (int i = 0; i < N; i++) {
                const double d = i == K - 1 ? 1.0 : 0.0;
                Q(i, K) = flag == 0 ? d - lambda * Q(i, K) : lambda * Q(i, K) + (1.0 - lambda) * d;
            }
        }
    }
    if (rholen < 0.0)
        rholen = norm(N, &Q(0, np1));

    // Householder QR with column pivoting; the squared column norms are kept
    // in yp meanwhile.
    for (int j = 0; j < np1; j++) {
        yp[j] = ddot_(&N, &Q(0, j), &one, &Q(0, j), &one);
        pivot[j] = j + 1;
    }
    for (int K = 0; K < N; K++) {
        double sigma = yp[K];
        int jbar = K;
        for (int j = K + 1; j < np1; j++)
            if (sigma < yp[j]) {
                sigma = yp[j];
                jbar = j;
            }
        if (jbar != K) {
            std::swap(pivot[K], pivot[jbar]);
            yp[jbar] = yp[K];
            yp[K] = sigma;
            for (int i = 0; i < N; i++)
                std::swap(Q(i, K), Q(i, jbar));
        }
        const int len = N - K;
        sigma = ddot_(&len, &Q(K, K), &one, &Q(K, K), &one);
        if (sigma == 0.0) {
            flag = 4;
            return;
        }
        if (K == N - 1)
            break;
        alpha[K] = Q(K, K) >= 0.0 ? -std::sqrt(sigma) : std::sqrt(sigma);
        const double beta = 1.0 / (sigma - Q(K, K) * alpha[K]);
        Q(K, K) -= alpha[K];
        for (int j = K + 1; j < N + 2; j++) {
            const double t = beta * ddot_(&len, &Q(K, K), &one, &Q(K, j), &one);
            for (int i = K; i < N; i++)
                Q(i, j) -= t * Q(i, K);
        }
        for (int j = K + 1; j < np1; j++)
            yp[j] -= Q(K, j) * Q(K, j);
    }
    alpha[N - 1] = Q(N - 1, N - 1);

    // Kernel of the Jacobian, back in the original order, as the unit tangent.
    yp[N] = 1.0;
    for (int i = N - 1; i >= 0; i--) {
        double sum = 0.0;
        for (int j = i + 1; j < np1; j++)
            sum += Q(i, j) * yp[j];
        yp[i] = -sum / alpha[i];
    }
    const double ypnorm = norm(np1, yp);
    for (int j = 0; j < np1; j++)
        yp[j] /= ypnorm;
    unpermute(yp, pivot, np1);
    if (ddot_(&np1, yp, &one, ypold, &one) < 0.0)
        for (int j = 0; j < np1; j++)
            yp[j] = -yp[j];

    // Newton step: a solution of the system with the last pivoted unknown
    // 1, made normal to the tangent (the minimum-norm solution).
    tz[N] = 1.0;
    for (int i = N - 1; i >= 0; i--) {
        double sum = Q(i, N) + Q(i, N + 1);
        for (int j = i + 1; j < N; j++)
            sum += Q(i, j) * tz[j];
        tz[i] = -sum / alpha[i];
    }
    unpermute(tz, pivot, np1);
    const double t = ddot_(&np1, tz, &one, yp, &one);
    for (int j = 0; j < np1; j++)
        tz[j] -= t * yp[j];
}

void hom_fixed_point_map(const double *x, double *v, double *par, int *ipar)
{
    (void)x;
    (void)par;
    const int n = 2 * ipar[HOM_IB_N];
    std::fill(v, v + n, 0.0);
}

void hom_fixed_point_jacobian(const double *x, double *v, const int &K, double *par, int *ipar)
{
    (void)x;
    (void)K;
    (void)par;
    const int n = 2 * ipar[HOM_IB_N];
    std::fill(v, v + n, 0.0);
}
