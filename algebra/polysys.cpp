#include "algebra/polysys.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdio>
#include <ctime>
#include <vector>

#include "algebra/m3.h"
#include "algebra/order.h"
#include "base/error.h"
#include "base/globals.h"
#include "homotopy/solve.h"
#include "numeric/matrix.h"

namespace {

int term_degree(const poly_term &t)
{
    long long d = 0;
    for (int v = 0; v < t.n; v++)
        d += t.exp[v];
    return d > INT_MAX ? INT_MAX : static_cast<int>(d);
}

using cplx = std::complex<double>;
using cvec = std::vector<cplx>;

// z^k for k >= 0 by repeated squaring.
cplx ipow(cplx z, int k)
{
    cplx r = 1.0;
    while (k > 0) {
        if (k & 1)
            r *= z;
        k >>= 1;
        if (k > 0)
            z *= z;
    }
    return r;
}

double inf_norm(const cvec &x)
{
    double m = 0.0;
    for (const cplx &z : x)
        m = std::max(m, std::abs(z));
    return m;
}

double two_norm(const cvec &x)
{
    double s = 0.0;
    for (const cplx &z : x)
        s += std::norm(z);
    return std::sqrt(s);
}

// The packed system as the driver hands it to the solver, read back for the
// refinement of the end points: coef n x maxT, exponents n x (n+1) x maxT,
// and the degree of every equation.
struct packed_system {
    int n = 0, max_terms = 0;
    const int *term_count = nullptr;
    const double *coef = nullptr;
    const int *e = nullptr;
    std::vector<int> deg;
    std::vector<double> coef_sum;  // sum of |coef| of each equation
    int exponent(int j, int v, int k) const { return e[j + v * n + k * n * (n + 1)]; }
    double coefficient(int j, int k) const { return coef[k * n + j]; }
};

// F(x) and its Jacobian J (n x n, column-major) of the given system at the
// affine point x, and for each equation the size of its terms, the sum of
// |coef| times the product of r_v^e_v with r_v = max(1, |x_v|), against
// which a residual counts as small: at a root where every term vanishes,
// such as 0, the terms themselves are no measure.
void eval_system(const packed_system &S, const cplx *x, cplx *F, cplx *J, double *size)
{
    const int n = S.n;
    for (int j = 0; j < n; j++) {
        F[j] = 0.0;
        size[j] = 0.0;
        for (int i = 0; i < n; i++)
            J[j + i * n] = 0.0;
        for (int k = 0; k < S.term_count[j]; k++) {
            cplx t = S.coefficient(j, k);
            double tsize = std::fabs(S.coefficient(j, k));
            for (int v = 0; v < n; v++) {
                t *= ipow(x[v], S.exponent(j, v, k));
                if (S.exponent(j, v, k) > 0)
                    tsize *= std::pow(std::max(1.0, std::abs(x[v])), S.exponent(j, v, k));
            }
            F[j] += t;
            size[j] += tsize;
            for (int i = 0; i < n; i++) {
                const int ei = S.exponent(j, i, k);
                if (ei == 0)
                    continue;
                cplx d = S.coefficient(j, k) * static_cast<double>(ei);
                for (int v = 0; v < n; v++)
                    d *= ipow(x[v], S.exponent(j, v, k) - (v == i));
                J[j + i * n] += d;
            }
        }
    }
}

// The homogenised system at the projective point Y (n + 1 coordinates, the
// last one homogenising), each equation divided by the sum of the
// magnitudes of its coefficients, so that it is at most 1 on the unit
// sphere; J is n x (n + 1).
void eval_homogeneous(const packed_system &S, const cplx *Y, cplx *F, cplx *J)
{
    const int n = S.n, N = n + 1;
    // Per term: the powers Y_v^e_v and Y_v^(e_v - 1) of its variables, and
    // the prefix products of the coefficient and the powers, so that the
    // derivative by Y_i is e_i times the prefix before i, Y_i^(e_i - 1) and
    // the product of the later powers (no division: Y_i may be 0).
    std::vector<int> exps(N);
    cvec pw(N), pwm1(N), pre(N + 1);
    for (int j = 0; j < n; j++) {
        F[j] = 0.0;
        for (int i = 0; i <= n; i++)
            J[j + i * n] = 0.0;
        const double w = S.coef_sum[j] > 0.0 ? 1.0 / S.coef_sum[j] : 1.0;
        for (int k = 0; k < S.term_count[j]; k++) {
            int deg = 0;
            for (int v = 0; v < n; v++) {
                exps[v] = S.exponent(j, v, k);
                deg += exps[v];
            }
            exps[n] = S.deg[j] - deg;
            pre[0] = S.coefficient(j, k) * w;
            for (int v = 0; v <= n; v++) {
                pwm1[v] = exps[v] > 0 ? ipow(Y[v], exps[v] - 1) : cplx(0.0);
                pw[v] = exps[v] > 0 ? pwm1[v] * Y[v] : cplx(1.0);
                pre[v + 1] = pre[v] * pw[v];
            }
            F[j] += pre[N];
            cplx suffix = 1.0;
            for (int i = n; i >= 0; i--) {
                if (exps[i] > 0)
                    J[j + i * n] += static_cast<double>(exps[i]) * pre[i] * pwm1[i] * suffix;
                suffix *= pw[i];
            }
        }
    }
}

// The Jacobian with its rows divided by the sizes of the equations' terms
// and its columns times max(1, |x_i|): its rank does not depend on the
// units of the equations and unknowns.
cvec scaled_jacobian(int n, const cvec &x, const cvec &J, const std::vector<double> &size)
{
    cvec Js(J);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            Js[j + static_cast<std::size_t>(i) * n] *= std::max(1.0, std::abs(x[i])) / std::max(size[j], DBL_MIN);
    return Js;
}

// Householder QR with column pivoting of a rows x cols matrix (rows >=
// cols), which tells the numerical rank, solves in the least-squares sense
// with the columns past the rank left out, and gives a vector of the null
// space when the rank is short.
struct pivoted_qr {
    int rows = 0, cols = 0, rank = 0;
    double rcond = 0.0;  // smallest over largest diagonal entry of R
    cvec A, diag;
    std::vector<double> tau;
    std::vector<int> perm;

