// Every isolated solution of the ladder equations by homotopy continuation,
// with every path accounted for.
#include "ladder/every_ladder.h"

#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>

#include "base/error.h"
#include "homotopy/solve.h"
#include "ladder/ladder_roots.h"

namespace {

using cplx = std::complex<double>;

// One term c * prod_{i in mask} b_i: P_n(a, b) is affine in each b_i, so
// every term is a product of distinct unknowns.
struct mterm {
    double c;
    unsigned mask;
};

struct ladder_system {
    int m = 0;                             // unknowns b_0 .. b_(m-1), m = n - 1
    std::vector<std::vector<mterm>> eq;    // equation k: the coefficient of s^k
    std::vector<int> degree;               // of each equation
};

// The coefficients of s^0 .. s^(n-2) of P_n(a, b) - p, expanded over the
// sets of pairwise non-adjacent off-diagonal positions (the matchings of
// the tridiagonal matrix): each set M adds prod_{i in M} (-b_i) times the
// product of (s - a_j) over the positions j it leaves free.
ladder_system build_system(const double *a, const double *p, int n)
{
    ladder_system S;
    const int m = n - 1;
    S.m = m;
    S.eq.assign(m, {});
    S.degree.assign(m, 0);
    for (unsigned mask = 0; mask < (1u << m); mask++) {
        if (mask & (mask >> 1))
            continue;
        std::vector<double> q{1.0};
        double sign = 1.0;
        for (int i = 0; i < m; i++)
            if (mask >> i & 1u)
                sign = -sign;
        for (int j = 0; j < n; j++) {
            const bool taken = (j < m && (mask >> j & 1u)) || (j > 0 && (mask >> (j - 1) & 1u));
            if (taken)
                continue;
            std::vector<double> t(q.size() + 1, 0.0);
            for (std::size_t u = 0; u < q.size(); u++) {
                t[u + 1] += q[u];
                t[u] -= a[j] * q[u];
            }
            q = std::move(t);
        }
        for (int k = 0; k < m && k < static_cast<int>(q.size()); k++) {
            double c = sign * q[k];
            if (mask == 0)
                c -= p[k];
            if (c != 0.0 || mask == 0) {
                S.eq[k].push_back({c, mask});
                S.degree[k] = std::max(S.degree[k], __builtin_popcount(mask));
            }
        }
    }
    return S;
}

cplx ipow(cplx x, int e)
{
    cplx r = 1.0;
    for (int i = 0; i < e; i++)
        r *= x;
    return r;
}

double norm_inf(const std::vector<cplx> &x)
{
    double r = 0.0;
    for (const cplx &v : x)
        r = std::max(r, std::abs(v));
    return r;
}

// F, the sum of the term magnitudes per equation, and J (row-major) when
// asked for.
void evaluate(const ladder_system &S, const std::vector<cplx> &x, std::vector<cplx> &F, std::vector<double> &size,
              std::vector<cplx> *J)
{
    const int m = S.m;
    F.assign(m, 0.0);
    size.assign(m, 0.0);
    if (J)
        J->assign(static_cast<std::size_t>(m) * m, 0.0);
    for (int k = 0; k < m; k++)
        for (const mterm &t : S.eq[k]) {
            cplx v = t.c;
            for (int i = 0; i < m; i++)
                if (t.mask >> i & 1u)
                    v *= x[i];
            F[k] += v;
            size[k] += std::abs(v);
            if (!J)
                continue;
            for (int j = 0; j < m; j++) {
                if (!(t.mask >> j & 1u))
                    continue;
                cplx d = t.c;
                for (int i = 0; i < m; i++)
                    if (i != j && (t.mask >> i & 1u))
                        d *= x[i];
                (*J)[static_cast<std::size_t>(k) * m + j] += d;
            }
        }
}

// The largest |F_k| relative to its terms.
double relative_residual(const std::vector<cplx> &F, const std::vector<double> &size)
{
    double r = 0.0;
    for (std::size_t k = 0; k < F.size(); k++) {
        const double s = size[k] > 0.0 ? size[k] : 1.0;
        const double v = std::abs(F[k]) / s;
        r = std::isfinite(v) ? std::max(r, v) : HUGE_VAL;
    }
    return r;
}

// J dx = rhs by Gaussian elimination with partial pivoting; false when a
// pivot vanishes.
bool complex_solve(int m, std::vector<cplx> J, std::vector<cplx> &rhs)
{
    for (int c = 0; c < m; c++) {
        int piv = c;
        for (int r = c + 1; r < m; r++)
            if (std::abs(J[r * m + c]) > std::abs(J[piv * m + c]))
                piv = r;
        if (!(std::abs(J[piv * m + c]) > 0.0))
            return false;
        if (piv != c) {
            for (int j = 0; j < m; j++)
                std::swap(J[c * m + j], J[piv * m + j]);
            std::swap(rhs[c], rhs[piv]);
        }
        for (int r = c + 1; r < m; r++) {
            const cplx f = J[r * m + c] / J[c * m + c];
            for (int j = c; j < m; j++)
                J[r * m + j] -= f * J[c * m + j];
            rhs[r] -= f * rhs[c];
        }
    }
    for (int r = m - 1; r >= 0; r--) {
        cplx s = rhs[r];
        for (int j = r + 1; j < m; j++)
            s -= J[r * m + j] * rhs[j];
        rhs[r] = s / J[r * m + r];
    }
    return true;
}

// A refined end point: a root when its residual is at the rounding level.
struct refined {
    std::vector<cplx> x;
    bool root = false;
    bool regular = false;  // Newton's method converged quadratically to a well-conditioned root
    double error = 0.0;    // the size of the last Newton steps: how far x may be from the root
};

// The smallest singular value of J over the largest, rows scaled by their
// term sizes and columns by the size of their unknown.
double scaled_condition(const ladder_system &S, const std::vector<cplx> &x)
{
    const int m = S.m;
    std::vector<cplx> F, J;
    std::vector<double> size;
    evaluate(S, x, F, size, &J);
    const double xs = 1.0 + norm_inf(x);
    gsl_matrix *R = gsl_matrix_alloc(2 * m, 2 * m), *V = gsl_matrix_alloc(2 * m, 2 * m);
    gsl_vector *s = gsl_vector_alloc(2 * m), *w = gsl_vector_alloc(2 * m);
    check_alloc(R && V && s && w ? R : nullptr, "gladder array b");
    for (int k = 0; k < m; k++)
        for (int j = 0; j < m; j++) {
            const double f = (std::abs(x[j]) + 1e-3 * xs) / (size[k] > 0.0 ? size[k] : 1.0);
            const cplx v = J[k * m + j] * f;
            gsl_matrix_set(R, k, j, v.real());
            gsl_matrix_set(R, k, j + m, -v.imag());
            gsl_matrix_set(R, k + m, j, v.imag());
            gsl_matrix_set(R, k + m, j + m, v.real());
        }
    double ratio = 0.0;
    bool finite = true;
    for (int i = 0; i < 2 * m; i++)
        for (int j = 0; j < 2 * m; j++)
            finite = finite && std::isfinite(gsl_matrix_get(R, i, j));
    if (finite && gsl_linalg_SV_decomp(R, V, s, w) == GSL_SUCCESS && gsl_vector_get(s, 0) > 0.0)
        ratio = gsl_vector_get(s, 2 * m - 1) / gsl_vector_get(s, 0);
    gsl_matrix_free(R);
    gsl_matrix_free(V);
    gsl_vector_free(s);
    gsl_vector_free(w);
    return ratio;
}

// Newton's method from an end point: a root only when the end point was
// already close to it (far from a root, Newton's method may reach any
// root, and a path that heads to infinity would seem to end there).
refined refine(const ladder_system &S, std::vector<cplx> x)
{
    const int m = S.m;
    const std::vector<cplx> start = x;
    refined r;
    std::vector<cplx> F, J;
    std::vector<double> size;
    double last = HUGE_VAL, before = HUGE_VAL;
    for (int it = 0; it < 60; it++) {
        evaluate(S, x, F, size, &J);
        std::vector<cplx> dx(m);
        for (int k = 0; k < m; k++)
            dx[k] = -F[k];
        if (!complex_solve(m, J, dx))
            break;
        double step = norm_inf(dx);
        if (!std::isfinite(step))
            break;
        for (int k = 0; k < m; k++)
            x[k] += dx[k];
        before = last;
        last = step;
        const double xs = 1.0 + norm_inf(x);
        if (!(xs < 1e15))
            break;
        if (step <= 1e-15 * xs)
            break;
        // stalled at the rounding level of a singular root
        if (it > 8 && step > 0.9 * before && relative_residual(F, size) < 1e-13)
            break;
    }
    evaluate(S, x, F, size, nullptr);
    const double xs = 1.0 + norm_inf(x);
    double moved = 0.0;
    for (int k = 0; k < m; k++)
        moved = std::max(moved, std::abs(x[k] - start[k]));
    r.root = std::isfinite(xs) && relative_residual(F, size) <= 1e-11 && moved <= 1e-3 * xs;
    r.error = std::max({last, before < HUGE_VAL ? before : 0.0, 1e-15 * xs});
    r.regular = r.root && last <= 1e-11 * xs && scaled_condition(S, x) > 1e-9;
    if (r.regular)
        r.error = std::max(last, 1e-15 * xs);
    r.x = std::move(x);
    return r;
}

// Whether the end point x (affine, possibly far out) lies on its way to
// a solution at infinity: Gauss-Newton with minimum-norm steps on the
// homogenised equations in z = (z_0, z_1..z_m) ~ (1, b), normalised by
// conj(z start) . z = 1, converges to a solution of them; one with z_0 at
// the rounding level of the rest is at infinity. Solutions at infinity of
// these equations are seldom isolated, which the minimum-norm steps allow.
// An end point whose end game failed short of such a singular point lies
// some way off it (up to half the size of z), and is taken when it comes
// to it: an end point near a finite root is one that Newton's method on the
// equations refines, which is tried first.
bool at_infinity(const ladder_system &S, const std::vector<cplx> &x)
{
    const int m = S.m, M = m + 1, N = 2 * M;
    const double xs = norm_inf(x);
    if (!std::isfinite(xs))
        return false;
    std::vector<cplx> z(M), z0;
    const double h = 1.0 / (1.0 + xs);
    z[0] = h;
    for (int i = 0; i < m; i++)
        z[i + 1] = x[i] * h;
    double zn = 0.0;
    for (const cplx &v : z)
        zn += std::norm(v);
    for (cplx &v : z)
        v /= std::sqrt(zn);
    z0 = z;
    gsl_matrix *G = gsl_matrix_alloc(N + 2, N), *V = gsl_matrix_alloc(N, N);
    gsl_vector *sv = gsl_vector_alloc(N), *w = gsl_vector_alloc(N), *rhs = gsl_vector_alloc(N + 2),
               *dz = gsl_vector_alloc(N);
    check_alloc(G && V && sv && w && rhs && dz ? G : nullptr, "gladder array b");
    std::vector<cplx> F(M), J(static_cast<std::size_t>(M) * M);
    std::vector<double> size(m);
    double resid = HUGE_VAL, moved = 0.0, rcond = 0.0;
    for (int it = 0; it <= 50; it++) {
        // the homogenised equations, each of its own degree, and the chart
        std::fill(F.begin(), F.end(), 0.0);
        std::fill(J.begin(), J.end(), 0.0);
        std::fill(size.begin(), size.end(), 0.0);
        for (int k = 0; k < m; k++)
            for (const mterm &t : S.eq[k]) {
                const int e0 = S.degree[k] - __builtin_popcount(t.mask);
                cplx v = t.c * ipow(z[0], e0);
                for (int i = 0; i < m; i++)
                    if (t.mask >> i & 1u)
                        v *= z[i + 1];
                F[k] += v;
                size[k] += std::fabs(t.c);
                for (int j = 0; j < M; j++) {
                    const bool has = j == 0 ? e0 > 0 : (t.mask >> (j - 1) & 1u);
                    if (!has)
                        continue;
                    cplx d = t.c * (j == 0 ? static_cast<double>(e0) * ipow(z[0], e0 - 1) : ipow(z[0], e0));
                    for (int i = 0; i < m; i++)
                        if (i + 1 != j && (t.mask >> i & 1u))
                            d *= z[i + 1];
                    J[static_cast<std::size_t>(k) * M + j] += d;
                }
            }
        // with |z| = 1 the coefficients are the natural size of each
        double r = 0.0;
        for (int k = 0; k < m; k++)
            r = std::max(r, std::abs(F[k]) / size[k]);
        resid = r;
        cplx c = -1.0;
        for (int j = 0; j < M; j++)
            c += std::conj(z0[j]) * z[j];
        if (it == 50 || !std::isfinite(r))
            break;
        for (int k = 0; k < m; k++) {
            const double f = 1.0 / size[k];
            for (int j = 0; j < M; j++) {
                const cplx e = J[static_cast<std::size_t>(k) * M + j] * f;
                gsl_matrix_set(G, k, j, e.real());
                gsl_matrix_set(G, k, j + M, -e.imag());
                gsl_matrix_set(G, k + M, j, e.imag());
                gsl_matrix_set(G, k + M, j + M, e.real());
            }
            gsl_vector_set(rhs, k, -F[k].real() * f);
            gsl_vector_set(rhs, k + M, -F[k].imag() * f);
        }
        // rows m and m + M + ... : the chart, in the slots left by the m equations
        for (int j = 0; j < M; j++) {
            const cplx e = std::conj(z0[j]);
            gsl_matrix_set(G, m, j, e.real());
            gsl_matrix_set(G, m, j + M, -e.imag());
            gsl_matrix_set(G, m + M, j, e.imag());
            gsl_matrix_set(G, m + M, j + M, e.real());
        }
        gsl_vector_set(rhs, m, -c.real());
        gsl_vector_set(rhs, m + M, -c.imag());
        for (int j = 0; j < N; j++) {
            gsl_matrix_set(G, N, j, 0.0);
            gsl_matrix_set(G, N + 1, j, 0.0);
        }
        gsl_vector_set(rhs, N, 0.0);
        gsl_vector_set(rhs, N + 1, 0.0);
        bool finite = true;
        for (int i = 0; i < N + 2; i++)
            for (int j = 0; j < N; j++)
                finite = finite && std::isfinite(gsl_matrix_get(G, i, j));
        if (!finite || gsl_linalg_SV_decomp(G, V, sv, w) != GSL_SUCCESS)
            break;
        // minimum-norm step: singular values below 1e-12 of the largest left out
        const double smax = gsl_vector_get(sv, 0);
        rcond = smax > 0.0 ? gsl_vector_get(sv, N - 1) / smax : 0.0;
        for (int i = 0; i < N; i++)
            if (gsl_vector_get(sv, i) < 1e-12 * smax)
                gsl_vector_set(sv, i, 0.0);
        if (gsl_linalg_SV_solve(G, V, sv, rhs, dz) != GSL_SUCCESS)
            break;
        double step = 0.0;
        for (int j = 0; j < M; j++) {
            const cplx d(gsl_vector_get(dz, j), gsl_vector_get(dz, j + M));
            z[j] += d;
            step = std::max(step, std::abs(d));
        }
        if (!(step > 1e-16))
            break;
    }
    for (int j = 0; j < M; j++)
        moved = std::max(moved, std::abs(z[j] - z0[j]));
    double zmax = 0.0;
    for (int j = 1; j < M; j++)
        zmax = std::max(zmax, std::abs(z[j]));
    gsl_matrix_free(G);
    gsl_matrix_free(V);
    gsl_vector_free(sv);
    gsl_vector_free(w);
    gsl_vector_free(rhs);
    gsl_vector_free(dz);
    // Where the Newton matrix is ill-conditioned (the singular points at
    // infinity where many paths end, which the end game reaches only to
    // some digits) z_0 is known only to the rounding over its condition.
    const double known = std::min(1e-2, std::max(1e-4, 3e-16 / std::max(rcond, 1e-300)));
    return resid <= 1e-12 && moved <= 0.6 && std::abs(z[0]) <= known * zmax;
}

// A root, and the most paths of one homotopy that ended at it (1 for a
// regular root: the others have jumped).
struct found_root {
    refined r;
    int paths = 0;
};

// Two refined points are one root when they agree within their errors.
bool same_root(const refined &x, const refined &y)
{
    double d = 0.0;
    for (std::size_t i = 0; i < x.x.size(); i++)
        d = std::max(d, std::abs(x.x[i] - y.x[i]));
    const double scale = 1.0 + std::max(norm_inf(x.x), norm_inf(y.x));
    return d <= 10.0 * (x.error + y.error) + 1e-12 * scale;
}

// The solver's arrays for the T paths of one system, kept between calls so
// that a call that tracks some paths again leaves the others as they were.
struct path_solver {
    int m = 0, max_terms = 1, T = 0, rl = 0, il = 0;
    std::vector<int> term_count, e, flag, eval_count, int_work;
    std::vector<double> coef, lambda, arc_length, roots, real_work;

