// Ladder realisation: the closed forms of orders 1 to 3, the scaling of the
// target, the choice of road by the order, and the records built from the
// solutions.
#include "ladder/ladder.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_poly.h>

#include <algorithm>
#include <cmath>

#include "base/error.h"
#include "ladder/every_ladder.h"
#include "ladder/ladder_drivers.h"
#include "ladder/ladder_roots.h"
#include "ladder/numeric_ladder.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

namespace {

double at_ij(const matrix &m, int i, int j) { return m.data[static_cast<std::size_t>(j) * m.rows + i]; }

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

// The characteristic polynomial det(sI - H) of the upper Hessenberg n x n
// matrix H (column-major), by the recursion over its leading blocks:
// c_k = (s - h_(k-1,k-1)) c_(k-1) - sum_i h_(i,k-1) (h_(i+1,i) .. h_(k-1,k-2)) c_i.
std::vector<double> hessenberg_charpoly(const std::vector<double> &H, int n)
{
    auto h = [&](int i, int j) { return H[static_cast<std::size_t>(j) * n + i]; };
    std::vector<std::vector<double>> c(n + 1, std::vector<double>(n + 1, 0.0));
    c[0][0] = 1.0;
    for (int k = 1; k <= n; k++) {
        for (int j = 0; j < k; j++) {
            c[k][j + 1] += c[k - 1][j];
            c[k][j] -= h(k - 1, k - 1) * c[k - 1][j];
        }
        double prod = 1.0;
        for (int i = k - 2; i >= 0; i--) {
            prod *= h(i + 1, i);
            const double f = h(i, k - 1) * prod;
            for (int j = 0; j <= i; j++)
                c[k][j] -= f * c[i][j];
        }
    }
    return c[n];
}

// |x_i - y_i| within 1e-6 of |y_i| for every coefficient, with a floor of
// 1e-9 of the largest coefficient for coefficients that vanish.
bool coefficients_match(const std::vector<double> &x, const std::vector<double> &y, double floor_scale)
{
    double big = floor_scale;
    for (double v : y)
        big = std::max(big, std::fabs(v));
    for (std::size_t i = 0; i < y.size(); i++)
        if (!(std::fabs(x[i] - y[i]) <= 1e-6 * std::fabs(y[i]) + 1e-9 * big))
            return false;
    return true;
}

// The product b_i of column k, or of the record's A.
double column_product(const ss &s, int i)
{
    return at_ij(s.A, i, i + 1) * at_ij(s.A, i + 1, i);
}

// Products of two records agreeing to tol relative to the largest of them.
bool same_products(const ss &x, const ss &y, double tol)
{
    const int n = x.n;
    double big = 0.0;
    for (int i = 0; i + 1 < n; i++)
        big = std::max({big, std::fabs(column_product(x, i)), std::fabs(column_product(y, i))});
    for (int i = 0; i < n; i++)
        if (at_ij(x.A, i, i) != at_ij(y.A, i, i))
            return false;
    for (int i = 0; i + 1 < n; i++)
        if (!(std::fabs(column_product(x, i) - column_product(y, i)) <= tol * big))
            return false;
    return true;
}

}  // namespace

double target_frequency(const double *q, int n)
{
    const double p0 = std::fabs(q[0]);
    const double sc = n >= 1 ? std::pow(p0, 1.0 / n) : 1.0;
    return (std::isfinite(sc) && sc > 0.0) ? sc : 1.0;
}