    // Columns whose pivot is at most drop times the first are past the rank.
    void factor(int r, int c, const cplx *M, double drop)
    {
        rows = r;
        cols = c;
        A.assign(M, M + static_cast<std::size_t>(r) * c);
        diag.assign(c, 0.0);
        tau.assign(c, 0.0);
        perm.resize(c);
        for (int j = 0; j < c; j++)
            perm[j] = j;
        auto a = [&](int i, int j) -> cplx & { return A[i + static_cast<std::size_t>(j) * rows]; };
        for (int k = 0; k < c; k++) {
            int best = k;
            double best_norm = -1.0;
            for (int j = k; j < c; j++) {
                double s = 0.0;
                for (int i = k; i < r; i++)
                    s += std::norm(a(i, j));
                if (s > best_norm) {
                    best_norm = s;
                    best = j;
                }
            }
            if (best != k) {
                std::swap(perm[k], perm[best]);
                for (int i = 0; i < r; i++)
                    std::swap(a(i, k), a(i, best));
            }
            const double xnorm = std::sqrt(best_norm);
            if (!(xnorm > 0.0)) {
                diag[k] = 0.0;
                continue;
            }
            const cplx x0 = a(k, k);
            const cplx alpha = x0 == 0.0 ? cplx(-xnorm) : -(x0 / std::abs(x0)) * xnorm;
            a(k, k) -= alpha;
            const double vnorm2 = 2.0 * xnorm * (xnorm + std::abs(x0));
            tau[k] = 2.0 / vnorm2;
            diag[k] = alpha;
            for (int j = k + 1; j < c; j++) {
                cplx s = 0.0;
                for (int i = k; i < r; i++)
                    s += std::conj(a(i, k)) * a(i, j);
                s *= tau[k];
                for (int i = k; i < r; i++)
                    a(i, j) -= s * a(i, k);
            }
        }
        const double top = c > 0 ? std::abs(diag[0]) : 0.0;
        rank = 0;
        while (rank < c && std::abs(diag[rank]) > drop * top)
            rank++;
        rcond = top > 0.0 ? std::abs(diag[c - 1]) / top : 0.0;
    }

    // x (cols) from b (rows, destroyed).
    void solve(cvec &b, cvec &x) const
    {
        auto a = [&](int i, int j) { return A[i + static_cast<std::size_t>(j) * rows]; };
        for (int k = 0; k < cols; k++) {
            if (tau[k] == 0.0)
                continue;
            cplx s = 0.0;
            for (int i = k; i < rows; i++)
                s += std::conj(a(i, k)) * b[i];
            s *= tau[k];
            for (int i = k; i < rows; i++)
                b[i] -= s * a(i, k);
        }
        cvec y(cols, 0.0);
        for (int k = rank - 1; k >= 0; k--) {
            cplx s = b[k];
            for (int j = k + 1; j < rank; j++)
                s -= a(k, j) * y[j];
            y[k] = s / diag[k];
        }
        x.assign(cols, 0.0);
        for (int k = 0; k < cols; k++)
            x[perm[k]] = y[k];
    }

