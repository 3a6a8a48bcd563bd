#include "homotopy/solve.h"

#include <algorithm>
#include <climits>

#include "homotopy/homotopy_map.h"
#include "homotopy/scale.h"
#include "homotopy/start_system.h"
#include "homotopy/tracker.h"

// The lengths are formed in 128 bits and held at LLONG_MAX, so that any
// int arguments give an answer that compares correctly with an int length.
namespace {

long long clamp_length(__int128 len)
{
    return len > LLONG_MAX ? LLONG_MAX : static_cast<long long>(len);
}

}  // namespace

long long hom_real_work_length(long long n, long long m)
{
    const __int128 N = n, M = m;
    return clamp_length(21 + 61 * N + 10 * N * N + 7 * N * M + 4 * N * N * M);
}

long long hom_int_work_length(long long n, long long m)
{
    const __int128 N = n, M = m;
    return clamp_length(43 + 7 * N + N * (N + 1) * M);
}

void hom_solve(const int &n, const int *term_count, double *coef, int *e, int &mode, int *path_flag,
               const double &track_tol, const double &end_tol, const double *step_param, int &max_restarts,
               const int &ld, const int &max_terms, const int &total_degree, const int &real_work_len,
               const int &int_work_len, double *lambda, double *roots, double *arc_length, int *eval_count,
               double *real_work, int *int_work)
{
    const int m = max_terms;
    if (n < 1 || ld < n) {
        mode = -1;
        return;
    }
    for (int j = 0; j < n; j++)
        if (term_count[j] < 0 || term_count[j] > m) {
            mode = -2;
            return;
        }
    // The total degree, in 64 bits and held at INT_MAX + 1 once beyond an
    // int, so that an overlarge product is refused rather than wrapped.
    const long long too_many = static_cast<long long>(INT_MAX) + 1;
    long long T = 1;
    for (int j = 0; j < n; j++) {
        long long d = 0;
        for (int k = 0; k < term_count[j]; k++) {
            long long sum = 0;
            for (int i = 0; i < n; i++) {
                const int x = e[j + static_cast<long long>(i) * ld + static_cast<long long>(k) * ld * (ld + 1LL)];
                if (x < 0) {
                    mode = -3;
                    return;
                }
                sum += x;
            }
            d = std::max(d, sum);
        }
        if (d > INT_MAX) {
            mode = -3;
            return;
        }
        T = std::min(T * d, too_many);
    }
    if (T > total_degree) {
        mode = -3;
        return;
    }
    if (real_work_len < hom_real_work_length(n, m)) {
        mode = -4;
        return;
    }
    if (int_work_len < hom_int_work_length(n, m)) {
        mode = -5;
        return;
    }
    // The hundreds give another start system and chart (0 .. 99, see
    // hom_init); the rest is the mode proper.
    const int proper = mode % 100;
    if (mode < 0 || mode >= 20000 || (proper != 0 && proper != 1 && proper != 10 && proper != 11)) {
        mode = -6;
        return;
    }
    // The ten thousands: a path stops short of the end game where it has
    // come within 1e-4 of lambda = 1, for the caller to end it.
    const int homotopy_mode = mode % 10000;
    const double lambda_stop = mode >= 10000 ? 1.0 - 1e-4 : 2.0;

    // The real work array, 18 pieces.
    double *pos = real_work;
    auto take = [&pos](long long len) {
        double *p = pos;
        pos += len;
        return p;
    };
    const long long N = 2LL * n, np1 = N + 1;
    double *q = take(N);
    double *pconst = take(N);
    double *r = take(N);
    double *v = take(n);
    double *c = take(2LL * (n + 1));
    double *y = take(np1);
    double *yp = take(np1);
    double *yold = take(np1);
    double *ypold = take(np1);
    double *qr = take(N * (N + 2));
    double *alpha = take(N);
    double *tz = take(np1);
    double *w = take(np1);
    double *wp = take(np1);
    double *z0 = take(np1);
    double *z1 = take(np1);
    double *sspar = take(8);
    double *par = take(hom_real_block_length(n, m));
    // The integer work array, 4 pieces.
    int *deg = int_work;
    int *odometer = deg + n;
    int *pivot = odometer + n;
    int *ipar = pivot + np1;

    std::copy(step_param, step_param + 8, sspar);
    hom_driver(n, term_count, coef, e, homotopy_mode, path_flag, track_tol, end_tol, max_restarts, ld, m, lambda,
               roots, arc_length, eval_count, static_cast<int>(T), q, pconst, r, v, c, y, yp, yold, ypold, qr, alpha,
               tz, w, wp, z0, z1, sspar, par, deg, odometer, pivot, ipar, lambda_stop);
}