bool ladder_realises(const ss &s, const poly &N, const poly &D)
{
    const int n = trimmed_order(D.coef, D.degree);
    const int nn = trimmed_order(N.coef, N.degree);
    if (n < 1 || s.n != n || nn > n || !record_is_finite(s))
        return false;
    // The target in normalised frequency: D(sc s) / (d_n sc^n), N likewise.
    std::vector<double> den(n + 1), num(n + 1, 0.0);
    for (int i = 0; i <= n; i++)
        den[i] = D.coef[i] / D.coef[n];
    const double sc = target_frequency(den.data(), n);
    for (int i = 0; i <= n; i++) {
        const double f = std::pow(sc, n - i);
        den[i] /= f;
        if (i <= nn)
            num[i] = N.coef[i] / D.coef[n] / f;
    }
    // The record at the same frequency: A / sc, B / sc.
    std::vector<double> A(static_cast<std::size_t>(n) * n), ABC(A.size());
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            const double v = at_ij(s.A, i, j) / sc;
            if (i > j + 1 && v != 0.0)
                return false;  // not Hessenberg: no ladder
            A[static_cast<std::size_t>(j) * n + i] = v;
            ABC[static_cast<std::size_t>(j) * n + i] = v - s.B.data[i] / sc * s.C.data[j];
            if (i > j + 1 && ABC[static_cast<std::size_t>(j) * n + i] != 0.0)
                return false;
        }
    const std::vector<double> c = hessenberg_charpoly(A, n);
    const std::vector<double> g = hessenberg_charpoly(ABC, n);
    // C (sI - A)^-1 B = (det(sI - A + BC) - det(sI - A)) / det(sI - A).
    std::vector<double> h(n + 1);
    double cbig = 0.0;
    for (int i = 0; i <= n; i++) {
        h[i] = s.D * c[i] + g[i] - c[i];
        cbig = std::max(cbig, std::fabs(c[i]));
    }
    if (!coefficients_match(c, den, 0.0) || !coefficients_match(h, num, cbig * std::max(1.0, std::fabs(s.D))))
        return false;
    matrix M = newm(n, n);
    std::copy(A.begin(), A.end(), &M.data[0]);
    matrix ev = evc(M);
    bool stable = true;
    for (int i = 0; i < n; i++)
        if (!(ev.data[i] < 0.0))
            stable = false;
    freem(&ev);
    freem(&M);
    return stable;
}

