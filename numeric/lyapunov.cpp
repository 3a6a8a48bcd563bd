// Schur-method solvers of the Lyapunov and Sylvester equations.
#include "numeric/lyapunov.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "numeric/alloc.h"
#include "numeric/lapack.h"
#include "numeric/matrix.h"

extern "C" {
// SLICOT
void sb03od_(const char *dico, const char *fact, const char *trans, const int *n, const int *m,
             double *a, const int *lda, double *q, const int *ldq, double *b, const int *ldb,
             double *scale, double *wr, double *wi, double *dwork, const int *ldwork, int *info,
             std::size_t, std::size_t, std::size_t);
// LAPACK
void dgesvd_(const char *jobu, const char *jobvt, const int *m, const int *n, double *a, const int *lda,
             double *s, double *u, const int *ldu, double *vt, const int *ldvt, double *work,
             const int *lwork, int *info, std::size_t, std::size_t);
void dtrmm_(const char *side, const char *uplo, const char *transa, const char *diag, const int *m,
            const int *n, const double *alpha, const double *a, const int *lda, double *b, const int *ldb,
            std::size_t, std::size_t, std::size_t, std::size_t);
}

namespace {

bool finite(const matrix &m)
{
    std::size_t n = static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols);
    for (std::size_t k = 0; k < n; k++)
        if (!std::isfinite(m.data[k]))
            return false;
    return true;
}

bool square(const matrix &a) { return a.rows >= 1 && a.rows == a.cols && a.data; }

// The solution divided by the scale factor the solver used to avoid
// overflow, in x's own elements; empty when that leaves an entry that is
// not finite. Takes x over.
matrix unscaled(matrix x, double scale)
{
    if (!(scale > 0.0)) {
        freem(&x);
        return null_matrix();
    }
    if (scale != 1.0) {
        std::size_t n = static_cast<std::size_t>(x.rows) * static_cast<std::size_t>(x.cols);
        for (std::size_t k = 0; k < n; k++)
            x.data[k] /= scale;
    }
    if (!finite(x)) {
        freem(&x);
        return null_matrix();
    }
    return x;
}

// c := op1(x) c op2(x) for n x n arrays, with w as workspace.
void congruence(int n, const char *t1, const double *x, double *c, const char *t2, double *w)
{
    const double one = 1.0, zero = 0.0;
    dgemm_(t1, "N", &n, &n, &n, &one, x, &n, c, &n, &zero, w, &n, 1, 1);
    dgemm_("N", t2, &n, &n, &n, &one, w, &n, x, &n, &zero, c, &n, 1, 1);
}

// A copy of a balanced by a diagonal similarity of powers of 2 (exact):
// a = D b D^-1 with b returned and d the diagonal of D. A filter whose
// coefficients span many decades (a companion form with poles at 1e3)
// loses digits in the Schur form otherwise.
matrix balanced(const matrix &a, std::vector<double> &d)
{
    const int n = a.rows;
    matrix b = mcopy(a);
    d.assign(static_cast<std::size_t>(n), 1.0);
    int ilo = 1, ihi = n, info = 0;
    dgebal_("S", &n, b.data, &n, &ilo, &ihi, d.data(), &info, 1);
    if (info != 0) {
        mcopy_into(a, b);
        d.assign(static_cast<std::size_t>(n), 1.0);
    }
    return b;
}

// m(i, j) *= f(i) g(j)
template <class F, class G>
void scale_entries(matrix &m, F f, G g)
{
    for (int j = 0; j < m.cols; j++)
        for (int i = 0; i < m.rows; i++)
            m.data[static_cast<std::size_t>(j) * m.rows + i] *= f(i) * g(j);
}

// True when two of the n eigenvalues (wr + j wi) of a sum to 0 within
// 1e-10 of the largest |eigenvalue|: the equation is singular or so nearly
// singular that its solution means nothing (a pole at the origin, an
// undamped pair). The tolerance is the one the Gramians' existence test
// takes for a pole on the imaginary axis.
bool nearly_singular(int n, const double *wr, const double *wi)
{
    double rho = 0.0;
    for (int k = 0; k < n; k++)
        rho = std::max(rho, std::hypot(wr[k], wi[k]));
    double tol = 1e-10 * rho;
    for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++)
            if (std::hypot(wr[i] + wr[j], wi[i] + wi[j]) <= tol)
                return true;
    return false;
}

// A square, finite A with a finite right-hand side of its size.
bool solvable(const matrix &a, const matrix &q)
{
    return square(a) && q.rows == a.rows && q.cols == a.rows && finite(a) && finite(q);
}

}  // namespace

