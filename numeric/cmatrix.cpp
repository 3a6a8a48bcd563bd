// Complex matrices.
#include "numeric/cmatrix.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/error.h"
#include "numeric/alloc.h"
#include "numeric/lapack.h"
#include "numeric/matrix.h"

namespace {

inline std::size_t count(const cmatrix &m)
{
    return static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols);
}

inline bool inside(const cmatrix &m, int i, int j)
{
    return i >= 0 && i < m.rows && j >= 0 && j < m.cols;
}

// The shape test of the real product.
void check_product(int arows, int acols, int brows)
{
    if (acols != brows || arows < 1 || acols < 1 || brows < 1)
        fatal("mmul: illegal matrix dimensions");
}

}  // namespace

cmatrix cnewm(int r, int c)
{
    if (r < 0 || c < 0) {
        fprintf(stderr, "cnewm: illegal matrix definition: %d %d.\n", r, c);
        exit(1);
    }
    cmatrix m;
    m.rows = r;
    m.cols = c;
    m.store = shared_array<complex>(static_cast<std::size_t>(r) * static_cast<std::size_t>(c),
                                    "new complex matrix");
    m.data = m.store.get();
    return m;
}

void cfreem(cmatrix *m)
{
    if (m)
        *m = cmatrix();
}

cmatrix null_cmatrix()
{
    return cmatrix();
}

int cmindex(const cmatrix &m, int i, int j)
{
    if (!inside(m, i, j))
        fatal("cmindex: illegal indices");
    return j * m.rows + i;
}

complex celem(const cmatrix &m, int i, int j)
{
    if (!inside(m, i, j))
        fatal("celem: illegal indices");
    return m.data[j * m.rows + i];
}

void cmatrix_set(cmatrix &m, int i, int j, double re, double im)
{
    if (!inside(m, i, j))
        fatal("cmatrix_set: illegal indices");
    m.data[j * m.rows + i] = complex{re, im};
}

void cmatrix_cset(cmatrix &m, int i, int j, complex z)
{
    if (!inside(m, i, j))
        fatal("cmatrix_cset: illegal indices");
    m.data[j * m.rows + i] = z;
}

cmatrix cm_compl(const matrix &re, const matrix &im)
{
    if (re.rows != im.rows || re.cols != im.cols) {
        fprintf(stderr, "compl: matrix dimensions do not agree.\n");
        exit(1);
    }
    cmatrix r = cnewm(re.rows, re.cols);
    std::size_t n = count(r);
    for (std::size_t k = 0; k < n; k++)
        r.data[k] = complex{re.data[k], im.data[k]};
    return r;
}

matrix cm_real(const cmatrix &c)
{
    matrix r = newm(c.rows, c.cols);
    std::size_t n = count(c);
    for (std::size_t k = 0; k < n; k++)
        r.data[k] = c.data[k].re;
    return r;
}

matrix cm_imag(const cmatrix &c)
{
    matrix r = newm(c.rows, c.cols);
    std::size_t n = count(c);
    for (std::size_t k = 0; k < n; k++)
        r.data[k] = c.data[k].im;
    return r;
}

cmatrix c_of_real(const matrix &m)
{
    cmatrix r = cnewm(m.rows, m.cols);
    std::size_t n = static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols);
    for (std::size_t k = 0; k < n; k++)
        r.data[k] = complex{m.data[k], 0.0};
    return r;
}

cmatrix ccopy(const cmatrix &c)
{
    cmatrix r = cnewm(c.rows, c.cols);
    std::size_t n = count(c);
    if (n > 0)
        std::memcpy(static_cast<void *>(r.data), c.data, sizeof(complex) * n);
    return r;
}

void ccopy_into(const cmatrix &a, cmatrix &b)
{
    int rows = a.rows < b.rows ? a.rows : b.rows;
    int cols = a.cols < b.cols ? a.cols : b.cols;
    for (int j = 0; j < cols; j++)
        for (int i = 0; i < rows; i++)
            cmatrix_cset(b, i, j, a.data[j * a.rows + i]);
}

cmatrix cmmul_cr(const cmatrix &c, const matrix &r)
{
    check_product(c.rows, c.cols, r.rows);
    cmatrix p = cnewm(c.rows, r.cols);
    const int m = c.rows, n = c.cols;
    for (int j = 0; j < r.cols; j++)
        for (int i = 0; i < m; i++) {
            double sr = 0.0, si = 0.0;
            for (int k = 0; k < n; k++) {
                double b = r.data[j * n + k];
                sr += c.data[k * m + i].re * b;
                si += c.data[k * m + i].im * b;
            }
            p.data[j * m + i] = complex{sr, si};
        }
    return p;
}

cmatrix cmmul_rc(const matrix &r, const cmatrix &c)
{
    check_product(r.rows, r.cols, c.rows);
    cmatrix p = cnewm(r.rows, c.cols);
    const int m = r.rows, n = r.cols;
    for (int j = 0; j < c.cols; j++)
        for (int i = 0; i < m; i++) {
            double sr = 0.0, si = 0.0;
            for (int k = 0; k < n; k++) {
                double a = r.data[k * m + i];
                sr += a * c.data[j * n + k].re;
                si += a * c.data[j * n + k].im;
            }
            p.data[j * m + i] = complex{sr, si};
        }
    return p;
}