ladder_result ladder(const poly &N, const poly &D, int nweights, const double *weights, double split,
                     int nguess, double *guess, ladder_depth depth)
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
    gladder_result g = scale_gladder(w.data(), D.coef, D.degree, split, nguess, guess, depth);

    ladder_result res;
    res.status = g.status;
    if (g.order < 1 || g.b.cols < 1)
        return res;
    // Every solution must realise the target; one that repeats another
    // (two solutions from a double root, which the roads give as two
    // columns agreeing only to about the square root of their accuracy)
    // is dropped, unless the columns are distinct solutions already (close
    // ladders of the search for every one stay two).
    std::vector<int> kept;
    for (int k = 0; k < g.b.cols; k++) {
        ss s = ladder_record(g, k, n, R, m, d);
        if (!ladder_realises(s, N, D)) {
            free_ss(&s);
            continue;
        }
        bool repeat = false;
        for (std::size_t j = 0; j < res.systems.size() && !repeat && !g.distinct; j++) {
            if (same_products(s, res.systems[j], 1e-6)) {
                repeat = true;
            } else if (same_products(s, res.systems[j], 1e-3)) {
                // one cluster when the point halfway also realises the target
                gladder_result mid;
                mid.a = g.a;
                mid.b = newm(n - 1, 1);
                for (int i = 0; i < n - 1; i++)
                    mid.b.data[i] = 0.5 * (g.b.data[static_cast<std::size_t>(k) * g.b.rows + i] +
                                           g.b.data[static_cast<std::size_t>(kept[j]) * g.b.rows + i]);
                ss t = ladder_record(mid, 0, n, R, m, d);
                repeat = ladder_realises(t, N, D);
                free_ss(&t);
                freem(&mid.b);
            }
        }
        if (repeat) {
            free_ss(&s);
            continue;
        }
        res.systems.push_back(s);
        kept.push_back(k);
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

namespace {

// The diagonal from the weights: a_i = -w_i p_(n-1), a_(n-1) the rest of
// the trace -p_(n-1).
void ladder_diagonal(const double *weights, const double *p, int n, double *a)
{
    double sum = 0.0;
    for (int i = 0; i < n - 1; i++) {
        a[i] = -weights[i] * p[n - 1];
        sum += a[i];
    }
    a[n - 1] = -p[n - 1] - sum;
}

// Column k of b reproduces the monic p: P_n(a, b) = p to 1e-6 relative
// per coefficient.
bool column_matches(const double *a, const matrix &b, int k, const double *p, int n)
{
    poly P = lpoly(n, a, n > 1 ? b.data + static_cast<std::size_t>(k) * b.rows : nullptr);
    const double *c = P.coef;
    std::vector<double> x(c, c + n + 1), y(p, p + n + 1);
    freepoly(&P);
    return coefficients_match(x, y, 0.0);
}

// The columns of b that reproduce p, each first polished by Newton's
// method on all equations (the roads stop at residuals of about 1e-7; the
// elimination's back substitution can be less accurate still).
matrix matching_columns(const double *a, const matrix &b, const double *p, int n, bool polish = true)
{
    matrix out = newm(b.rows, b.cols);
    int kept = 0;
    std::vector<double> col(b.rows);
    for (int k = 0; k < b.cols; k++) {
        const double *src = b.data + static_cast<std::size_t>(k) * b.rows;
        std::copy(src, src + b.rows, col.begin());
        if (n >= 4 && polish)
            ladder_polish(a, p, n, col.data());
        double *dst = out.data + static_cast<std::size_t>(kept) * b.rows;
        std::copy(col.begin(), col.end(), dst);
        if (column_matches(a, out, kept, p, n))
            kept++;
    }
    mresize(&out, kept);
    return out;
}

// Columns x and y are one ladder: they agree to 1e-7 of the largest
// product (the polished copies of one solution agree to some 1e-13, those
// of a double root to some 1e-8).
bool same_ladder(const double *x, const double *y, int m)
{
    double big = 0.0, diff = 0.0;
    for (int i = 0; i < m; i++) {
        big = std::max({big, std::fabs(x[i]), std::fabs(y[i])});
        diff = std::max(diff, std::fabs(x[i] - y[i]));
    }
    return diff <= 1e-7 * big;
}

// Every real ladder of the monic, scaled q of order 6 to 8 into *r: the
// road's own solution (in r, polished) with the real solutions of the
// homotopy solve of all of them; when that could not account for every
// path, also the regular ones of 160 restarts (their singular ones only
// when there is nothing else). Proven complete, or with a ladder
// found, the result has status 0 (no column: no real ladder exists);
// otherwise it is the road's failure.
void every_ladder(const double *weights, const double *q, int n, gladder_result *r)
{
    const int m = n - 1;
    std::vector<double> a(n);
    ladder_diagonal(weights, q, n, a.data());
    const every_ladder_result e = every_real_ladder(a.data(), q, n);
    std::vector<std::vector<double>> cols = e.real;
    if (r->order == n)
        for (int k = 0; k < r->b.cols; k++)
            cols.emplace_back(r->b.data + static_cast<std::size_t>(k) * m, r->b.data + static_cast<std::size_t>(k + 1) * m);
    std::vector<std::vector<double>> loose;
    if (!e.complete) {
        bool complete = false;
        matrix M = ladder_real_roots(a.data(), q, n, &complete, 160, 0);
        for (int k = 0; k < M.cols; k++) {
            // a restart may end anywhere on a curve of solutions: only its
            // regular roots are ladders of their own
            std::vector<double> b(M.data + static_cast<std::size_t>(k) * m, M.data + static_cast<std::size_t>(k + 1) * m);
            ladder_polish(a.data(), q, n, b.data());
            (ladder_regular(a.data(), q, n, b.data()) ? cols : loose).push_back(std::move(b));
        }
        freem(&M);
    }
    // With no other ladder, the singular ones of the restarts (points of a
    // curve of solutions, such as the default weight 0.5 gives: every one
    // of them a ladder) stand for it.
    if (cols.empty())
        cols = loose;
    // Near a multiple root the residual stays at the rounding level some
    // way from it (1e-2 at the double root of butterworth(6) with the
    // weight 0.5): a singular column within 5e-2 of one kept before is the
    // same ladder. Regular columns come first, then the singular ones from
    // the most accurate (the smallest residual) on.
    std::vector<double> resid(cols.size());
    std::vector<char> regular(cols.size());
    std::vector<std::size_t> order(cols.size());
    for (std::size_t k = 0; k < cols.size(); k++) {
        resid[k] = ladder_residual(a.data(), q, n, cols[k].data());
        regular[k] = ladder_regular(a.data(), q, n, cols[k].data());
        order[k] = k;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return regular[x] != regular[y] ? regular[x] > regular[y] : resid[x] < resid[y];
    });
    std::vector<std::vector<double>> kept;
    for (std::size_t k : order) {
        const std::vector<double> &b = cols[k];
        // a root to the rounding level, not a point that only comes close
        bool seen = !(resid[k] <= 1e-10);
        for (const std::vector<double> &c : kept) {
            if (seen)
                break;
            seen = same_ladder(c.data(), b.data(), m);
            if (seen || regular[k])
                continue;
            double big = 0.0, diff = 0.0;
            for (int i = 0; i < m; i++) {
                big = std::max({big, std::fabs(b[i]), std::fabs(c[i])});
                diff = std::max(diff, std::fabs(b[i] - c[i]));
            }
            seen = diff <= 5e-2 * big;
        }
        if (!seen)
            kept.push_back(b);
    }
    matrix M = newm(m, static_cast<int>(kept.size()));
    for (std::size_t k = 0; k < kept.size(); k++)
        std::copy(kept[k].begin(), kept[k].end(), M.data + k * m);
    matrix matching = matching_columns(a.data(), M, q, n, false);
    freem(&M);
    if (matching.cols > 0 || e.complete) {
        freem(&r->b);
        r->a = std::move(a);
        r->b = matching;
        r->order = n;
        r->status = 0;
        r->distinct = true;
        return;
    }
    freem(&matching);
    if (r->order == n) {
        // the road's own solution did not reproduce the target
        r->order = -1;
        r->status = GSL_ETOL;
        freem(&r->b);
        r->b = newm(0, 0);
    }
}

}  // namespace