matrix lyap_solve(const matrix &a, const matrix &q, bool trans_left)
{
    if (!solvable(a, q))
        return null_matrix();
    const int n = a.rows;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    std::vector<double> d;
    matrix t = balanced(a, d);
    matrix x = newm(n, n);
    for (std::size_t k = 0; k < nn; k++)
        x.data[k] = -q.data[k];
    // K = D Kb D with Qb = D^-1 Q D^-1; W = D^-1 Wb D^-1 with Qb = D Q D.
    auto dk = [&](int i) { return trans_left ? 1.0 / d[i] : d[i]; };
    scale_entries(x, dk, dk);
    work_array<double> u(nn, "Schur vectors"), wr(n), wi(n);
    work_array<int> iwork(nn > 0 ? nn : 1);
    const int ldwork = static_cast<int>(std::max<std::size_t>(2 * nn, 3 * static_cast<std::size_t>(n)) + 8);
    work_array<double> dwork(static_cast<std::size_t>(ldwork));
    double scale = 1.0, sep = 0.0, ferr = 0.0;
    int info = 0;
    // SB03MD solves op(A)^T X + X op(A) = scale C: op(A) = A^T gives the
    // equation of K, op(A) = A that of W.
    sb03md_("C", "X", "N", trans_left ? "T" : "N", &n, t.data, &n, u.p, &n, x.data, &n, &scale, &sep,
            &ferr, wr.p, wi.p, iwork.p, dwork.p, &ldwork, &info, 1, 1, 1, 1);
    freem(&t);
    if (info != 0 || nearly_singular(n, wr.p, wi.p)) {
        freem(&x);
        return null_matrix();
    }
    auto du = [&](int i) { return trans_left ? d[i] : 1.0 / d[i]; };
    scale_entries(x, du, du);
    return unscaled(x, scale);
}

matrix lyap_factor(const matrix &a, const matrix &b, bool trans_left)
{
    if (!square(a) || !finite(a) || !finite(b))
        return null_matrix();
    const int n = a.rows;
    const int m = trans_left ? b.cols : b.rows;
    if (m < 1 || (trans_left ? b.rows : b.cols) != n)
        return null_matrix();
    const int ldb = std::max(n, m);
    std::vector<double> d;
    matrix t = balanced(a, d);
    // B's array holds the right-hand side on entry and U on exit: ldb rows,
    // at least n columns.
    matrix f = newm(ldb, std::max(n, m));
    for (int j = 0; j < b.cols; j++)
        for (int i = 0; i < b.rows; i++)
            f.data[static_cast<std::size_t>(j) * ldb + i] =
                b.data[static_cast<std::size_t>(j) * b.rows + i] * (trans_left ? 1.0 / d[i] : d[j]);
    // Bb = D^-1 B gives K = (D Ub)(D Ub)^T; Cb = C D gives W = (Ub D^-1)^T (Ub D^-1).
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    work_array<double> qv(nn, "Schur vectors"), wr(n), wi(n);
    const int ldwork = 4 * n + std::min(n, m) + 8 + 2 * ldb;
    work_array<double> dwork(static_cast<std::size_t>(ldwork));
    double scale = 1.0;
    int info = 0;
    sb03od_("C", "N", trans_left ? "T" : "N", &n, &m, t.data, &n, qv.p, &n, f.data, &ldb, &scale, wr.p,
            wi.p, dwork.p, &ldwork, &info, 1, 1, 1);
    freem(&t);
    if (info != 0 || nearly_singular(n, wr.p, wi.p)) {
        freem(&f);
        return null_matrix();
    }
    matrix r = newm(n, n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i <= j; i++)
            r.data[static_cast<std::size_t>(j) * n + i] =
                f.data[static_cast<std::size_t>(j) * ldb + i] * (trans_left ? d[i] : 1.0 / d[j]);
    freem(&f);
    return unscaled(r, scale);
}

matrix sylv_same(const matrix &a, const matrix &q)
{
    if (!solvable(a, q))
        return null_matrix();
    const int n = a.rows;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    std::vector<double> d;
    matrix t = balanced(a, d);
    work_array<double> z(nn, "Schur vectors"), wr(n), wi(n), w(nn, "workspace");
    work_array<int> bwork(n);
    int sdim = 0, info = 0;
    int lwork = -1;
    double w0 = 0.0;
    dgees_("V", "N", nullptr, &n, t.data, &n, &sdim, wr.p, wi.p, z.p, &n, &w0, &lwork, bwork.p, &info, 1, 1);
    lwork = info == 0 && w0 >= 3 * n && w0 < 2e9 ? static_cast<int>(w0) : 3 * n + 8;
    work_array<double> work(static_cast<std::size_t>(lwork));
    dgees_("V", "N", nullptr, &n, t.data, &n, &sdim, wr.p, wi.p, z.p, &n, work.p, &lwork, bwork.p, &info, 1, 1);
    if (info != 0 || nearly_singular(n, wr.p, wi.p)) {
        freem(&t);
        return null_matrix();
    }
    // a = D Z T Z^T D^-1: T Y + Y T = -Z^T D^-1 q D Z with X = D Z Y Z^T D^-1.
    matrix x = newm(n, n);
    for (std::size_t k = 0; k < nn; k++)
        x.data[k] = -q.data[k];
    scale_entries(x, [&](int i) { return 1.0 / d[i]; }, [&](int j) { return d[j]; });
    congruence(n, "T", z.p, x.data, "N", w.p);
    const int isgn = 1;
    double scale = 1.0;
    dtrsyl_("N", "N", &isgn, &n, &n, t.data, &n, t.data, &n, x.data, &n, &scale, &info, 1, 1);
    freem(&t);
    if (info != 0) {
        freem(&x);
        return null_matrix();
    }
    congruence(n, "N", z.p, x.data, "T", w.p);
    scale_entries(x, [&](int i) { return d[i]; }, [&](int j) { return 1.0 / d[j]; });
    return unscaled(x, scale);
}