    // False when the system is too large for the solver's int lengths.
    bool pack(const ladder_system &S)
    {
        m = S.m;
        long long paths = 1;
        for (int k = 0; k < m; k++) {
            max_terms = std::max(max_terms, static_cast<int>(S.eq[k].size()));
            paths *= std::max(S.degree[k], 1);
        }
        const long long rlen = hom_real_work_length(m, max_terms), ilen = hom_int_work_length(m, max_terms);
        if (paths > INT_MAX / (2 * (m + 1)) || rlen > INT_MAX || ilen > INT_MAX)
            return false;
        T = static_cast<int>(paths);
        rl = static_cast<int>(rlen);
        il = static_cast<int>(ilen);
        const int ld = m;
        term_count.assign(m, 0);
        coef.assign(static_cast<std::size_t>(m) * max_terms, 0.0);
        e.assign(static_cast<std::size_t>(m) * (m + 1) * max_terms, 0);
        for (int j = 0; j < m; j++) {
            // each equation scaled to its largest coefficient
            const std::vector<mterm> &E = S.eq[j];
            double big = 0.0;
            for (const mterm &t : E)
                big = std::max(big, std::fabs(t.c));
            const double f = 1.0 / (big > 0.0 ? big : 1.0);
            term_count[j] = static_cast<int>(E.size());
            for (int k = 0; k < term_count[j]; k++) {
                for (int i = 0; i < m; i++)
                    if (E[k].mask >> i & 1u)
                        e[j + static_cast<std::size_t>(i) * ld + static_cast<std::size_t>(k) * ld * (ld + 1)] = 1;
                coef[static_cast<std::size_t>(k) * m + j] = E[k].c * f;
            }
        }
        flag.assign(T, 0);
        eval_count.assign(T, 0);
        lambda.assign(T, 0.0);
        arc_length.assign(T, 0.0);
        roots.assign(2LL * (m + 1) * T, 0.0);
        return true;
    }

