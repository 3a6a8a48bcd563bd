// Real solutions of the ladder equations by restarts, and by homotopy
// continuation when they find none.
#include "ladder/ladder_roots.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_blas.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_multiroots.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "algebra/spoly.h"
#include "base/error.h"
#include "ladder/every_ladder.h"
#include "ladder/ladder.h"
#include "ladder/ladder_drivers.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

namespace {

const int newton_iterations = 200;

struct full_system {
    const double *a;
    const double *p;
    int n;
    std::vector<double> scale;  // per coefficient: |p_i| plus a floor
};

// The leading polynomials L_k (indices 0..k-1) and trailing ones T_k
// (indices k..n-1) of the tridiagonal matrix, each as n+1 coefficients.
void partial_polys(const double *a, const double *b, int n, std::vector<std::vector<double>> &L,
                   std::vector<std::vector<double>> &T)
{
    L.assign(n + 1, std::vector<double>(n + 1, 0.0));
    T.assign(n + 2, std::vector<double>(n + 1, 0.0));
    L[0][0] = 1.0;
    for (int k = 1; k <= n; k++) {
        // L_k = (s - a_(k-1)) L_(k-1) - b_(k-2) L_(k-2)
        for (int j = 0; j < k; j++) {
            L[k][j + 1] += L[k - 1][j];
            L[k][j] -= a[k - 1] * L[k - 1][j];
        }
        if (k >= 2)
            for (int j = 0; j <= k - 2; j++)
                L[k][j] -= b[k - 2] * L[k - 2][j];
    }
    T[n][0] = 1.0;
    T[n + 1][0] = 0.0;
    for (int k = n - 1; k >= 0; k--) {
        // T_k = (s - a_k) T_(k+1) - b_k T_(k+2)
        const int d = n - k;
        for (int j = 0; j < d; j++) {
            T[k][j + 1] += T[k + 1][j];
            T[k][j] -= a[k] * T[k + 1][j];
        }
        if (k + 2 <= n)
            for (int j = 0; j <= d - 2; j++)
                T[k][j] -= b[k] * T[k + 2][j];
    }
}

int full_f(const gsl_vector *x, void *params, gsl_vector *f)
{
    const full_system *fs = static_cast<const full_system *>(params);
    const int n = fs->n;
    std::vector<double> b(n - 1);
    for (int i = 0; i < n - 1; i++)
        b[i] = gsl_vector_get(x, i);
    poly P = lpoly(n, fs->a, b.data());
    int status = GSL_SUCCESS;
    for (int i = 0; i < n - 1; i++) {
        const double v = (P.coef[i] - fs->p[i]) / fs->scale[i];
        if (!std::isfinite(v))
            status = GSL_EBADFUNC;
        gsl_vector_set(f, i, v);
    }
    freepoly(&P);
    return status;
}

// dP_n/db_j = -L_j T_(j+2): P_n is affine in each b_j.
int full_df(const gsl_vector *x, void *params, gsl_matrix *J)
{
    const full_system *fs = static_cast<const full_system *>(params);
    const int n = fs->n;
    std::vector<double> b(n - 1);
    for (int i = 0; i < n - 1; i++)
        b[i] = gsl_vector_get(x, i);
    std::vector<std::vector<double>> L, T;
    partial_polys(fs->a, b.data(), n, L, T);
    int status = GSL_SUCCESS;
    for (int j = 0; j < n - 1; j++) {
        std::vector<double> d(n + 1, 0.0);
        const int dl = j, dt = n - j - 2;
        for (int u = 0; u <= dl; u++)
            for (int v = 0; v <= dt; v++)
                d[u + v] -= L[j][u] * T[j + 2][v];
        for (int i = 0; i < n - 1; i++) {
            const double v = d[i] / fs->scale[i];
            if (!std::isfinite(v))
                status = GSL_EBADFUNC;
            gsl_matrix_set(J, i, j, v);
        }
    }
    return status;
}

int full_fdf(const gsl_vector *x, void *params, gsl_vector *f, gsl_matrix *J)
{
    const int status = full_f(x, params, f);
    return status != GSL_SUCCESS ? status : full_df(x, params, J);
}

double max_abs(const gsl_vector *v)
{
    double m = 0.0;
    for (std::size_t i = 0; i < v->size; i++)
        m = std::max(m, std::fabs(gsl_vector_get(v, i)));
    return m;
}

// A small deterministic generator for the restarts (the same starts in
// every run, so that results repeat).
struct start_sequence {
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    double uniform()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    }
};

bool same_column(const double *x, const double *y, int m)
{
    double big = 0.0;
    for (int i = 0; i < m; i++)
        big = std::max({big, std::fabs(x[i]), std::fabs(y[i])});
    for (int i = 0; i < m; i++)
        if (std::fabs(x[i] - y[i]) > 1e-6 * big)
            return false;
    return true;
}

