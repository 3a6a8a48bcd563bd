// Ladder realisation: the closed forms of orders 1 to 3, the scaling of the
// target, the choice of road by the order, and the records built from the
// solutions.
#include "ladder/ladder.h"

#include <gsl/gsl_poly.h>

#include <algorithm>
#include <cmath>

#include "base/error.h"
#include "ladder/ladder_drivers.h"
#include "ladder/numeric_ladder.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

namespace {

// Sum of a_i a_j over i > j.
double elementary2(const double *a, int n)
{
    double e2 = 0.0;
    for (int i = 1; i < n; i++)
        for (int j = 0; j < i; j++)
            e2 += a[i] * a[j];
    return e2;
}

bool record_is_finite(const ss &s)
{
    if (!std::isfinite(s.D))
        return false;
    const int n = s.n;
    for (int i = 0; i < n * n; i++)
        if (!std::isfinite(s.A.data[i]))
            return false;
    for (int i = 0; i < n; i++)
        if (!std::isfinite(s.B.data[i]))
            return false;
    return true;
}

// The ladder record of solution column k: A from a and b, C = (0..0, 1),
// D = d, and B the coordinates of the remainder R[0..m] in the basis of
// the partial ladder polynomials Q_0 .. Q_m.
ss ladder_record(const gladder_result &g, int k, int n, const std::vector<double> &R, int m, double d)
{
    const double *a = g.a.data();
    const double *b = n > 1 ? g.b.data + static_cast<std::size_t>(k) * g.b.rows : nullptr;
    ss s = new_ss(n);
    for (int i = 0; i < n; i++) {
        matrix_set(s.A, i, i, a[i]);
        if (i < n - 1) {
            matrix_set(s.A, i + 1, i, 1.0);
            matrix_set(s.A, i, i + 1, b[i]);
        }
    }
    matrix_set(s.C, 0, n - 1, 1.0);
    s.D = d;
    if (m == 0) {
        s.B.data[0] = R[0];
        return s;
    }
    // Q_0 = 1, Q_1 = s - a_0, Q_i = (s - a_(i-1)) Q_(i-1) - b_(i-2) Q_(i-2).
    std::vector<std::vector<double>> Q(m + 1);
    Q[0] = {1.0};
    Q[1] = {-a[0], 1.0};
    for (int i = 2; i <= m; i++) {
        std::vector<double> q(i + 1, 0.0);
        for (int j = 0; j < i; j++) {
            q[j + 1] += Q[i - 1][j];
            q[j] -= a[i - 1] * Q[i - 1][j];
        }
        for (int j = 0; j < i - 1; j++)
            q[j] -= b[i - 2] * Q[i - 2][j];
        Q[i] = std::move(q);
    }
    std::vector<double> r(R.begin(), R.begin() + m + 1);
    for (int i = m; i >= 0; i--) {
        const double bi = r[i];
        s.B.data[i] = bi;
        for (int j = 0; j <= i; j++)
            r[j] -= bi * Q[i][j];
    }
    return s;
}

}  // namespace

ladder_result ladder(const poly &N, const poly &D, int nweights, const double *weights, double split,
                     int nguess, double *guess)
{
    const int n = trimmed_order(D.coef, D.degree);
    if (n < 1)
        fatal("ladder: order of denominator is smaller than 1");
    const int nn = trimmed_order(N.coef, N.degree);
    if (nn < 0 || (nn == 0 && N.coef[0] == 0.0))
        fatal("ladder: order of numerator is smaller than 0");
    if (nn > n)
        fatal("ladder: order of numerator is larger than order of denominator");

    const double dn = D.coef[n];
    double d = 0.0;
    int m;
    std::vector<double> R(n, 0.0);
    if (nn == n) {
        d = N.coef[n] / dn;
        for (int i = 0; i < n; i++)
            R[i] = (N.coef[i] - d * D.coef[i]) / dn;
        m = n - 1;
    } else {
        for (int i = 0; i <= nn; i++)
            R[i] = N.coef[i] / dn;
        m = nn;
    }

    // n-1 weights, zero-filled; a first-order target has none.
    std::vector<double> w(static_cast<std::size_t>(n - 1), 0.0);
    if (nweights >= 1) {
        std::copy(weights, weights + std::min(nweights, n - 1), w.begin());
    } else if (n > 1) {
        w[0] = 0.5;
    }
    gladder_result g = scale_gladder(w.data(), D.coef, D.degree, split, nguess, guess);

    ladder_result res;
    res.status = g.status;
    if (g.order < 1 || g.b.cols < 1)
        return res;
    for (int k = 0; k < g.b.cols; k++) {
        ss s = ladder_record(g, k, n, R, m, d);
        if (record_is_finite(s))
            res.systems.push_back(s);
        else
            free_ss(&s);
    }
    res.nsol = static_cast<int>(res.systems.size());
    freem(&g.b);
    return res;
}

int trimmed_order(const double *p, int n)
{
    if (!p)
        return -1;
    while (n >= 1 && p[n] == 0.0)
        n--;
    return n;
}

int target_order(const double *p, int n, const char *empty_message)
{
    n = trimmed_order(p, n);
    if (n < 1)
        fatal("%s", empty_message);
    return n;
}

