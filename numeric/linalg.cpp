// Inverse, solve, determinant and eigenproblems through LAPACK.
#include "numeric/linalg.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/error.h"
#include "numeric/alloc.h"
#include "numeric/cmatrix.h"
#include "numeric/lapack.h"
#include "numeric/matrix.h"

namespace {

// Optimal work-array sizes by matrix order, asked of LAPACK once per order
// and routine: the searches call these routines many times on matrices of a
// few sizes, so the size query is not repeated. `query` runs the routine with
// lwork = -1 and returns the size LAPACK proposes; it is never taken below
// `minimum`.
template <class Query>
int cached_lwork(std::vector<int> &cache, int n, int minimum, Query query)
{
    if (static_cast<std::size_t>(n) < cache.size() && cache[n] > 0)
        return cache[n];
    int best = query();
    if (best < minimum)
        best = minimum;
    if (static_cast<std::size_t>(n) >= cache.size())
        cache.resize(static_cast<std::size_t>(n) + 1, 0);
    cache[n] = best;
    return best;
}

// The work size LAPACK wrote into work[0] during a query (0 on failure).
inline int proposed(int info, double w0)
{
    return info == 0 && w0 > 0 && w0 < 2e9 ? static_cast<int>(w0) : 0;
}

// True when every one of the n elements is a finite number. LAPACK's
// eigensolvers are not given anything else: an infinite entry yields
// meaningless values and one that is not a number makes the balancing step
// stop the whole process as if it had succeeded.
bool all_finite(const double *x, std::size_t n)
{
    for (std::size_t k = 0; k < n; k++)
        if (!std::isfinite(x[k]))
            return false;
    return true;
}

std::size_t elements(const matrix &a)
{
    return static_cast<std::size_t>(a.rows) * static_cast<std::size_t>(a.cols);
}

std::vector<int> dgetri_sizes, dgeev_nn_sizes, dgeev_nv_sizes, dsyev_n_sizes, dsyev_v_sizes;

}  // namespace

// The in-place inverse; 1 without a message when the matrix is singular.
static int invert_in_place(int rows, int cols, double *data)
{
    if (rows != cols || rows <= 0)
        fatal("inv3c, matrix dimensions improper");
    const int n = rows;
    int info = 0;
    work_array<int> ipiv(n, "pivots");
    dgetrf_(&n, &n, data, &n, ipiv.p, &info);
    if (info != 0)
        return 1;
    int lwork = cached_lwork(dgetri_sizes, n, n, [&] {
        double w0 = 0;
        int q = -1, qinfo = 0;
        dgetri_(&n, data, &n, ipiv.p, &w0, &q, &qinfo);
        return proposed(qinfo, w0);
    });
    work_array<double> work(lwork);
    dgetri_(&n, data, &n, ipiv.p, work.p, &lwork, &info);
    return info != 0;
}

int inv3c(int rows, int cols, double *data)
{
    if (invert_in_place(rows, cols, data) != 0) {
        error_text("inv3c: error\n");
        return 1;
    }
    return 0;
}

matrix minv(const matrix &a)
{
    if (a.rows != a.cols || a.rows <= 0)
        fatal("inv3c, matrix dimensions improper");
    matrix r = mcopy(a);
    if (inv3c(r.rows, r.cols, r.data) != 0) {
        freem(&r);
        return null_matrix();
    }
    return r;
}

matrix try_minv(const matrix &a)
{
    if (a.rows != a.cols || a.rows <= 0)
        fatal("inv3c, matrix dimensions improper");
    matrix r = mcopy(a);
    if (invert_in_place(r.rows, r.cols, r.data) != 0) {
        freem(&r);
        return null_matrix();
    }
    return r;
}

matrix msolve(const matrix &a, const matrix &b)
{
    if (a.rows != a.cols || a.rows <= 0 || b.rows != a.rows || b.cols < 1)
        fatal("msolve, matrix dimensions improper");
    const int n = a.rows, nrhs = b.cols;
    int info = 0;
    matrix lu = mcopy(a);
    work_array<int> ipiv(n, "pivots");
    dgetrf_(&n, &n, lu.data, &n, ipiv.p, &info);
    if (info != 0) {
        error_text("msolve: error\n");
        freem(&lu);
        return null_matrix();
    }
    matrix x = mcopy(b);
    dgetrs_("N", &n, &nrhs, lu.data, &n, ipiv.p, x.data, &n, &info, 1);
    freem(&lu);
    if (info != 0) {
        error_text("msolve: error\n");
        freem(&x);
        return null_matrix();
    }
    return x;
}

double det(const matrix &a)
{
    if (a.rows != a.cols || a.rows <= 0)
        fatal("det: matrix dimensions improper");
    const int n = a.rows;
    int info = 0;
    matrix lu = mcopy(a);
    work_array<int> ipiv(n, "pivots");
    dgetrf_(&n, &n, lu.data, &n, ipiv.p, &info);
    if (info < 0) {
        freem(&lu);
        fatal("det: error");
    }
    double sign = 1.0, prod = 1.0;
    for (int i = 0; i < n; i++) {
        if (ipiv.p[i] != i + 1)
            sign = -sign;
        prod *= lu.data[i * n + i];
    }
    freem(&lu);
    if (info > 0)
        return 0.0;
    return sign * prod;
}