void add_solution(std::vector<std::vector<double>> &found, const std::vector<double> &b)
{
    for (const auto &f : found)
        if (same_column(f.data(), b.data(), static_cast<int>(b.size())))
            return;
    found.push_back(b);
}

bool symmetric_diagonal(const double *a, int n)
{
    double big = 0.0;
    for (int i = 0; i < n; i++)
        big = std::max(big, std::fabs(a[i]));
    for (int i = 0; i < n / 2; i++)
        if (std::fabs(a[i] - a[n - 1 - i]) > 1e-12 * big)
            return false;
    return true;
}

// For a diagonal that reads the same both ways, the mirror image of a
// ladder (b reversed) is a ladder too, and a ladder equal to its mirror is
// often a multiple root of the full equations, which Newton's method pins
// only to a few digits. Gauss-Newton on the n/2 values of such a ladder
// (b_i = b_(n-2-i)) meets it as a simple root.
bool symmetric_newton(const full_system &fs, double *b)
{
    const int n = fs.n, m = n - 1, h = n / 2;
    auto index = [&](int i) { return std::min(i, m - 1 - i); };
    gsl_vector *x = gsl_vector_alloc(m), *f = gsl_vector_alloc(m), *xt = gsl_vector_alloc(m),
               *ft = gsl_vector_alloc(m);
    gsl_matrix *J = gsl_matrix_alloc(m, m), *Js = gsl_matrix_alloc(m, h);
    gsl_vector *tau = gsl_vector_alloc(h), *step = gsl_vector_alloc(h), *res = gsl_vector_alloc(m);
    check_alloc(x && f && xt && ft && J && Js && tau && step && res ? x : nullptr, "gladder array b");
    void *params = const_cast<full_system *>(&fs);
    for (int i = 0; i < m; i++)
        gsl_vector_set(x, i, b[index(i)]);
    bool ok = false;
    if (full_f(x, params, f) == GSL_SUCCESS) {
        for (int it = 0; it < newton_iterations; it++) {
            const double r = gsl_blas_dnrm2(f);
            if (max_abs(f) <= 1e-13 || full_df(x, params, J) != GSL_SUCCESS)
                break;
            gsl_matrix_set_zero(Js);
            for (int i = 0; i < m; i++)
                for (int j = 0; j < m; j++)
                    gsl_matrix_set(Js, i, index(j), gsl_matrix_get(Js, i, index(j)) + gsl_matrix_get(J, i, j));
            if (gsl_linalg_QR_decomp(Js, tau) != GSL_SUCCESS || gsl_linalg_QR_lssolve(Js, tau, f, step, res) != GSL_SUCCESS)
                break;
            // x - step, halved until the residual falls
            bool moved = false;
            for (double t = 1.0; t > 1e-4 && !moved; t /= 2) {
                for (int i = 0; i < m; i++)
                    gsl_vector_set(xt, i, gsl_vector_get(x, i) - t * gsl_vector_get(step, index(i)));
                if (full_f(xt, params, ft) == GSL_SUCCESS && gsl_blas_dnrm2(ft) < r) {
                    gsl_vector_memcpy(x, xt);
                    gsl_vector_memcpy(f, ft);
                    moved = true;
                }
            }
            if (!moved)
                break;
        }
        ok = max_abs(f) <= 1e-10;
        for (int i = 0; ok && i < m; i++) {
            b[i] = gsl_vector_get(x, i);
            ok = std::isfinite(b[i]);
        }
    }
    gsl_vector_free(x);
    gsl_vector_free(f);
    gsl_vector_free(xt);
    gsl_vector_free(ft);
    gsl_matrix_free(J);
    gsl_matrix_free(Js);
    gsl_vector_free(tau);
    gsl_vector_free(step);
    gsl_vector_free(res);
    return ok;
}

full_system make_system(const double *a, const double *p, int n)
{
    const int m = n - 1;
    full_system fs{a, p, n, std::vector<double>(m)};
    double pmax = 0.0;
    for (int i = 0; i <= n; i++)
        pmax = std::max(pmax, std::fabs(p[i]));
    for (int i = 0; i < m; i++)
        fs.scale[i] = std::fabs(p[i]) + 1e-6 * pmax + 1e-300;
    return fs;
}

}  // namespace