void hom_driver(const int &n, const int *term_count, double *coef, int *e, const int &mode, int *path_flag,
                const double &track_tol, const double &end_tol, int &max_restarts, const int &ld, const int &m,
                double *lambda, double *roots, double *arc_length, int *eval_count, const int &T, double *q,
                double *pconst, double *r, double *v, double *c, double *y, double *yp, double *yold, double *ypold,
                double *qr, double *alpha, double *tz, double *w, double *wp, double *z0, double *z1,
                double *sspar, double *par, int *deg, int *odometer, int *pivot, int *ipar, const double &lambda_stop)
{
    if (max_restarts <= 0)
        max_restarts = 1;
    hom_init(mode, n, term_count, e, coef, ld, m, par, ipar, deg, v, c, q, pconst, r);

    // The evaluation blocks: sizes and starts, then the system itself.
    hom_block_starts(n, m, ipar);
    const int *is = ipar + HOM_IB_INT_STARTS;
    const int *rs = ipar + HOM_IB_REAL_STARTS;
    int *bdeg = ipar + is[HOM_IB_DEG];
    int *btc = ipar + is[HOM_IB_TC];
    int *bexp = ipar + is[HOM_IB_EXP];
    for (int j = 0; j < n; j++) {
        bdeg[j] = deg[j];
        btc[j] = term_count[j];
    }
    for (int j = 0; j < n; j++)
        for (int i = 0; i <= n; i++)
            for (int k = 0; k < term_count[j]; k++)
                bexp[j + i * n + k * n * (n + 1)] =
                    e[j + static_cast<long long>(i) * ld + static_cast<long long>(k) * ld * (ld + 1LL)];
    std::copy(q, q + 2 * n, par + rs[HOM_RB_Q]);
    std::copy(c, c + 2 * (n + 1), par + rs[HOM_RB_PROJ]);
    double *bcoef = par + rs[HOM_RB_COEF];
    for (int j = 0; j < n; j++)
        for (int k = 0; k < term_count[j]; k++)
            bcoef[k * n + j] = coef[static_cast<long long>(k) * ld + j];

    hom_eval_forget(par, ipar);

    odometer[0] = 0;
    for (int j = 1; j < n; j++)
        odometer[j] = 1;

    const int N = 2 * n;
    for (int k = 0; k < T; k++) {
        y[0] = 0.0;
        if (path_flag[k] != -2) {
            hom_odometer_advance(n, odometer, deg);
            continue;
        }
        hom_start_point(n, odometer, deg, r, y + 1);
        double arcre = track_tol, arcae = track_tol, ansre = end_tol, ansae = end_tol;
        const int trace = 0;
        int flag = -2, nfe = 0;
        double arclen = 0.0;
        for (int call = 1;; call++) {
            hom_track_entry1_until(lambda_stop, N, y, flag, arcre, arcae, ansre, ansae, trace, pconst, nfe, arclen,
                                   yp, yold, ypold, qr, alpha, tz, pivot, w, wp, z0, z1, sspar, par, ipar);
            if ((flag != 2 && flag != 3) || call >= max_restarts)
                break;
        }
        double xnp1[2];
        hom_to_affine(n, c, v, par + rs[HOM_RB_CX], y + 1, xnp1);
        lambda[k] = y[0];
        double *root = roots + 2LL * (ld + 1) * k;
        std::copy(y + 1, y + 1 + N, root);
        root[2 * n] = xnp1[0];
        root[2 * n + 1] = xnp1[1];
        arc_length[k] = arclen;
        eval_count[k] = nfe;
        path_flag[k] = flag;
    }
}