    // A unit vector v with R v = 0 in the first rank rows: the direction of
    // the column free past the rank (free >= rank).
    cvec null_vector(int free) const
    {
        auto a = [&](int i, int j) { return A[i + static_cast<std::size_t>(j) * rows]; };
        cvec z(cols, 0.0), v(cols, 0.0);
        if (free < rank || free >= cols)
            return v;
        z[free] = 1.0;
        for (int k = rank - 1; k >= 0; k--) {
            cplx s = a(k, free);
            for (int j = k + 1; j < rank; j++)
                s += a(k, j) * z[j];
            z[k] = -s / diag[k];
        }
        const double nz = two_norm(z);
        for (int k = 0; k < cols; k++)
            v[perm[k]] = z[k] / nz;
        return v;
    }
};

// How far a converging sequence of Newton steps still is from its limit:
// the last step times 1 / (1 - r) for the ratio r of the last two steps, or
// ten times the last step when the steps no longer shrink (the point moves
// in the noise of the arithmetic).
double distance_to_limit(double last, double before)
{
    const double r = before > 0.0 ? last / before : 1.0;
    return r < 0.9 ? last / (1.0 - r) : 10.0 * last;
}

// Where a path ended.
enum class end_kind {
    failed,     // no usable end: the path is tracked again
    regular,    // a root where the Jacobian has full rank
    singular,   // an isolated root where it has not (a multiple root)
    curve,      // a point of a solution set of positive dimension
    infinity,   // a point at infinity
};

struct path_end {
    end_kind kind = end_kind::failed;
    bool proven = true;  // false for a point at infinity whose end game failed
    cvec x;            // the refined root
    double acc = 0.0;  // how far it may be from the true root
};

// Newton's method on the homogenised system from the projective point Y,
// on the plane through Y normal to it. The homogenising coordinate of a
// point at infinity goes to 0 with the steps (quadratically where the point
// is regular, linearly where paths meet there); at a finite root it stays
// away from 0 by more than the distance the steps still leave, and more
// than the rounding of the equations magnified by the condition of the
// Newton matrix. Where only the condition leaves it open (a singular
// point: a multiple root, a solution set of positive dimension, or a
// singular point at infinity) the affine point decides. Y comes back
// refined.
enum class projective_end { finite, infinity, uncertain };

projective_end at_infinity(const packed_system &S, cvec &Y)
{
    const int n = S.n, N = n + 1;
    const double y0 = two_norm(Y);
    for (cplx &z : Y)
        z /= y0;
    const cvec a = Y;  // the chart: conj(a) . Y = 1
    cvec F(n), J(static_cast<std::size_t>(n) * N), M(static_cast<std::size_t>(N) * N), b(N), dY;
    pivoted_qr qr;
    double last = 0.0, before = 0.0;
    // The Jacobian with the chart's row below it, every row of unit length
    // (so that its condition tells how well the point is determined), and
    // the residual scaled alike.
    auto newton_matrix = [&]() {
        eval_homogeneous(S, Y.data(), F.data(), J.data());
        for (int j = 0; j < n; j++) {
            double rn = 0.0;
            for (int i = 0; i < N; i++)
                rn += std::norm(J[j + static_cast<std::size_t>(i) * n]);
            rn = rn > 0.0 ? 1.0 / std::sqrt(rn) : 1.0;
            for (int i = 0; i < N; i++)
                M[j + static_cast<std::size_t>(i) * N] = J[j + static_cast<std::size_t>(i) * n] * rn;
            b[j] = -F[j] * rn;
        }
        for (int i = 0; i < N; i++)
            M[n + static_cast<std::size_t>(i) * N] = std::conj(a[i]);
        b[n] = 0.0;
        qr.factor(N, N, M.data(), 1e-14);
    };
    for (int it = 0; it < 60; it++) {
        newton_matrix();
        qr.solve(b, dY);
        const double step = two_norm(dY);
        if (!std::isfinite(step) || step > 1.0)
            break;
        for (int i = 0; i < N; i++)
            Y[i] += dY[i];
        before = last;
        last = step;
        if (step <= 1e-16)
            break;
        if (it >= 4 && step >= before)
            break;  // in the noise
    }
    // The point is known to the steps still to come, and to the rounding
    // of its equations times the condition of the Newton matrix.
    newton_matrix();
    const double h = std::abs(Y[n]) / two_norm(Y);
    if (!(h > 3.0 * distance_to_limit(last, before) + 1e-14))
        return projective_end::infinity;
    return h > 3e-16 / std::max(qr.rcond, 1e-300) ? projective_end::finite : projective_end::uncertain;
}

// Newton's method on the given system from x, in place. At a regular root
// it converges quadratically; at a multiple root only linearly, and there
// the Jacobian keeps a small pivot. A point that moves away by more than a
// tenth of its size, or whose residual does not come down to the rounding
// of its terms, is no root near the path's end.
path_end refine_affine(const packed_system &S, const cvec &x0)
{
    const int n = S.n;
    path_end pe;
    pe.x = x0;
    cvec &x = pe.x;
    const double size0 = 1.0 + inf_norm(x0);
    cvec F(n), J(static_cast<std::size_t>(n) * n), b, dx;
    std::vector<double> size(n);
    pivoted_qr qr;
    double last = 0.0, before = 0.0;
    auto residual = [&]() {
        eval_system(S, x.data(), F.data(), J.data(), size.data());
        double r = 0.0;
        for (int j = 0; j < n; j++)
            r = std::max(r, std::isfinite(size[j]) ? std::abs(F[j]) / std::max(size[j], DBL_MIN) : HUGE_VAL);
        return std::isfinite(r) ? r : HUGE_VAL;
    };
    for (int it = 0; it < 80; it++) {
        const double resid = residual();
        if (resid == HUGE_VAL)
            return pe;
        if (resid == 0.0)
            break;
        qr.factor(n, n, J.data(), 1e-14);
        b.assign(F.begin(), F.end());
        for (cplx &z : b)
            z = -z;
        qr.solve(b, dx);
        const double step = inf_norm(dx);
        if (!std::isfinite(step) || step > 0.1 * size0)
            return pe;
        for (int j = 0; j < n; j++)
            x[j] += dx[j];
        double moved = 0.0;
        for (int j = 0; j < n; j++)
            moved = std::max(moved, std::abs(x[j] - x0[j]));
        if (moved > 0.1 * size0)
            return pe;
        before = last;
        last = step;
        const double xs = 1.0 + inf_norm(x);
        if (step <= 1e-15 * xs)
            break;
        if (it >= 3 && step >= before && resid < 1e-11)
            break;  // in the noise of the arithmetic
    }
    if (!(residual() < 1e-9))
        return pe;
    qr.factor(n, n, scaled_jacobian(n, x, J, size).data(), 1e-14);
    pe.acc = std::max(distance_to_limit(last, before), 1e-15 * (1.0 + inf_norm(x)));
    // The scaled Jacobian is free of units: at a multiple root its smallest
    // pivot goes to 0 with the distance to the root, also where all of
    // them do.
    const double smallest = n > 0 ? std::abs(qr.diag[n - 1]) : 1.0;
    pe.kind = qr.rcond >= 1e-7 && smallest >= 1e-7 ? end_kind::regular : end_kind::singular;
    // Newton's method pins a multiple root only to some root of the
    // rounding (the ends of a triple root lie some 1e-5 apart).
    if (pe.kind == end_kind::singular)
        pe.acc = std::max(pe.acc, 1e-5 * (1.0 + inf_norm(x)));
    return pe;
}

// A multiple root of m paths, refined by Newton steps taken m times (along
// the null direction a Newton step covers only 1/m of the way to a root of
// multiplicity m); a step is kept while the residual falls.
void polish_multiple(const packed_system &S, cvec &x, int m)
{
    const int n = S.n;
    cvec F(n), J(static_cast<std::size_t>(n) * n), b, dx, trial;
    std::vector<double> size(n);
    pivoted_qr qr;
    auto residual = [&](const cvec &at) {
        eval_system(S, at.data(), F.data(), J.data(), size.data());
        double r = 0.0;
        for (int j = 0; j < n; j++)
            r = std::max(r, std::abs(F[j]) / std::max(size[j], DBL_MIN));
        return std::isfinite(r) ? r : HUGE_VAL;
    };
    double resid = residual(x);
    for (int it = 0; it < 40 && resid > 0.0; it++) {
        qr.factor(n, n, J.data(), 1e-14);
        b.assign(F.begin(), F.end());
        for (cplx &z : b)
            z = -z;
        qr.solve(b, dx);
        bool better = false;
        for (double factor : {static_cast<double>(m), 1.0}) {
            trial = x;
            for (int j = 0; j < n; j++)
                trial[j] += factor * dx[j];
            const double r = residual(trial);
            if (r < resid) {
                x = trial;
                resid = r;
                better = true;
                break;
            }
        }
        if (!better)
            break;
        residual(x);
    }
}

// Whether the singular root x lies on a solution set of positive dimension:
// a step of 1e-3 of its size along the null direction of the Jacobian, and
// Gauss-Newton from there (steps with the columns past the numerical rank
// left out), comes back to the solution set at a point as far away as the
// step where x lies on a curve or surface of solutions, and back to x where
// x is an isolated (multiple) root.
bool on_solution_set(const packed_system &S, const cvec &x0)
{
    const int n = S.n;
    cvec F(n), J(static_cast<std::size_t>(n) * n), b, dx;
    std::vector<double> size(n);
    pivoted_qr qr;
    eval_system(S, x0.data(), F.data(), J.data(), size.data());
    // A singular end is known to some 1e-5 (see refine_affine): pivots
    // that small may be 0 at the point itself.
    // A singular end is known to some 1e-5 (see refine_affine): pivots
    // that small may be 0 at the point itself.
    qr.factor(n, n, scaled_jacobian(n, x0, J, size).data(), 1e-4);
    if (qr.rank >= n)
        return false;
    // The null space of the scaled Jacobian, back in the unknowns: one
    // vector for each column past the rank. Where it has more than one
    // dimension (a point where a curve of solutions is thicker, as at the
    // points (1, 1, -1, -1) of cyclic-4), the curve's tangent is some
    // combination of them: the vectors, their sums and differences, and the
    // differences times i are tried in turn.
    const pivoted_qr at_x0 = qr;
    std::vector<cvec> basis;
    for (int k = at_x0.rank; k < n; k++) {
        cvec v = at_x0.null_vector(k);
        for (int j = 0; j < n; j++)
            v[j] *= std::max(1.0, std::abs(x0[j]));
        basis.push_back(v);
    }
    std::vector<cvec> directions = basis;
    if (basis.size() >= 2)
        for (const cplx w : {cplx(1.0), cplx(-1.0), cplx(0.0, 1.0), cplx(0.0, -1.0)}) {
            cvec v = basis[0];
            for (int j = 0; j < n; j++)
                v[j] += w * basis[1][j];
            directions.push_back(v);
        }
    const double eps = 1e-3 * (1.0 + inf_norm(x0));
    // Gauss-Newton from x0 + eps v back to the solution set; true where it
    // ends as far from x0 as it started.
    auto leaves_x0 = [&](const cvec &v) {
        const double vn = inf_norm(v);
        cvec x = x0;
        for (int j = 0; j < n; j++)
            x[j] += eps * v[j] / vn;
        double resid = HUGE_VAL;
        for (int it = 0; it < 80; it++) {
            eval_system(S, x.data(), F.data(), J.data(), size.data());
            resid = 0.0;
            for (int j = 0; j < n; j++)
                resid = std::max(resid, std::abs(F[j]) / std::max(size[j], DBL_MIN));
            if (!std::isfinite(resid) || resid < 1e-15)
                break;
            qr.factor(n, n, J.data(), 1e-8);
            b.assign(F.begin(), F.end());
            for (cplx &z : b)
                z = -z;
            qr.solve(b, dx);
            const double step = inf_norm(dx);
            if (!std::isfinite(step) || step > eps)
                return false;
            for (int j = 0; j < n; j++)
                x[j] += dx[j];
            if (step <= 1e-15 * (1.0 + inf_norm(x)))
                break;
        }
        if (!(resid < 1e-10))
            return false;
        double d = 0.0;
        for (int j = 0; j < n; j++)
            d = std::max(d, std::abs(x[j] - x0[j]));
        return d > 0.3 * eps;
    };
    for (const cvec &v : directions)
        if (leaves_x0(v))
            return true;
    return false;
}

// The number of paths (the product of the equation degrees, in 64 bits)
// and the largest term count; -1 after the error when a variable is not
// one of the n unknowns or the product passes the range of an int.
long long total_degree_of(const eq_array &E, int *max_terms)
{
    const int n = E.n;
    long long total = 1;
    *max_terms = 0;
    for (int j = 0; j < n; j++) {
        const termlist &L = E.eq[j];
        int d = 0;
        for (int k = 0; k < L.n; k++) {
            const poly_term &t = L.t[k];
            for (int v = n; v < t.n; v++)
                if (t.exp[v] != 0) {
                    error("polysys: variable B%d in equation %d, but the system has only the %d unknowns B0 .. B%d",
                          v, j, n, n - 1);
                    return -1;
                }
            d = std::max(d, term_degree(t));
        }
        *max_terms = std::max(*max_terms, L.n);
        total *= d;
        if (total > INT_MAX) {
            char text[64];
            snprintf(text, sizeof text, "%lld", total);
            error("polysys: total degree %s is more paths than an int counts", text);
            return -1;
        }
    }
    return total;
}

// The packed system and the solver's arrays for T paths.
struct path_arrays {
    int n = 0, max_terms = 0, T = 0, rlen = 0, ilen = 0;
    std::vector<int> term_count;
    matrix coef;  // n x max_terms
    im3 e;        // n x (n+1) x max_terms; the last variable slot is the solver's
    std::vector<int> path_flag, eval_count;
    std::vector<double> lambda, arc_length, real_work;
    std::vector<int> int_work;
    m3 roots;  // 2 x (n+1) x T
};

// Processor time in seconds.
double cpu_seconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Tracks the paths marked in track, with path_flag, lambda and roots of
// each as the solver leaves them; returns the solver's mode (mode unless it
// refused the system), or 0 when the bound on the time (algst.path_seconds
// from start) was passed. The paths go to the solver a block at a time,
// which every call builds the same start system and chart for, so that the
// blocks track exactly the paths one call would.
int track_round(path_arrays &A, const std::vector<char> &track, int mode_in, double track_tol, double end_tol,
                double *step_param, int max_restarts, double start)
{
    const int n = A.n, T = A.T, ld = n;
    const int paths_per_block = 16;
    int mode = mode_in;
    for (int p = 0; p < T; p++)
        A.path_flag[p] = track[p] ? -2 : 0;
    // The flags of one call: those of its block, 0 (skip) elsewhere.
    std::vector<int> flag(T, 0);
    for (int first = 0; first < T && mode == mode_in; first += paths_per_block) {
        if (algst.path_seconds > 0 && cpu_seconds() - start > algst.path_seconds)
            return 0;
        const int last = std::min(T, first + paths_per_block);
        bool any = false;
        for (int p = first; p < last; p++) {
            flag[p] = A.path_flag[p];
            any = any || track[p];
        }
        if (!any)
            continue;
        std::fill(A.real_work.begin(), A.real_work.end(), 0.0);
        std::fill(A.int_work.begin(), A.int_work.end(), 0);
        int restarts = max_restarts;
        hom_solve(n, A.term_count.data(), A.coef.data, A.e.data.data(), mode, flag.data(), track_tol, end_tol,
                  step_param, restarts, ld, A.max_terms, T, A.rlen, A.ilen, A.lambda.data(), A.roots.data.data(),
                  A.arc_length.data(), A.eval_count.data(), A.real_work.data(), A.int_work.data());
        for (int p = first; p < last; p++) {
            A.path_flag[p] = flag[p];
            flag[p] = 0;
        }
    }
    if (algst.path_seconds > 0 && cpu_seconds() - start > algst.path_seconds)
        return 0;
    return mode;
}

// The end of path p as the solver left it: a point at infinity, or the
// root that Newton's method makes of it, regular, multiple or on a solution
// set of positive dimension. A path that stopped short of lambda = 1 but
// near it (two paths meeting at a multiple root) is taken as well.
path_end classify_end(const packed_system &S, const path_arrays &A, int p)
{
    const int n = A.n;
    path_end pe;
    if (!(A.path_flag[p] == 1 || A.lambda[p] > 0.9))
        return pe;
    const cplx h(m3_element(A.roots, 0, n, p), m3_element(A.roots, 1, n, p));
    // The point in the solver's chart: its affine point times the
    // homogenising coordinate. One below the range in which the affine
    // point was formed lies at infinity.
    if (!(std::abs(h) > 1e-150)) {
        pe.kind = std::isfinite(std::abs(h)) ? end_kind::infinity : end_kind::failed;
        return pe;
    }
    cvec Y(n + 1);
    for (int v = 0; v < n; v++)
        Y[v] = cplx(m3_element(A.roots, 0, v, p), m3_element(A.roots, 1, v, p)) * h;
    Y[n] = h;
    for (const cplx &z : Y)
        if (!std::isfinite(z.real()) || !std::isfinite(z.imag()))
            return pe;
    const projective_end where = at_infinity(S, Y);
    pe.proven = A.path_flag[p] == 1;
    pe.kind = end_kind::infinity;
    if (where == projective_end::infinity)
        return pe;
    cvec x(n);
    for (int v = 0; v < n; v++)
        x[v] = Y[v] / Y[n];
    const path_end at_inf = pe;
    pe = refine_affine(S, x);
    // An uncertain end is finite only as a point of a solution set of
    // positive dimension, and one within a thousand times the size of the
    // homogenising coordinate: farther out, the relative residuals of the
    // affine equations no longer tell a solution set from the singular
    // points at infinity that many paths end at.
    if (where == projective_end::uncertain)
        return pe.kind == end_kind::singular && std::abs(Y[n]) > 1e-3 * two_norm(Y) && on_solution_set(S, pe.x)
                   ? path_end{end_kind::curve, true, pe.x, pe.acc}
                   : at_inf;
    if (pe.kind == end_kind::singular && on_solution_set(S, pe.x))
        pe.kind = end_kind::curve;
    return pe;
}

// Two roots are one when they agree within their accuracy (at least to
// 1e-12 relative).
bool same_root(const path_end &a, const path_end &b)
{
    const double scale = 1.0 + std::max(inf_norm(a.x), inf_norm(b.x));
    const double tol = std::max(10.0 * (a.acc + b.acc), 1e-12 * scale);
    for (std::size_t v = 0; v < a.x.size(); v++)
        if (!(std::abs(a.x[v] - b.x[v]) <= tol))
            return false;
    return true;
}

// Which paths to track again: failures, and regular roots reached by more
// than one path (one has jumped to the other's curve). A path that failed
// twice (counted in failures) is left to another homotopy: its own fails
// the same way with any tolerance. False when there is none.
bool mark_paths_again(const std::vector<path_end> &ends, std::vector<char> &track, std::vector<int> &failures)
{
    const int T = static_cast<int>(ends.size());
    for (int p = 0; p < T; p++)
        failures[p] += track[p] && ends[p].kind == end_kind::failed;
    std::fill(track.begin(), track.end(), 0);
    bool again = false;
    for (int p = 0; p < T; p++) {
        if (ends[p].kind == end_kind::failed) {
            if (failures[p] < 2)
                track[p] = again = true;
            continue;
        }
        if (ends[p].kind != end_kind::regular)
            continue;
        for (int q = p + 1; q < T; q++)
            if (ends[q].kind == end_kind::regular && same_root(ends[p], ends[q]))
                track[p] = track[q] = again = true;
    }
    return again;
}

// An isolated root: where it is, the first path that reached it, and how
// many paths of one homotopy end there (its multiplicity).
struct found_root {
    path_end at;
    int first_path = 0;
    int paths = 0;
};

// The isolated roots that the ends of one homotopy give, merged into
// roots: a regular root reached by several paths once (it counts once: the
// other paths have jumped), the ends at a multiple root as one root of as
// many paths, averaged (the ends lie around it). Returns the paths that the
// roots, the points at infinity and the solution sets of positive dimension
// of these ends account for, with the roots known from the other
// homotopies; curve_paths counts the ends on those solution sets.
int merge_roots(const std::vector<path_end> &ends, std::vector<found_root> &roots, int *curve_paths,
                path_end *curve_point, int *added)
{
    *added = 0;
    const int T = static_cast<int>(ends.size());
    std::vector<found_root> mine;
    int infinite = 0;
    *curve_paths = 0;
    for (int p = 0; p < T; p++) {
        const path_end &e = ends[p];
        if (e.kind == end_kind::infinity)
            infinite++;
        if (e.kind == end_kind::curve) {
            if (*curve_paths == 0)
                *curve_point = e;
            ++*curve_paths;
        }
        if (e.kind != end_kind::regular && e.kind != end_kind::singular)
            continue;
        bool joined = false;
        for (found_root &r : mine)
            if (same_root(r.at, e)) {
                if (e.kind == end_kind::singular && r.at.kind == end_kind::singular) {
                    for (std::size_t v = 0; v < e.x.size(); v++)
                        r.at.x[v] = (r.at.x[v] * static_cast<double>(r.paths) + e.x[v]) / (r.paths + 1.0);
                    r.at.acc = std::max(r.at.acc, e.acc);
                    r.paths++;
                }
                joined = true;
                break;
            }
        if (!joined)
            mine.push_back({e, p, 1});
    }
    for (const found_root &m : mine) {
        bool known = false;
        for (found_root &r : roots)
            if (same_root(r.at, m.at)) {
                r.paths = std::max(r.paths, m.paths);
                known = true;
                break;
            }
        if (!known) {
            roots.push_back(m);
            ++*added;
        }
    }
    int accounted = infinite + *curve_paths;
    for (const found_root &r : roots)
        accounted += r.paths;
    return accounted;
}

// A value whose imaginary part is below the tolerance (at least the end
// game's, at most the root's own accuracy) prints as real; a real part
// within the point's accuracy of 0 prints as 0.
void print_point(FILE *out, const cvec &x, double tol, double acc)
{
    for (const cplx &z : x) {
        const double re = std::fabs(z.real()) <= acc ? 0.0 : z.real();
        if (std::fabs(z.imag()) < tol)
            fprintf(out, "%g, ", re);
        else
            fprintf(out, "(%g,%g) ", re, z.imag());
    }
}

}  // namespace

