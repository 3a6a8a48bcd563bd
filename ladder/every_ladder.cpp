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
#include <cstdint>

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
    double resid = HUGE_VAL, moved = 0.0;
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
    return resid <= 1e-12 && moved <= 1e-1 && std::abs(z[0]) <= 1e-4 * zmax;
}

struct found_root {
    refined r;
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

// A small deterministic generator for the constants of the homotopies
// after the first (the same in every run, so that results repeat).
struct constants {
    std::uint64_t state;
    explicit constants(int run) : state(0x2545f4914f6cdd1dULL * static_cast<std::uint64_t>(run + 1)) {}
    double uniform()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    }
};

// One homotopy run: the system with its equations in the order `order`,
// equation k times escale[k] and b_i = vscale[i] y_i; the end points of the
// T paths in b, with lambda and the tracker's flag. False when the solver
// refused the system.
struct run_result {
    std::vector<std::vector<cplx>> end;
    std::vector<double> lambda;
    std::vector<int> flag;
};

bool track(const ladder_system &S, int run, run_result &out)
{
    const int m = S.m;
    std::vector<int> order(m);
    std::vector<double> escale(m, 1.0), vscale(m, 1.0);
    for (int k = 0; k < m; k++)
        order[k] = k;
    constants gen(run);
    if (run > 0) {
        // another order of the equations pairs them with other constants of
        // the start system; other scales give other paths
        for (int k = m - 1; k > 0; k--)
            std::swap(order[k], order[static_cast<int>(gen.uniform() * (k + 1)) % (k + 1)]);
        for (int k = 0; k < m; k++)
            escale[k] = std::pow(2.0, 2.0 * gen.uniform() - 1.0);
        for (int i = 0; i < m; i++)
            vscale[i] = std::pow(2.0, 2.0 * gen.uniform() - 1.0);
    }
    int max_terms = 1;
    long long T = 1;
    for (int k = 0; k < m; k++) {
        max_terms = std::max(max_terms, static_cast<int>(S.eq[k].size()));
        T *= std::max(S.degree[k], 1);
    }
    if (T > INT_MAX / (2 * (m + 1)))
        return false;
    const int ld = m, paths = static_cast<int>(T);
    std::vector<int> term_count(m);
    std::vector<double> coef(static_cast<std::size_t>(m) * max_terms, 0.0);
    std::vector<int> e(static_cast<std::size_t>(m) * (m + 1) * max_terms, 0);
    for (int j = 0; j < m; j++) {
        const std::vector<mterm> &E = S.eq[order[j]];
        double big = 0.0;
        for (const mterm &t : E) {
            double c = t.c;
            for (int i = 0; i < m; i++)
                if (t.mask >> i & 1u)
                    c *= vscale[i];
            big = std::max(big, std::fabs(c));
        }
        const double f = escale[j] / (big > 0.0 ? big : 1.0);
        term_count[j] = static_cast<int>(E.size());
        for (int k = 0; k < term_count[j]; k++) {
            double c = E[k].c;
            for (int i = 0; i < m; i++)
                if (E[k].mask >> i & 1u) {
                    c *= vscale[i];
                    e[j + static_cast<std::size_t>(i) * ld + static_cast<std::size_t>(k) * ld * (ld + 1)] = 1;
                }
            coef[static_cast<std::size_t>(k) * m + j] = c * f;
        }
    }
    const long long rlen = hom_real_work_length(m, max_terms), ilen = hom_int_work_length(m, max_terms);
    if (rlen > INT_MAX || ilen > INT_MAX)
        return false;
    int mode = 10;  // projective: paths to solutions at infinity end as well
    const double track_tol = 1e-3, end_tol = 1e-9;
    const double step_param[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int max_restarts = 10;
    const int rl = static_cast<int>(rlen), il = static_cast<int>(ilen);
    std::vector<int> eval_count(paths);
    std::vector<double> arc_length(paths), real_work(rl), roots(2LL * (m + 1) * paths);
    std::vector<int> int_work(il);
    out.flag.assign(paths, -2);
    out.lambda.assign(paths, 0.0);
    hom_solve(m, term_count.data(), coef.data(), e.data(), mode, out.flag.data(), track_tol, end_tol, step_param,
              max_restarts, ld, max_terms, paths, rl, il, out.lambda.data(), roots.data(), arc_length.data(),
              eval_count.data(), real_work.data(), int_work.data());
    if (mode != 10)
        return false;
    out.end.assign(paths, std::vector<cplx>(m));
    for (int k = 0; k < paths; k++) {
        const double *r = roots.data() + 2LL * (m + 1) * k;
        for (int i = 0; i < m; i++)
            out.end[k][i] = cplx(r[2 * i], r[2 * i + 1]) * vscale[i];
    }
    return true;
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
    std::vector<found_root> roots;
    // At order 8 a run of the 144 paths costs some 0.3 s; three runs
    // found every root of the targets tried, where a fourth added none.
    const int max_runs = n >= 8 ? 3 : 4;
    int best_explained = -1;
    for (int run = 0; run < max_runs && !res.complete; run++) {
        const std::size_t known = roots.size();
        run_result rr;
        if (!track(S, run, rr))
            break;
        res.runs++;
        const int T = static_cast<int>(rr.end.size());
        res.paths = T;
        int singular_paths = 0, infinite = 0;
        for (int k = 0; k < T; k++) {
            const std::vector<cplx> &x = rr.end[k];
            bool finite = true;
            for (const cplx &v : x)
                finite = finite && std::isfinite(v.real()) && std::isfinite(v.imag());
            const bool at_end = rr.lambda[k] > 0.999;
            if (finite) {
                refined r = refine(S, x);
                if (r.root) {
                    std::size_t id = 0;
                    while (id < roots.size() && !same_root(roots[id].r, r))
                        id++;
                    if (id == roots.size()) {
                        found_root f;
                        f.r = std::move(r);
                        roots.push_back(std::move(f));
                    } else if (!roots[id].r.regular && r.regular) {
                        roots[id].r = std::move(r);  // the better copy
                    }
                    if (!roots[id].r.regular)
                        singular_paths++;
                    continue;
                }
            }
            if (at_end && (!finite || at_infinity(S, x)))
                infinite++;
        }
        int regular = 0;
        for (const found_root &f : roots)
            regular += f.r.regular ? 1 : 0;
        const int explained = regular + singular_paths + infinite;
        if (explained > best_explained && explained <= T) {
            best_explained = explained;
            res.best_singular_paths = singular_paths;
            res.best_infinite = infinite;
            res.best_unexplained = T - explained;
        }
        // Every path of a run explained is proof once the run found no root
        // that the runs before it had not: a first run explaining all its
        // paths is confirmed by a second under another homotopy.
        res.complete = explained == T && run > 0 && roots.size() == known;
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
        if (!(im <= 10.0 * f.r.error + 1e-9 * xs)) {
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