gladder_result scale_gladder(const double *weights, const double *p, int n, double split, int nguess,
                             double *guess, ladder_depth depth)
{
    n = target_order(p, n, "scale_gladder: polynomial empty.");
    std::vector<double> q(p, p + n + 1);
    for (double &c : q)
        c /= p[n];
    double sc = 1.0;
    if (n > 2)
        sc = scale_poly(q.data(), n);
    gladder_result r = gladder(weights, q.data(), n, split, nguess, guess);
    if (r.order == n) {
        // The numeric road leaves its iterate in the guess: it gets the
        // polished values too, so that it starts the next solve there.
        const int k = n - 3;
        const double *b = r.b.data;
        const bool numeric = n >= 4 && nguess >= k && r.b.cols == 1 && std::equal(guess, guess + k, b);
        matrix kept = matching_columns(r.a.data(), r.b, q.data(), n);
        const double *kept_b = kept.data;
        if (numeric && kept.cols == 1)
            std::copy_n(kept_b, k, guess);
        freem(&r.b);
        r.b = kept;
    }
    if (depth == ladder_depth::every && n >= 6 && n <= every_ladder_max_order()) {
        every_ladder(weights, q.data(), n, &r);
    } else if (n >= 4 && r.b.cols == 0) {
        // The road found no ladder: search for every real one.
        const bool candidate = depth == ladder_depth::candidate;
        std::vector<double> a(n);
        ladder_diagonal(weights, q.data(), n, a.data());
        bool complete = false;
        matrix M = ladder_real_roots(a.data(), q.data(), n, &complete, candidate ? 16 : 160, candidate ? 6 : 8);
        matrix kept = matching_columns(a.data(), M, q.data(), n);
        freem(&M);
        if (kept.cols > 0 || complete) {
            // found, or proven that none is real
            freem(&r.b);
            r.a = std::move(a);
            r.b = kept;
            r.order = n;
            r.status = 0;
        } else {
            freem(&kept);
            if (r.order == n) {
                // the road's own solution did not reproduce the target
                r.order = -1;
                r.status = GSL_ETOL;
                freem(&r.b);
                r.b = newm(0, 0);
            }
        }
    }
    if (n > 2 && r.order >= 1)
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
    ladder_diagonal(weights, p, n, a);

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
        } else if (std::fabs(a[2] - a[0]) <= 1e-9 * std::max({std::fabs(a[0]), std::fabs(a[1]), std::fabs(a[2])})) {
            // a_0 and a_2 agree to rounding: the closing division has
            // nothing to divide by, and this branch gives no ladder.
            mresize(&r.b, 0);
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
    // Roots of about unit size at every frequency scale; a zero or
    // undefined p_0 keeps the target as it is.
    const double sc = target_frequency(p, n);
    double f = 1.0;
    for (int i = 0; i < n; i++) {
        f *= sc;
        p[n - 1 - i] /= f;
    }
    return sc;
}

void scale_b_matrix(matrix &b, double factor)
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

void unscale_ladder(double sc, double *a, matrix &b, int order)
{
    scale_b_matrix(b, sc * sc);
    scale_a_array(a, order, sc);
}