    // Tracks the paths marked in `which` under the g-th homotopy (g = 0
    // the first; the others other random constants of the start system and
    // the projective chart) with the tracking tolerance tol; false when the
    // solver refused the system.
    bool track(int g, const std::vector<char> &which, double tol)
    {
        // projective: paths to solutions at infinity end as well
        const int want = 10 + 100 * g;
        int mode = want;
        const double end_tol = 1e-10;
        const double step_param[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        // 1000 steps at most (the paths to roots take some 100): a path
        // that takes more wanders near a curve of solutions or infinity, at
        // the cost of all the others together
        int max_restarts = 1;
        for (int k = 0; k < T; k++)
            flag[k] = which[k] ? -2 : 0;
        real_work.assign(rl, 0.0);
        int_work.assign(il, 0);
        hom_solve(m, term_count.data(), coef.data(), e.data(), mode, flag.data(), tol, end_tol, step_param,
                  max_restarts, m, max_terms, T, rl, il, lambda.data(), roots.data(), arc_length.data(),
                  eval_count.data(), real_work.data(), int_work.data());
        return mode == want;
    }

    // The end of path k in b.
    std::vector<cplx> end(int k) const
    {
        std::vector<cplx> x(m);
        const double *r = roots.data() + 2LL * (m + 1) * k;
        for (int i = 0; i < m; i++)
            x[i] = cplx(r[2 * i], r[2 * i + 1]);
        return x;
    }
};

// Where a path of one homotopy ended.
enum class end_kind { failed, root, infinity };

struct path_end {
    end_kind kind = end_kind::failed;
    bool step_limit = false;  // the tracker took its most steps (flag 3)
    refined r;  // the root, when it is one
};

path_end classify(const ladder_system &S, const path_solver &P, int k)
{
    path_end pe;
    pe.step_limit = P.flag[k] == 3;
    const std::vector<cplx> x = P.end(k);
    bool finite = true;
    for (const cplx &v : x)
        finite = finite && std::isfinite(v.real()) && std::isfinite(v.imag());
    if (finite) {
        refined r = refine(S, x);
        if (r.root) {
            pe.kind = end_kind::root;
            pe.r = std::move(r);
            return pe;
        }
    }
    if (P.lambda[k] > 0.999 && (!finite || at_infinity(S, x)))
        pe.kind = end_kind::infinity;
    return pe;
}

// Which paths to track again: those with no usable end (but not one that
// took the tracker's most steps: with a tighter tolerance it takes as many,
// the cost of all other paths together), and those that reached a regular
// root another path of the homotopy reached too (one of them has jumped to
// the other's path). False when there is none.
bool mark_again(const std::vector<path_end> &ends, std::vector<char> &which)
{
    const std::size_t T = ends.size();
    std::fill(which.begin(), which.end(), 0);
    bool again = false;
    for (std::size_t k = 0; k < T; k++) {
        if (ends[k].kind == end_kind::failed) {
            which[k] = !ends[k].step_limit;
            again = again || which[k];
            continue;
        }
        if (ends[k].kind != end_kind::root || !ends[k].r.regular)
            continue;
        for (std::size_t j = k + 1; j < T; j++)
            if (ends[j].kind == end_kind::root && ends[j].r.regular && same_root(ends[k].r, ends[j].r))
                which[k] = which[j] = again = true;
    }
    return again;
}

}  // namespace

int every_ladder_max_order() { return 8; }

double ladder_residual(const double *a, const double *p, int n, const double *b)
{
    const ladder_system S = build_system(a, p, n);
    std::vector<cplx> x(b, b + n - 1), F;
    std::vector<double> size;
    evaluate(S, x, F, size, nullptr);
    return relative_residual(F, size);
}

bool ladder_regular(const double *a, const double *p, int n, const double *b)
{
    const ladder_system S = build_system(a, p, n);
    std::vector<cplx> x(b, b + n - 1);
    return n < 2 || scaled_condition(S, x) > 1e-9;
}

every_ladder_result every_real_ladder(const double *a, const double *p, int n)
{
    every_ladder_result res;
    if (n < 2 || n > every_ladder_max_order())
        return res;
    const ladder_system S = build_system(a, p, n);
    const int m = S.m;
    for (int k = 0; k < m; k++)
        if (S.degree[k] == 0) {
            // an equation without unknowns: none holds when its constant
            // is not 0, and otherwise the solutions are not isolated
            res.complete = S.eq[k].empty() || S.eq[k][0].c != 0.0;
            return res;
        }
    path_solver P;
    if (!P.pack(S))
        return res;
    const int T = P.T;
    res.paths = T;
    std::vector<found_root> roots;
    // Each homotopy tracks every path, then those that failed or met
    // another at a regular root again, with a tolerance a hundred times
    // tighter each time. The solve is complete when one homotopy's ends,
    // with the roots of all, accounted for every path and a later homotopy
    // found no root that those before it had not: a path that jumped to
    // one heading for infinity loses its root unseen, so one homotopy
    // proves nothing alone. At order 8 a homotopy costs some 0.3 s.
    const int max_homotopies = 4;
    int best_explained = -1;
    for (int g = 0; g < max_homotopies && !res.complete; g++) {
        std::vector<path_end> ends(T);
        std::vector<char> which(T, 1);
        double tol = 1e-5;
        bool refused = false;
        for (int round = 0; round < 3; round++) {
            if (!P.track(g, which, tol)) {
                refused = true;
                break;
            }
            for (int k = 0; k < T; k++)
                if (which[k]) {
                    path_end pe = classify(S, P, k);
                    // a path tracked again that fails keeps the end it had
                    if (pe.kind != end_kind::failed || ends[k].kind == end_kind::failed)
                        ends[k] = std::move(pe);
                }
            if (!mark_again(ends, which))
                break;
            tol *= 1e-2;
        }
        if (refused)
            break;
        res.runs++;
        const std::size_t known = roots.size();
        int infinite = 0;
        std::vector<int> reached(roots.size() + T, 0);
        // the sum of the ends of this homotopy at each root
        std::vector<std::vector<cplx>> sum(roots.size() + T, std::vector<cplx>(m, 0.0));
        for (int k = 0; k < T; k++) {
            if (ends[k].kind == end_kind::infinity) {
                infinite++;
                continue;
            }
            if (ends[k].kind != end_kind::root)
                continue;
            refined &r = ends[k].r;
            std::size_t id = 0;
            while (id < roots.size() && !same_root(roots[id].r, r))
                id++;
            if (id == roots.size()) {
                found_root f;
                f.r = r;
                roots.push_back(std::move(f));
            } else if (!roots[id].r.regular && r.regular) {
                roots[id].r = r;  // the better copy
            }
            reached[id]++;
            for (int i = 0; i < m; i++)
                sum[id][i] += r.x[i];
        }
        int explained = infinite, singular_paths = 0;
        for (std::size_t id = 0; id < roots.size(); id++) {
            found_root &f = roots[id];
            // The ends at a multiple root lie around it (at a real one in
            // conjugate pairs about the real axis): their mean is nearer
            // than any of them, and more so the more paths it has.
            if (!f.r.regular && reached[id] > 1 && reached[id] >= f.paths)
                for (int i = 0; i < m; i++)
                    f.r.x[i] = sum[id][i] / static_cast<double>(reached[id]);
            f.paths = std::max(f.paths, f.r.regular ? std::min(reached[id], 1) : reached[id]);
            explained += f.r.regular ? 1 : f.paths;
            singular_paths += f.r.regular ? 0 : reached[id];
        }
        if (explained > best_explained) {
            best_explained = explained;
            res.best_singular_paths = singular_paths;
            res.best_infinite = infinite;
            res.best_unexplained = std::max(T - explained, 0);
        }
        // (A path that jumped to a multiple root makes it seem of a higher
        // multiplicity, so the count may pass T.)
        res.complete = best_explained >= T && g > 0 && roots.size() == known;
        // A homotopy after the first that found no new root leaves the
        // paths it could not explain to a search that costs less; new
        // singular points from one are points of a curve of solutions
        // (an isolated singular root is met again), which no number of
        // homotopies exhausts.
        bool new_singular = false;
        for (std::size_t id = known; id < roots.size(); id++)
            new_singular = new_singular || !roots[id].r.regular;
        if (g > 0 && (roots.size() == known || new_singular))
            break;
    }
    for (const found_root &f : roots) {
        // A homotopy that ends on a curve of solutions (a diagonal with
        // equal entries often gives one, along which only some sums of the
        // products are fixed) ends at complex points of it, almost never
        // at real ones: the real singular roots are ladders.
        if (f.r.regular)
            res.regular++;
        else
            res.singular++;
        const double xs = 1.0 + norm_inf(f.r.x);
        double im = 0.0;
        for (const cplx &v : f.r.x)
            im = std::max(im, std::fabs(v.imag()));
        // A multiple root is known to some root of the rounding (a triple
        // one to about 1e-5): a singular root this near the real axis is
        // tried as a real one, which the polish and the check of every
        // ladder keep only when it is one.
        if (!(im <= 10.0 * f.r.error + (f.r.regular ? 1e-9 : 1e-4) * xs)) {
            res.complex_roots++;
            continue;
        }
        std::vector<double> b(m);
        for (int i = 0; i < m; i++)
            b[i] = f.r.x[i].real();
        ladder_polish(a, p, n, b.data());
        res.real.push_back(std::move(b));
    }
    return res;
}