matrix evc(const matrix &a)
{
    if (a.rows != a.cols || a.rows <= 0)
        fatal("evc, matrix dimensions improper");
    if (!all_finite(a.data, elements(a)))
        fatal("evc: could not determine eigenvalues");
    const int n = a.rows, one = 1;
    int info = 0;
    matrix copy = mcopy(a);
    matrix w = newm(n, 2);
    double *wr = w.data, *wi = w.data + n;
    int lwork = cached_lwork(dgeev_nn_sizes, n, 3 * n, [&] {
        double w0 = 0, vdummy = 0;
        int q = -1, qinfo = 0;
        dgeev_("N", "N", &n, copy.data, &n, wr, wi, &vdummy, &one, &vdummy, &one, &w0, &q, &qinfo, 1, 1);
        return proposed(qinfo, w0);
    });
    work_array<double> work(lwork);
    double vdummy = 0;
    dgeev_("N", "N", &n, copy.data, &n, wr, wi, &vdummy, &one, &vdummy, &one, work.p, &lwork, &info, 1, 1);
    freem(&copy);
    if (info != 0)
        fatal("evc: could not determine eigenvalues");
    return w;
}

namespace {

// dsyev on the n x n array a (overwritten), eigenvalues into w.
int run_dsyev(const char *jobz, std::vector<int> &sizes, int n, double *a, double *w)
{
    int info = 0;
    int lwork = cached_lwork(sizes, n, 3 * n - 1 > 1 ? 3 * n - 1 : 1, [&] {
        double w0 = 0;
        int q = -1, qinfo = 0;
        dsyev_(jobz, "U", &n, a, &n, w, &w0, &q, &qinfo, 1, 1);
        return proposed(qinfo, w0);
    });
    work_array<double> work(lwork);
    dsyev_(jobz, "U", &n, a, &n, w, work.p, &lwork, &info, 1, 1);
    return info;
}

}  // namespace

matrix ev(const matrix &a)
{
    if (a.rows != a.cols || a.rows <= 0)
        fatal("ev, matrix dimensions improper");
    if (!all_finite(a.data, elements(a)))
        fatal("ev: could not determine eigenvalues");
    const int n = a.rows;
    matrix copy = mcopy(a);
    matrix w = newm(n, 1);
    int info = run_dsyev("N", dsyev_n_sizes, n, copy.data, w.data);
    freem(&copy);
    if (info != 0)
        fatal("ev: could not determine eigenvalues");
    return w;
}

void eigen(const matrix &a, matrix *v, matrix *d)
{
    if (a.rows != a.cols || a.rows <= 0)
        fatal("eigen, matrix dimensions improper");
    if (!all_finite(a.data, elements(a)))
        fatal("eigen: could not determine eigenvalues");
    const int n = a.rows;
    matrix vec = mcopy(a);
    matrix w = newm(1, n);
    int info = run_dsyev("V", dsyev_v_sizes, n, vec.data, w.data);
    if (info != 0)
        fatal("eigen: could not determine eigenvalues");
    *v = vec;
    *d = mdiag(w);
    freem(&w);
}

cmatrix c_diag(const matrix &a, cmatrix *v)
{
    if (a.rows != a.cols || a.rows <= 0)
        fatal("c_diag, matrix dimensions improper");
    if (!all_finite(a.data, elements(a)))
        fatal("c_diag: could not determine eigenvalues");
    const int n = a.rows, one = 1;
    int info = 0;
    matrix copy = mcopy(a);
    matrix w = newm(n, 2);
    matrix vr = newm(n, n);
    double *wr = w.data, *wi = w.data + n;
    double vldummy = 0;
    int lwork = cached_lwork(dgeev_nv_sizes, n, 4 * n, [&] {
        double w0 = 0;
        int q = -1, qinfo = 0;
        dgeev_("N", "V", &n, copy.data, &n, wr, wi, &vldummy, &one, vr.data, &n, &w0, &q, &qinfo, 1, 1);
        return proposed(qinfo, w0);
    });
    work_array<double> work(lwork);
    dgeev_("N", "V", &n, copy.data, &n, wr, wi, &vldummy, &one, vr.data, &n, work.p, &lwork, &info, 1, 1);
    freem(&copy);
    if (info != 0)
        fatal("c_diag: could not determine eigenvalues");

    cmatrix dm = cnewm(n, n);
    for (int i = 0; i < n; i++)
        dm.data[i * n + i] = complex{wr[i], wi[i]};
    cmatrix vm = cnewm(n, n);
    for (int i = 0; i < n;) {
        if (i < n - 1 && wi[i] != 0 && wi[i] == -wi[i + 1] && wr[i] == wr[i + 1]) {
            for (int k = 0; k < n; k++) {
                double re = vr.data[i * n + k], im = vr.data[(i + 1) * n + k];
                vm.data[i * n + k] = complex{re, im};
                vm.data[(i + 1) * n + k] = complex{re, -im};
            }
            i += 2;
        } else {
            for (int k = 0; k < n; k++)
                vm.data[i * n + k] = complex{vr.data[i * n + k], 0.0};
            i += 1;
        }
    }
    freem(&w);
    freem(&vr);
    *v = vm;
    return dm;
}

// LAPACK reports an illegal argument through this routine; the library's own
// version prints a line and stops the process with status 0, as if the run
// had succeeded. This one reports the failure and ends with status 1.
extern "C" void xerbla_(const char *srname, const int *info, std::size_t srname_len)
{
    char name[32];
    std::size_t len = srname_len < sizeof name - 1 ? srname_len : sizeof name - 1;
    std::memcpy(name, srname, len);
    while (len > 0 && name[len - 1] == ' ')
        len--;
    name[len] = '\0';
    fatal("%s: illegal value of argument %d in the linear algebra library", name, *info);
}