gladder_result scale_gladder(const double *weights, const double *p, int n, double split, int nguess,
                             double *guess)
{
    n = target_order(p, n, "scale_gladder: polynomial empty.");
    std::vector<double> q(p, p + n + 1);
    for (double &c : q)
        c /= p[n];
    double sc = 1.0;
    if (n > 2)
        sc = scale_poly(q.data(), n);
    gladder_result r = gladder(weights, q.data(), n, split, nguess, guess);
    if (n > 2)
        unscale_ladder(sc, r.a.data(), r.b, r.order);
    return r;
}

gladder_result gladder(const double *weights, const double *p, int n, double split, int nguess,
                       double *guess)
{
    n = target_order(p, n, "gladder: empty polynomial");
    if (std::fabs(p[n] - 1.0) > 1e-7)
        fatal("gladder: target polynomial not monic.");

    gladder_result r;
    r.a.assign(n, 0.0);
    double *a = r.a.data();
    if (n == 1) {
        a[0] = -p[0];
        r.b = newm(0, 1);
        r.order = 1;
        return r;
    }

    r.b = newm(n - 1, 1);
    double *b = r.b.data;
    double sum = 0.0;
    for (int i = 0; i < n - 1; i++) {
        a[i] = -weights[i] * p[n - 1];
        sum += a[i];
    }
    a[n - 1] = -p[n - 1] - sum;

    if (n == 2) {
        b[0] = a[0] * a[1] - p[0];
        r.order = 2;
        return r;
    }

    // q: the sum of all b that the coefficient of s^(n-2) asks for.
    double q = elementary2(a, n) - p[n - 2];
    if (n == 3) {
        const double ratio = std::fabs((a[0] - a[2]) / (a[0] + a[1]));
        if (a[0] == a[2] || ratio < 1e-5) {
            // Equal ends: a_0 = a_2 = x_0, a real root of the target, which
            // then factors as (s - x_0)((s - x_0)(s - a_1) - q); only the
            // sum of b_0 and b_1 is fixed, and split divides it.
            double x0 = 0.0, x1 = 0.0, x2 = 0.0;
            gsl_poly_solve_cubic(p[2], p[1], p[0], &x0, &x1, &x2);
            a[0] = a[2] = x0;
            a[1] = -p[2] - 2.0 * x0;
            q = elementary2(a, n) - p[1];
            b[0] = split * q;
            b[1] = (1.0 - split) * q;
        } else {
            b[0] = (a[0] * a[1] * a[2] + p[0] - q * a[0]) / (a[2] - a[0]);
            b[1] = q - b[0];
        }
        r.order = 3;
        return r;
    }

    if (n <= 5) {
        matrix sols = gladder_symbolic(a, p, n);
        if (sols.cols >= 1) {
            freem(&r.b);
            r.b = sols;
            r.order = n;
            return r;
        }
        freem(&sols);
    }
    return gladder_numeric(std::move(r.a), r.b, p, n, split, nguess, guess);
}

poly lpoly(int n, const double *a, const double *b)
{
    if (n < 0)
        fatal("lpoly: order is negative");
    poly prev = newpoly(n);  // P_(k-1)
    poly cur = newpoly(n);   // P_k
    poly next = newpoly(n);  // P_(k+1)
    prev.degree = 0;
    prev.coef[0] = 1.0;
    if (n == 0)
        return prev;
    cur.degree = 1;
    cur.coef[0] = -a[0];
    cur.coef[1] = 1.0;
    for (int k = 1; k < n; k++) {
        // (s - a_k) P_k - b_(k-1) P_(k-1)
        next.degree = k + 1;
        next.coef[0] = 0.0;
        for (int j = 0; j <= k; j++)
            next.coef[j + 1] = cur.coef[j];
        for (int j = 0; j <= k; j++)
            next.coef[j] -= a[k] * cur.coef[j];
        for (int j = 0; j < k; j++)
            next.coef[j] -= b[k - 1] * prev.coef[j];
        std::swap(prev, cur);
        std::swap(cur, next);
    }
    return cur;
}

double scale_poly(double *p, int n)
{
    double M = 0.0;
    for (int i = 0; i <= n; i++)
        M = std::max(M, std::fabs(p[i]));
    const double p0 = std::fabs(p[0]);
    // An unordered comparison (a NaN) keeps the target as it is.
    const double sc = (p0 >= M / 10.0 && p0 > 0.0) ? std::pow(p0, 1.0 / n) : 1.0;
    double f = 1.0;
    for (int i = 0; i < n; i++) {
        f *= sc;
        p[n - 1 - i] /= f;
    }
    return sc;
}

void scale_b_matrix(const matrix &b, double factor)
{
    const long count = static_cast<long>(b.rows) * b.cols;
    for (long i = 0; i < count; i++)
        b.data[i] *= factor;
}

void scale_a_array(double *a, int n, double factor)
{
    for (int i = 0; i < n; i++)
        a[i] *= factor;
}

void unscale_ladder(double sc, double *a, const matrix &b, int order)
{
    scale_b_matrix(b, sc * sc);
    scale_a_array(a, order, sc);
}