bool ladder_newton(const double *a, const double *p, int n, double *b)
{
    const int m = n - 1;
    if (m < 1)
        return true;
    full_system fs = make_system(a, p, n);
    gsl_vector *x = gsl_vector_alloc(m);
    check_alloc(x, "gladder array b");
    for (int i = 0; i < m; i++)
        gsl_vector_set(x, i, b[i]);
    gsl_multiroot_function_fdf fn = {&full_f, &full_df, &full_fdf, static_cast<std::size_t>(m), &fs};
    gsl_multiroot_fdfsolver *s = gsl_multiroot_fdfsolver_alloc(gsl_multiroot_fdfsolver_hybridsj, m);
    check_alloc(s, "gladder array b");
    bool ok = false;
    if (gsl_multiroot_fdfsolver_set(s, &fn, x) == GSL_SUCCESS) {
        for (int it = 0; it < newton_iterations; it++) {
            if (max_abs(s->f) <= 1e-13)
                break;
            if (gsl_multiroot_fdfsolver_iterate(s) != GSL_SUCCESS)
                break;
        }
        ok = max_abs(s->f) <= 1e-10;
        for (int i = 0; ok && i < m; i++) {
            b[i] = gsl_vector_get(s->x, i);
            ok = std::isfinite(b[i]);
        }
    }
    gsl_multiroot_fdfsolver_free(s);
    gsl_vector_free(x);
    return ok;
}

bool ladder_polish(const double *a, const double *p, int n, double *b)
{
    const int m = n - 1;
    std::vector<double> x(b, b + m);
    if (symmetric_diagonal(a, n)) {
        // near its own mirror image: first try the mirror-symmetric ladder
        double big = 0.0, asym = 0.0;
        for (int i = 0; i < m; i++) {
            big = std::max(big, std::fabs(x[i]));
            asym = std::max(asym, std::fabs(x[i] - x[m - 1 - i]));
        }
        if (asym <= 1e-2 * big) {
            std::vector<double> y(m);
            for (int i = 0; i < m; i++)
                y[i] = 0.5 * (x[i] + x[m - 1 - i]);
            if (symmetric_newton(make_system(a, p, n), y.data())) {
                std::copy(y.begin(), y.end(), b);
                return true;
            }
        }
    }
    if (ladder_newton(a, p, n, x.data())) {
        std::copy(x.begin(), x.end(), b);
        return true;
    }
    return false;
}

matrix ladder_real_roots(const double *a, const double *p, int n, bool *complete, int restarts,
                         int homotopy_order)
{
    *complete = false;
    const int m = n - 1;
    std::vector<std::vector<double>> found;
    if (m >= 1) {
        // The size of the b values: their sum as the s^(n-2) coefficient
        // asks for it, shared evenly.
        double S = 0.0, e2 = 0.0;
        for (int i = 0; i < n; i++) {
            e2 += a[i] * S;
            S += a[i];
        }
        double mean = (e2 - p[n - 2]) / m;
        if (!std::isfinite(mean) || std::fabs(mean) < 1e-3)
            mean = -1.0;
        start_sequence seq;
        std::vector<double> b(m);
        const bool symmetric = symmetric_diagonal(a, n);
        const full_system fs = make_system(a, p, n);
        for (int r = 0; symmetric && r < restarts; r++) {
            for (int i = 0; i < m; i++) {
                const double mag = r == 0 ? std::fabs(mean) : std::fabs(mean) * std::pow(10.0, 2.0 * seq.uniform() - 1.0);
                const double sign = r == 0 || seq.uniform() < 0.8 ? (mean < 0 ? -1.0 : 1.0) : (mean < 0 ? 1.0 : -1.0);
                b[i] = sign * mag;
            }
            if (symmetric_newton(fs, b.data()))
                add_solution(found, b);
        }
        for (int r = 0; r < restarts; r++) {
            for (int i = 0; i < m; i++) {
                if (r == 0) {
                    b[i] = mean;
                    continue;
                }
                // magnitudes over two decades around the mean, mostly of
                // its sign
                const double mag = std::fabs(mean) * std::pow(10.0, 2.0 * seq.uniform() - 1.0);
                const double sign = seq.uniform() < 0.8 ? (mean < 0 ? -1.0 : 1.0) : (mean < 0 ? 1.0 : -1.0);
                b[i] = sign * mag;
            }
            if (ladder_newton(a, p, n, b.data()))
                add_solution(found, b);
        }
        if (symmetric) {
            const std::size_t count = found.size();
            for (std::size_t k = 0; k < count; k++) {
                std::vector<double> mirror(found[k].rbegin(), found[k].rend());
                add_solution(found, mirror);
            }
        }
        if (found.empty() && n <= std::min(homotopy_order, every_ladder_max_order())) {
            every_ladder_result e = every_real_ladder(a, p, n);
            for (const std::vector<double> &b : e.real)
                add_solution(found, b);
            *complete = e.complete;
        }
    }
    matrix M = newm(m, static_cast<int>(found.size()));
    for (std::size_t k = 0; k < found.size(); k++)
        for (int i = 0; i < m; i++)
            M.data[k * m + i] = found[k][i];
    return M;
}