cmatrix cmmul(const cmatrix &a, const cmatrix &b)
{
    check_product(a.rows, a.cols, b.rows);
    cmatrix p = cnewm(a.rows, b.cols);
    const int m = a.rows, n = a.cols;
    for (int j = 0; j < b.cols; j++)
        for (int i = 0; i < m; i++) {
            // The four real products, each summed on its own.
            double rr = 0.0, ii = 0.0, ri = 0.0, ir = 0.0;
            for (int k = 0; k < n; k++) {
                complex x = a.data[k * m + i], y = b.data[j * n + k];
                rr += x.re * y.re;
                ii += x.im * y.im;
                ri += x.re * y.im;
                ir += x.im * y.re;
            }
            p.data[j * m + i] = complex{rr - ii, ri + ir};
        }
    return p;
}

cmatrix cscalem(complex z, const cmatrix &c)
{
    cmatrix r = cnewm(c.rows, c.cols);
    std::size_t n = count(c);
    for (std::size_t k = 0; k < n; k++)
        r.data[k] = complex{z.re * c.data[k].re - z.im * c.data[k].im,
                            z.re * c.data[k].im + z.im * c.data[k].re};
    return r;
}

cmatrix cadjoint(const cmatrix &c)
{
    cmatrix r = cnewm(c.cols, c.rows);
    for (int j = 0; j < c.cols; j++)
        for (int i = 0; i < c.rows; i++) {
            complex z = c.data[j * c.rows + i];
            r.data[i * r.rows + j] = complex{z.re, -z.im};
        }
    return r;
}

cmatrix ctranspose(const cmatrix &c)
{
    cmatrix r = cnewm(c.cols, c.rows);
    for (int j = 0; j < c.cols; j++)
        for (int i = 0; i < c.rows; i++)
            r.data[i * r.rows + j] = c.data[j * c.rows + i];
    return r;
}

double cnorm(const cmatrix &c)
{
    double s = 0.0;
    std::size_t n = count(c);
    for (std::size_t k = 0; k < n; k++)
        s += c.data[k].re * c.data[k].re + c.data[k].im * c.data[k].im;
    return std::sqrt(s);
}

complex ctr(const cmatrix &c)
{
    if (c.rows != c.cols || c.rows < 0) {
        fprintf(stderr, "ctr error: matrix dimensions not appropriate\n");
        exit(1);
    }
    complex s{0.0, 0.0};
    for (int i = 0; i < c.rows; i++) {
        s.re += c.data[i * c.rows + i].re;
        s.im += c.data[i * c.rows + i].im;
    }
    return s;
}

cmatrix cmadd(double a, const cmatrix &x, double b, const cmatrix &y)
{
    if (x.rows != y.rows || x.cols != y.cols || x.rows < 1 || x.cols < 1)
        fatal("cmadd: matrix dimensions not appropriate");
    cmatrix r = cnewm(x.rows, x.cols);
    std::size_t n = count(x);
    for (std::size_t k = 0; k < n; k++)
        r.data[k] = complex{a * x.data[k].re + b * y.data[k].re, a * x.data[k].im + b * y.data[k].im};
    return r;
}

int cinvc(int rows, int cols, complex *data)
{
    if (rows != cols || rows <= 0)
        fatal("cinvc, matrix dimensions improper");
    const int n = rows;
    int info = 0;
    work_array<int> ipiv(n, "pivots");
    zgetrf_(&n, &n, data, &n, ipiv.p, &info);
    if (info != 0) {
        error_text("cinvc: error\n");
        return 1;
    }
    work_array<complex> work(n);
    zgetri_(&n, data, &n, ipiv.p, work.p, &n, &info);
    if (info != 0) {
        error_text("cinvc: error\n");
        return 1;
    }
    return 0;
}

cmatrix cinv(const cmatrix &a)
{
    cmatrix r = ccopy(a);
    if (cinvc(r.rows, r.cols, r.data) != 0) {
        cfreem(&r);
        fatal("cinv: error");
    }
    return r;
}

cmatrix evcm(const cmatrix &c)
{
    if (c.rows != c.cols || c.rows <= 0)
        fatal("evcm, matrix dimensions improper");
    // Infinite or undefined entries have no eigenvalues to determine (and
    // would make LAPACK stop the process as if it had succeeded).
    for (std::size_t k = 0; k < count(c); k++)
        if (!std::isfinite(c.data[k].re) || !std::isfinite(c.data[k].im))
            fatal("evcm: could not determine eigenvalues");
    const int n = c.rows;
    cmatrix a = ccopy(c);
    cmatrix w = cnewm(n, 1);
    const int one = 1, lwork = 2 * n;
    int info = 0;
    work_array<complex> work(lwork);
    work_array<double> rwork(2 * static_cast<std::size_t>(n));
    zgeev_("N", "N", &n, a.data, &n, w.data, nullptr, &one, nullptr, &one, work.p, &lwork, rwork.p, &info,
           1, 1);
    cfreem(&a);
    if (info != 0)
        fatal("evcm: could not determine eigenvalues");
    return w;
}

void print_cmatrix(FILE *fp, const cmatrix &c)
{
    fprintf(fp, "(%d, %d)\n", c.rows, c.cols);
    for (int i = 0; i < c.rows; i++) {
        for (int j = 0; j < c.cols; j++)
            fprintf(fp, "(%15.6e,%15.6e )\n", c.data[j * c.rows + i].re, c.data[j * c.rows + i].im);
        fprintf(fp, "\n");
    }
    fprintf(fp, "\n");
}