// True when f f^T (upper, when upper_left) or f^T f equals g to 1e-8 of g's
// largest entry.
static bool reproduces(const matrix &f, const matrix &g, bool left)
{
    const int n = f.rows;
    if (g.rows != n || g.cols != n)
        return false;
    double big = 0.0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(n) * n; k++)
        big = std::max(big, std::fabs(g.data[k]));
    auto F = [&](int i, int j) { return f.data[static_cast<std::size_t>(j) * n + i]; };
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            double x = 0.0;
            for (int m = 0; m < n; m++)
                x += left ? F(i, m) * F(j, m) : F(m, i) * F(m, j);
            if (!(std::fabs(x - g.data[static_cast<std::size_t>(j) * n + i]) <= 1e-8 * big))
                return false;
        }
    return true;
}

bool balancing_by_factors(const matrix &a, const matrix &b, const matrix &c, const matrix &K,
                          const matrix &W, matrix *T, matrix *Ti, matrix *sigma)
{
    matrix Lk = lyap_factor(a, b, true);
    if (Lk.cols == 0)
        return false;
    matrix Rw = lyap_factor(a, c, false);
    if (Rw.cols == 0 || !reproduces(Lk, K, true) || !reproduces(Rw, W, false)) {
        freem(&Lk);
        freem(&Rw);
        return false;
    }
    const int n = a.rows;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    // M = Rw Lk
    matrix M = mcopy(Lk);
    const double one = 1.0;
    dtrmm_("L", "U", "N", "N", &n, &n, &one, Rw.data, &n, M.data, &n, 1, 1, 1, 1);
    work_array<double> s(n), u(nn, "singular vectors"), vt(nn, "singular vectors");
    int lwork = -1, info = 0;
    double w0 = 0.0;
    dgesvd_("A", "A", &n, &n, M.data, &n, s.p, u.p, &n, vt.p, &n, &w0, &lwork, &info, 1, 1);
    lwork = info == 0 && w0 >= 5 * n && w0 < 2e9 ? static_cast<int>(w0) : 5 * n + 8;
    work_array<double> work(static_cast<std::size_t>(lwork));
    dgesvd_("A", "A", &n, &n, M.data, &n, s.p, u.p, &n, vt.p, &n, work.p, &lwork, &info, 1, 1);
    freem(&M);
    bool ok = info == 0;
    for (int k = 0; ok && k < n; k++)
        ok = s.p[k] > 0.0 && std::isfinite(s.p[k]);
    if (!ok) {
        freem(&Lk);
        freem(&Rw);
        return false;
    }
    // column k of T (ascending order) is column n-1-k of Lk V, over sqrt(s);
    // row k of Ti is row n-1-k of U^T Rw, over sqrt(s)
    matrix t = newm(n, n), ti = newm(n, n), sg = newm(n, 1);
    for (int k = 0; k < n; k++) {
        int r = n - 1 - k;
        double f = 1.0 / std::sqrt(s.p[r]);
        sg.data[k] = s.p[r];
        for (int i = 0; i < n; i++) {
            double x = 0.0, y = 0.0;
            for (int m = i; m < n; m++)  // Lk upper triangular: (Lk V)(i, r) = sum_m Lk(i, m) V(m, r)
                x += Lk.data[static_cast<std::size_t>(m) * n + i] * vt.p[static_cast<std::size_t>(m) * n + r];
            for (int m = 0; m <= i; m++)  // (U^T Rw)(r, i) = sum_m U(m, r) Rw(m, i)
                y += u.p[static_cast<std::size_t>(r) * n + m] * Rw.data[static_cast<std::size_t>(i) * n + m];
            t.data[static_cast<std::size_t>(k) * n + i] = x * f;
            ti.data[static_cast<std::size_t>(i) * n + k] = y * f;
        }
    }
    freem(&Lk);
    freem(&Rw);
    if (!finite(t) || !finite(ti)) {
        freem(&t);
        freem(&ti);
        freem(&sg);
        return false;
    }
    *T = t;
    *Ti = ti;
    *sigma = sg;
    return true;
}
