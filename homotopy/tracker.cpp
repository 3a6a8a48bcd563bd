#include "homotopy/tracker.h"

#include <algorithm>
#include <cmath>
#include <complex>
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

// a . b over len components with stride 1; the tangent's vectors are too
// short for a library call to pay.
inline double dot(int len, const double *a, const double *b)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        s0 += a[i] * b[i];
        s1 += a[i + 1] * b[i + 1];
        s2 += a[i + 2] * b[i + 2];
        s3 += a[i + 3] * b[i + 3];
    }
    for (; i < len; i++)
        s0 += a[i] * b[i];
    return (s0 + s1) + (s2 + s3);
}

// y := y - t x over len components.
inline void sub_multiple(int len, double t, const double *__restrict x, double *__restrict y)
{
    for (int i = 0; i < len; i++)
        y[i] -= t * x[i];
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

void hom_track_path(int entry, double lambda_stop, const int &N, double *y, int &flag, double &arcre,
                    double &arcae, double &ansre, double &ansae, const int &trace, double *p, int &nfe,
                    double &arclen, double *yp, double *yold, double *ypold, double *qr, double *alpha, double *tz,
                    int *pivot, double *w, double *wp, double *z0, double *z1, double *sspar, double *par,
                    int *ipar)
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
        if (y[0] < 1.0 && y[0] >= lambda_stop) {
            flag = 8;
            arclen = ts.s;
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
    hom_track_path(1, 2.0, N, y, flag, arcre, arcae, ansre, ansae, trace, p, nfe, arclen, yp, yold, ypold, qr,
                   alpha, tz, pivot, w, wp, z0, z1, sspar, par, ipar);
}

void hom_track_entry1_until(const double &lambda_stop, const int &N, double *y, int &flag, double &arcre,
                            double &arcae, double &ansre, double &ansae, const int &trace, double *p, int &nfe,
                            double &arclen, double *yp, double *yold, double *ypold, double *qr, double *alpha,
                            double *tz, int *pivot, double *w, double *wp, double *z0, double *z1, double *sspar,
                            double *par, int *ipar)
{
    hom_track_path(1, lambda_stop, N, y, flag, arcre, arcae, ansre, ansae, trace, p, nfe, arclen, yp, yold, ypold, qr,
                   alpha, tz, pivot, w, wp, z0, z1, sspar, par, ipar);
}

void hom_track_entry0(const int &N, double *y, int &flag, double &arcre, double &arcae, double &ansre,
                      double &ansae, const int &trace, double *p, int &nfe, double &arclen, double *yp,
                      double *yold, double *ypold, double *qr, double *alpha, double *tz, int *pivot, double *w,
                      double *wp, double *z0, double *z1, double *sspar, double *par, int *ipar)
{
    hom_track_path(0, 2.0, N, y, flag, arcre, arcae, ansre, ansae, trace, p, nfe, arclen, yp, yold, ypold, qr,
                   alpha, tz, pivot, w, wp, z0, z1, sspar, par, ipar);
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
    // The largest step is relative where the path is far out in the chart
    // (a path passing near the chart's own infinity): there the corrector's
    // tolerance is relative as well.
    hnew = std::min(hnew, sspar[4] * std::max(1.0, norm(np1, y)));
    h = hnew;
    if (itnum == 1)
        h = std::max(h, hold);
    else if (itnum == 4)
        h = std::min(h, hold);
    if (fail)
        h = std::min(h, hfail);
}

namespace {

// The tangent and the Newton step of the polynomial homotopy from its
// complex Jacobian. The columns of the real matrix qr (N = 2n rows) are
// dH/dlambda, then Re and Im parts of the complex columns of dH/dx (each
// complex column i, interleaved, is real column 1 + 2i), then H. Where
// dH/dx is regular, its LU factors with partial pivoting give v = dH/dx^-1
// dH/dlambda and w = dH/dx^-1 H: the tangent is (1, -v) normalised, and
// the step (0, -w) made normal to it is the minimum-norm Newton step, as
// the pivoted QR gives them, at a fraction of its cost. False, with qr
// overwritten, where a pivot is below 1e-8 of the largest (a turning point
// or a singular end ahead): the QR takes over there.
bool complex_tangent(double *yp, const double *ypold, double *qr, double *tz, int N)
{
    using cplx = std::complex<double>;
    const int n = N / 2;
    auto col = [&](int c) { return reinterpret_cast<cplx *>(qr + static_cast<long long>(c) * N); };
    auto A = [&](int j, int i) -> cplx & { return col(1 + 2 * i)[j]; };
    cplx *b1 = col(0), *b2 = col(N + 1);
    // Magnitudes are compared squared.
    auto inverse = [](cplx z) { return std::conj(z) / std::norm(z); };
    double top = 0.0, low = HUGE_VAL;
    for (int k = 0; k < n; k++) {
        int piv = k;
        double best = std::norm(A(k, k));
        for (int j = k + 1; j < n; j++) {
            const double a = std::norm(A(j, k));
            if (a > best) {
                best = a;
                piv = j;
            }
        }
        if (!(best > 0.0))
            return false;
        top = std::max(top, best);
        low = std::min(low, best);
        if (piv != k) {
            for (int i = 0; i < n; i++)
                std::swap(A(k, i), A(piv, i));
            std::swap(b1[k], b1[piv]);
            std::swap(b2[k], b2[piv]);
        }
        const cplx d = inverse(A(k, k));
        for (int j = k + 1; j < n; j++) {
            const cplx l = A(j, k) * d;
            if (l == 0.0)
                continue;
            for (int i = k + 1; i < n; i++)
                A(j, i) -= l * A(k, i);
            b1[j] -= l * b1[k];
            b2[j] -= l * b2[k];
        }
    }
    if (!(low >= 1e-16 * top))
        return false;
    for (int k = n - 1; k >= 0; k--) {
        cplx s1 = b1[k], s2 = b2[k];
        for (int i = k + 1; i < n; i++) {
            s1 -= A(k, i) * b1[i];
            s2 -= A(k, i) * b2[i];
        }
        const cplx d = inverse(A(k, k));
        b1[k] = s1 * d;
        b2[k] = s2 * d;
    }
    const int np1 = N + 1;
    yp[0] = 1.0;
    tz[0] = 0.0;
    for (int i = 0; i < n; i++) {
        yp[1 + 2 * i] = -b1[i].real();
        yp[2 + 2 * i] = -b1[i].imag();
        tz[1 + 2 * i] = -b2[i].real();
        tz[2 + 2 * i] = -b2[i].imag();
    }
    const double ypnorm = norm(np1, yp);
    double d = 0.0;
    for (int j = 0; j < np1; j++) {
        yp[j] /= ypnorm;
        d += yp[j] * ypold[j];
    }
    if (d < 0.0)
        for (int j = 0; j < np1; j++)
            yp[j] = -yp[j];
    const double t = dot(np1, tz, yp);
    for (int j = 0; j < np1; j++)
        tz[j] -= t * yp[j];
    return true;
}

}  // namespace

void hom_tangent(double &rholen, const double *y, double *yp, const double *ypold, const double *p, double *qr,
                 double *alpha, double *tz, int *pivot, int &nfe, const int &N, int &flag, double *par, int *ipar)
{
    const int np1 = N + 1;
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
    if (flag == -2 && complex_tangent(yp, ypold, qr, tz, N))
        return;
    if (flag == -2) {
        // The factors overwrote the columns: take them again from the
        // evaluation, which holds them still.
        for (int K = 1; K <= np1; K++)
            hom_jacobian(p, lambda, x, &Q(0, K - 1), K, par, ipar);
        hom_value(p, lambda, x, &Q(0, np1), par, ipar);
    }

    // Householder QR with column pivoting; the squared column norms are kept
    // in yp meanwhile.
    for (int j = 0; j < np1; j++) {
        yp[j] = dot(N, &Q(0, j), &Q(0, j));
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
        sigma = dot(len, &Q(K, K), &Q(K, K));
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
            const double t = beta * dot(len, &Q(K, K), &Q(K, j));
            sub_multiple(len, t, &Q(K, K), &Q(K, j));
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
    if (dot(np1, yp, ypold) < 0.0)
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
    const double t = dot(np1, tz, yp);
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
