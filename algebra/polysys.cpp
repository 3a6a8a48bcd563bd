#include "algebra/polysys.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdio>
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

// The packed system as the driver hands it to the solver, read back for the
// refinement of the end points: coef n x maxT, exponents n x (n+1) x maxT.
struct packed_system {
    int n = 0, max_terms = 0;
    const int *term_count = nullptr;
    const double *coef = nullptr;
    const int *e = nullptr;
    int exponent(int j, int v, int k) const { return e[j + v * n + k * n * (n + 1)]; }
    double coefficient(int j, int k) const { return coef[k * n + j]; }
};

// F(x) and its Jacobian J (n x n, column-major) of the given system at the
// affine point x, and for each equation the size of its terms, the sum of
// |coef| r^deg with r = max(1, |x|), against which a residual counts as
// small: at a root where every term vanishes, such as 0, the terms
// themselves are no measure.
void eval_system(const packed_system &S, const cplx *x, cplx *F, cplx *J, double *size)
{
    const int n = S.n;
    double r = 1.0;
    for (int v = 0; v < n; v++)
        r = std::max(r, std::abs(x[v]));
    for (int j = 0; j < n; j++) {
        F[j] = 0.0;
        size[j] = 0.0;
        for (int i = 0; i < n; i++)
            J[j + i * n] = 0.0;
        for (int k = 0; k < S.term_count[j]; k++) {
            cplx t = S.coefficient(j, k);
            for (int v = 0; v < n; v++)
                t *= ipow(x[v], S.exponent(j, v, k));
            F[j] += t;
            int deg = 0;
            for (int v = 0; v < n; v++)
                deg += S.exponent(j, v, k);
            size[j] += std::fabs(S.coefficient(j, k)) * std::pow(r, deg);
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

// Solves J dx = b (n x n, destroyed) by Gaussian elimination with partial
// pivoting; gives the ratio of the smallest to the largest pivot, 0 when a
// pivot is 0 (then dx is not set).
double lu_solve(int n, cplx *J, cplx *b)
{
    double pmin = HUGE_VAL, pmax = 0.0;
    for (int c = 0; c < n; c++) {
        int piv = c;
        for (int r = c + 1; r < n; r++)
            if (std::abs(J[r + c * n]) > std::abs(J[piv + c * n]))
                piv = r;
        const double a = std::abs(J[piv + c * n]);
        pmin = std::min(pmin, a);
        pmax = std::max(pmax, a);
        if (!(a > 0.0))
            return 0.0;
        if (piv != c) {
            for (int k = c; k < n; k++)
                std::swap(J[c + k * n], J[piv + k * n]);
            std::swap(b[c], b[piv]);
        }
        for (int r = c + 1; r < n; r++) {
            const cplx l = J[r + c * n] / J[c + c * n];
            if (l == 0.0)
                continue;
            for (int k = c + 1; k < n; k++)
                J[r + k * n] -= l * J[c + k * n];
            b[r] -= l * b[c];
        }
    }
    for (int c = n - 1; c >= 0; c--) {
        for (int k = c + 1; k < n; k++)
            b[c] -= J[c + k * n] * b[k];
        b[c] /= J[c + c * n];
    }
    return pmax > 0.0 ? pmin / pmax : 0.0;
}

double inf_norm(const std::vector<cplx> &x)
{
    double m = 0.0;
    for (const cplx &z : x)
        m = std::max(m, std::abs(z));
    return m;
}

// What Newton's method on the given system makes of an end point.
enum class endpoint { regular, singular, none };

// Two refined end points are one root when they agree to 1e-6 relative.
bool same_root(const std::vector<cplx> &x, const std::vector<cplx> &y)
{
    const double scale = 1.0 + std::max(inf_norm(x), inf_norm(y));
    for (std::size_t v = 0; v < x.size(); v++)
        if (!(std::abs(x[v] - y[v]) <= 1e-6 * scale))
            return false;
    return true;
}

// Newton's method from x, in place. A root whose Jacobian keeps its rank
// converges quadratically; at a singular root (a double root of the ladder
// equations, where two paths meet) the steps shrink only linearly and the
// pivots of the Jacobian lose their ratio, so that it counts as singular
// once its residual is at the rounding level of its terms. A point that
// moves away by more than a tenth of its size is no root near the path's
// end.
endpoint refine_root(const packed_system &S, std::vector<cplx> &x)
{
    const int n = S.n;
    const std::vector<cplx> x0 = x;
    const double size0 = 1.0 + inf_norm(x0);
    std::vector<cplx> F(n), J(static_cast<std::size_t>(n) * n), dx(n);
    std::vector<double> size(n);
    double last_step = HUGE_VAL, ratio = 1.0, resid = HUGE_VAL;
    for (int it = 0; it < 100; it++) {
        eval_system(S, x.data(), F.data(), J.data(), size.data());
        resid = 0.0;
        for (int j = 0; j < n; j++) {
            if (!std::isfinite(size[j]))
                return endpoint::none;  // the terms overflow: no measure
            resid = std::max(resid, std::abs(F[j]) / std::max(size[j], DBL_MIN));
        }
        if (!std::isfinite(resid))
            return endpoint::none;
        if (resid == 0.0)
            break;
        for (int j = 0; j < n; j++)
            dx[j] = -F[j];
        ratio = lu_solve(n, J.data(), dx.data());
        if (ratio == 0.0)
            break;  // an exactly singular Jacobian: the residual decides
        const double step = inf_norm(dx);
        if (!std::isfinite(step) || step > 0.1 * size0)
            return endpoint::none;
        for (int j = 0; j < n; j++)
            x[j] += dx[j];
        double moved = 0.0;
        for (int j = 0; j < n; j++)
            moved = std::max(moved, std::abs(x[j] - x0[j]));
        if (moved > 0.1 * size0)
            return endpoint::none;
        const double xs = 1.0 + inf_norm(x);
        // Converged: the step is at the rounding level of x, or it no
        // longer shrinks while the residual is at the rounding level.
        if (step <= 1e-14 * xs)
            break;
        if (step >= last_step && resid < 1e-12)
            break;
        last_step = step;
    }
    eval_system(S, x.data(), F.data(), J.data(), size.data());
    resid = 0.0;
    for (int j = 0; j < n; j++)
        resid = std::max(resid, std::isfinite(size[j]) ? std::abs(F[j]) / std::max(size[j], DBL_MIN) : HUGE_VAL);
    if (!(resid < 1e-9))
        return endpoint::none;
    for (int j = 0; j < n; j++)
        dx[j] = -F[j];
    ratio = lu_solve(n, J.data(), dx.data());
    return ratio < 1e-6 ? endpoint::singular : endpoint::regular;
}

// Where one path ended: a root (regular or singular) of the given system,
// a point at infinity, or nothing usable.
struct path_end {
    endpoint kind = endpoint::none;
    bool at_infinity = false;
    std::vector<cplx> x;
};

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

// Tracks the paths marked in track, with path_flag, lambda and roots of
// each as the solver leaves them; returns the solver's mode (10 unless it
// refused the system). The paths go to the solver a block at a time, so
// that a bound on the work (the caller's algst.work_limit) stops a system
// whose paths take minutes after the block that passes it. Every call
// builds the same start system and chart, so the blocks track exactly the
// paths one call would.
int track_round(path_arrays &A, const std::vector<char> &track, double track_tol, double end_tol,
                double *step_param)
{
    const int n = A.n, T = A.T, ld = n;
    // The work of one evaluation of the system and its Jacobian: the powers
    // of every term, and the linear algebra of a step.
    long terms = 0;
    for (int j = 0; j < n; j++)
        terms += A.term_count[j];
    const long eval_work = (terms + static_cast<long>(n) * n) * n;
    const int paths_per_block = 16;
    int mode = 10, max_restarts = 10;
    for (int p = 0; p < T; p++)
        A.path_flag[p] = track[p] ? -2 : 0;
    // The flags of one call: those of its block, 0 (skip) elsewhere.
    std::vector<int> flag(T, 0);
    for (int first = 0; first < T && mode == 10 && !algst.work_exceeded; first += paths_per_block) {
        const int last = std::min(T, first + paths_per_block);
        for (int p = first; p < last; p++)
            flag[p] = A.path_flag[p];
        std::fill(A.real_work.begin(), A.real_work.end(), 0.0);
        std::fill(A.int_work.begin(), A.int_work.end(), 0);
        hom_solve(n, A.term_count.data(), A.coef.data, A.e.data.data(), mode, flag.data(), track_tol, end_tol,
                  step_param, max_restarts, ld, A.max_terms, T, A.rlen, A.ilen, A.lambda.data(),
                  A.roots.data.data(), A.arc_length.data(), A.eval_count.data(), A.real_work.data(),
                  A.int_work.data());
        long evaluations = 0;
        for (int p = first; p < last; p++) {
            A.path_flag[p] = flag[p];
            flag[p] = 0;
            if (track[p])
                evaluations += A.eval_count[p];
        }
        algebra_work(evaluations * eval_work);
    }
    return mode;
}

// The end of path p as the solver left it, refined by Newton's method.
void take_path_end(const packed_system &S, const path_arrays &A, int p, path_end &pe)
{
    const path_end before = pe;
    pe.kind = endpoint::none;
    pe.at_infinity = false;
    pe.x.assign(A.n, 0.0);
    for (int v = 0; v < A.n; v++)
        pe.x[v] = cplx(m3_element(A.roots, 0, v, p), m3_element(A.roots, 1, v, p));
    // The homogenising coordinate of a path to infinity goes to 0,
    // so that its affine point lies far out.
    const double big = inf_norm(pe.x);
    if (A.path_flag[p] == 1 && big > 1e8) {
        pe.at_infinity = true;
        return;
    }
    // A path that ended near lambda = 1 without converging (two
    // paths meeting at a double root) is refined all the same.
    if (A.path_flag[p] == 1 || A.lambda[p] > 0.9)
        pe.kind = refine_root(S, pe.x);
    // A path to a singular point at infinity gets its homogenising
    // coordinate down to some 1e-3 only, while the chart's
    // coefficients are of size 1: a point beyond 100 that Newton's
    // method does not make a root is taken to be at infinity and
    // not tracked again.
    pe.at_infinity = pe.kind == endpoint::none && A.lambda[p] > 0.99 && big > 100.0;
    // A path tracked again that now fails keeps the root it had.
    if (pe.kind == endpoint::none && before.kind != endpoint::none)
        pe = before;
}

// Which paths to track again: failures, and regular roots reached by more
// than one path. False when there is none.
bool mark_paths_again(const std::vector<path_end> &ends, std::vector<char> &track)
{
    const int T = static_cast<int>(ends.size());
    std::fill(track.begin(), track.end(), 0);
    bool again = false;
    for (int p = 0; p < T; p++) {
        if (ends[p].at_infinity)
            continue;
        if (ends[p].kind == endpoint::none) {
            track[p] = again = true;
            continue;
        }
        if (ends[p].kind != endpoint::regular)
            continue;
        for (int q = p + 1; q < T; q++)
            if (ends[q].kind == endpoint::regular && same_root(ends[p].x, ends[q].x))
                track[p] = track[q] = again = true;
    }
    return again;
}

// Every root once, under the first path that reached it; an imaginary
// part below end_tol is left out.
void print_roots(FILE *out, const std::vector<path_end> &ends, int n, double end_tol)
{
    std::vector<int> printed;
    for (int p = 0; p < static_cast<int>(ends.size()); p++) {
        if (ends[p].kind == endpoint::none)
            continue;
        bool seen = false;
        for (int q : printed)
            seen = seen || same_root(ends[p].x, ends[q].x);
        if (seen)
            continue;
        printed.push_back(p);
        fprintf(out, "solution %d: ", p);
        for (int v = 0; v < n; v++) {
            const double re = ends[p].x[v].real(), im = ends[p].x[v].imag();
            if (std::fabs(im) < end_tol)
                fprintf(out, "%g, ", re);
            else
                fprintf(out, "(%g,%g) ", re, im);
        }
        fputs("\n", out);
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
    for (int j = 0; j < n; j++) {
        const termlist &L = E.eq[j];
        A.term_count[j] = L.n;
        for (int k = 0; k < L.n; k++) {
            const poly_term &t = L.t[k];
            A.coef.data[k * n + j] = static_cast<double>(t.coef);
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
    const packed_system S{n, max_terms, A.term_count.data(), A.coef.data, A.e.data.data()};

    // The paths are tracked in a random affine chart of projective space
    // (mode 10), so that a path to infinity ends at a finite point of the
    // chart instead of running away. Each end point is refined by Newton's
    // method on the given system; paths that end at the same regular root
    // (one has jumped to the other's curve) and paths that failed are
    // tracked again, four times at most, each time with a tolerance a
    // hundred times tighter (down to 1e-10) and shorter steps. A root is
    // printed once, under the first path that reached it: a double root,
    // where two paths meet, is found once.
    const double end_tol = 1e-7;
    double step_param[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<path_end> ends(T);
    std::vector<char> track(T, 1);
    double track_tol = 1e-4;
    bool refused = false;
    for (int round = 0; round < 5; round++) {
        const int mode = track_round(A, track, track_tol, end_tol, step_param);
        if (mode != 10) {
            fputs("Error in polysys.\n", out);
            error("polysys: the homotopy solver refused the system (code %d)", mode);
            refused = true;
            break;
        }
        if (algst.work_exceeded) {
            error("polysys: tracking the %d paths needs more than %d steps of work; refused", T,
                  static_cast<int>(std::min<long>(algst.work_limit, INT_MAX)));
            refused = true;
            break;
        }
        for (int p = 0; p < T; p++)
            if (track[p])
                take_path_end(S, A, p, ends[p]);
        if (!mark_paths_again(ends, track))
            break;
        track_tol = std::max(track_tol * 0.01, 1e-10);
        // Shorter and more cautious steps: the largest step and the ideal
        // ratios of the corrector's contraction.
        step_param[0] = 0.25;
        step_param[2] = 0.25;
        step_param[4] = 0.1 * std::pow(0.3, round);
    }
    fputs("\n", out);
    if (!refused)
        print_roots(out, ends, n, end_tol);
}