void polysys(const eq_array &E)
{
    FILE *out = report_stream();
    const int n = E.n;
    fputs("equations:\n", out);
    print_eq_array(E, out);

    int max_terms = 0;
    const long long total = total_degree_of(E, &max_terms);
    if (total < 0)
        return;
    const long long root_len = 2LL * (n + 1) * total;
    const long long real_len = hom_real_work_length(n, max_terms);
    const long long int_len = hom_int_work_length(n, max_terms);
    if (root_len > INT_MAX || real_len > INT_MAX || int_len > INT_MAX ||
        static_cast<long long>(n) * (n + 1) * max_terms > INT_MAX) {
        error("polysys: the work arrays of a system of %d equations with up to %d terms do not fit an int", n,
              max_terms);
        return;
    }
    const int T = static_cast<int>(total);
    fprintf(out, "\ntotal degree = %d\n", T);

    path_arrays A;
    A.n = n;
    A.max_terms = max_terms;
    A.T = T;
    A.rlen = static_cast<int>(real_len);
    A.ilen = static_cast<int>(int_len);
    A.term_count.assign(n, 0);
    A.coef = newm(n, max_terms);
    A.e = newim3(n, n + 1, max_terms);
    packed_system S{n, max_terms, A.term_count.data(), A.coef.data, A.e.data.data(), {}, {}};
    S.deg.assign(n, 0);
    S.coef_sum.assign(n, 0.0);
    for (int j = 0; j < n; j++) {
        const termlist &L = E.eq[j];
        A.term_count[j] = L.n;
        for (int k = 0; k < L.n; k++) {
            const poly_term &t = L.t[k];
            A.coef.data[k * n + j] = static_cast<double>(t.coef);
            S.coef_sum[j] += std::fabs(static_cast<double>(t.coef));
            S.deg[j] = std::max(S.deg[j], term_degree(t));
            for (int v = 0; v < t.n && v < n; v++)
                A.e.data[im3index(A.e, j, v, k)] = t.exp[v];
        }
    }
    A.path_flag.assign(T, -2);
    A.eval_count.assign(T, 0);
    A.lambda.assign(T, 0.0);
    A.arc_length.assign(T, 0.0);
    A.real_work.assign(A.rlen, 0.0);
    A.int_work.assign(A.ilen, 0);
    A.roots = newm3(2, n + 1, T);

    // The paths are tracked in a random affine chart of projective space
    // (mode 10), so that a path to infinity ends at a finite point of the
    // chart instead of running away, and every end is judged there: at
    // infinity, or a root that Newton's method on the given system refines.
    // Paths that failed (twice at most) and paths that end at the same
    // regular root (one has jumped to the other's curve) are tracked again,
    // three times at most, with a tolerance a hundred times tighter each
    // time (down to 1e-10) and shorter steps. The system is solved when the
    // roots with their multiplicities, the points at infinity and the ends
    // on solution sets of positive dimension account for every path, and
    // every path to infinity ended there (through the solver's end game,
    // which the paths stopped short of 1 skip). A path that heads for a
    // point at infinity is so judged from within 1e-4 of lambda = 1 only, and one
    // that headed for a root may have jumped to another path: then all
    // paths of another homotopy (other random constants) are tracked the
    // same way, and their roots merged, until one finds no root that the
    // others did not and accounts for every path (four homotopies at most).
    const double end_tol = 1e-7;
    const double start = cpu_seconds();
    std::vector<found_root> roots;
    int best_accounted = 0, best_curve = 0, missing = 0;
    path_end curve_point;
    bool refused = false, solved = false;
    for (int g = 0; g < 4 && !refused && !solved; g++) {
        std::vector<path_end> ends(T);
        std::vector<char> track(T, 1);
        std::vector<int> failures(T, 0);
        double track_tol = 1e-4;
        double step_param[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        for (int round = 0; round < 4; round++) {
            // The paths stop within 1e-4 of lambda = 1 and are ended by
            // Newton's method here (classify_end): where many paths meet at
            // a singular point at infinity, the solver's end game would cost
            // more than all the path before. (A path that steps past 1, as
            // at a regular root, runs through the end game.)
            const int mode_in = 10 + 100 * g + 10000;
            const int mode =
                track_round(A, track, mode_in, track_tol, end_tol, step_param, round == 0 ? 1 : 10, start);
            if (mode == 0) {
                char secs[32];
                snprintf(secs, sizeof secs, "%g", algst.path_seconds);
                error("polysys: tracking the %d paths takes more than %s s of processor time; refused", T, secs);
                refused = true;
                break;
            }
            if (mode != mode_in) {
                fputs("Error in polysys.\n", out);
                error("polysys: the homotopy solver refused the system (code %d)", mode);
                refused = true;
                break;
            }
            for (int p = 0; p < T; p++)
                if (track[p]) {
                    path_end pe = classify_end(S, A, p);
                    // A path tracked again that now fails keeps the end it had.
                    if (pe.kind != end_kind::failed || ends[p].kind == end_kind::failed)
                        ends[p] = pe;
                }
            if (!mark_paths_again(ends, track, failures))
                break;
            track_tol = std::max(track_tol * 0.01, 1e-10);
            // Shorter and more cautious steps: the largest step and the ideal
            // ratios of the corrector's contraction.
            step_param[0] = 0.25;
            step_param[2] = 0.25;
            step_param[4] = 0.1 * std::pow(0.3, round);
        }
        if (refused)
            break;
        int curve = 0, added = 0;
        path_end point;
        const int accounted = merge_roots(ends, roots, &curve, &point, &added);
        if (accounted > best_accounted || g == 0) {
            best_accounted = accounted;
            best_curve = curve;
            if (curve > 0)
                curve_point = point;
        }
        bool proven = true;
        for (const path_end &e : ends)
            proven = proven && e.proven;
        solved = accounted >= T && (g == 0 ? proven : added == 0);
        missing = std::max(T - best_accounted, g > 0 ? added : 1);
    }
    fputs("\n", out);
    if (refused)
        return;
    std::sort(roots.begin(), roots.end(),
              [](const found_root &a, const found_root &b) { return a.first_path < b.first_path; });
    for (found_root &r : roots) {
        if (r.paths > 1)
            polish_multiple(S, r.at.x, r.paths);
        fprintf(out, "solution %d: ", r.first_path);
        print_point(out, r.at.x, std::max(end_tol, r.at.acc), r.at.acc);
        if (r.paths > 1)
            fprintf(out, "multiplicity %d", r.paths);
        fputs("\n", out);
    }
    if (best_curve > 0) {
        fprintf(out, "positive-dimensional solution set: %d of %d paths end on it, one at ", best_curve, T);
        print_point(out, curve_point.x, end_tol, curve_point.acc);
        fputs("\n", out);
    }
    if (!solved)
        error("polysys: %d of %d paths failed; roots may be missing", std::max(missing, 1), T);
}
