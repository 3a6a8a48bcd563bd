// Real matrices.
#include "numeric/matrix.h"

#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/error.h"
#include "numeric/alloc.h"

namespace {

// The common body of newm: a zeroed rows x cols array, null when empty.
matrix make_matrix(int rows, int cols, const char *label)
{
    matrix m;
    m.rows = rows;
    m.cols = cols;
    std::size_t n = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
    if (n > 0) {
        m.store = shared_array<double>(n, label);
        m.data = m.store.get();
    }
    return m;
}

inline bool inside(const matrix &m, int i, int j)
{
    return i >= 0 && i < m.rows && j >= 0 && j < m.cols;
}

inline std::size_t count(const matrix &m)
{
    return static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols);
}

}  // namespace

matrix newm(int rows, int cols)
{
    if (rows < 0 || cols < 0) {
        fprintf(stderr, "newm: illegal matrix dimension: %d %d\n", rows, cols);
        exit(1);
    }
    return make_matrix(rows, cols, "new matrix");
}

void freem(matrix *m)
{
    if (m)
        *m = matrix();
}

matrix null_matrix()
{
    return matrix();
}

void mresize(matrix *m, int n)
{
    if (n < 1) {
        m->store.reset();
        m->data = nullptr;
        m->cols = 0;
        return;
    }
    if (n == m->cols)
        return;
    matrix r = make_matrix(m->rows, n, "matrix resize");
    int keep = n < m->cols ? n : m->cols;
    if (m->data && r.data && keep > 0)
        std::memcpy(r.data, m->data, sizeof(double) * static_cast<std::size_t>(m->rows) * keep);
    m->cols = n;
    m->data = r.data;
    m->store = std::move(r.store);
}

int mindex(const matrix &m, int i, int j)
{
    if (!inside(m, i, j))
        fatal("mindex: illegal indices");
    return j * m.rows + i;
}

double elem(const matrix &m, int i, int j)
{
    if (!inside(m, i, j))
        fatal("elem: illegal indices");
    return m.data[j * m.rows + i];
}

void matrix_set(matrix &m, int i, int j, double x)
{
    if (!inside(m, i, j))
        fatal("matrix_set: illegal indices");
    m.data[j * m.rows + i] = x;
}

matrix mcopy(const matrix &m)
{
    matrix r = newm(m.rows, m.cols);
    if (r.data)
        std::memcpy(r.data, m.data, sizeof(double) * count(m));
    return r;
}

void mcopy_into(const matrix &a, matrix &b)
{
    int rows = a.rows < b.rows ? a.rows : b.rows;
    int cols = a.cols < b.cols ? a.cols : b.cols;
    for (int j = 0; j < cols; j++)
        for (int i = 0; i < rows; i++)
            b.data[j * b.rows + i] = a.data[j * a.rows + i];
}

matrix transpose(const matrix &m)
{
    matrix r = newm(m.cols, m.rows);
    for (int j = 0; j < m.cols; j++)
        for (int i = 0; i < m.rows; i++)
            r.data[i * r.rows + j] = m.data[j * m.rows + i];
    return r;
}

matrix mdiag(const matrix &v)
{
    int n = v.rows > v.cols ? v.rows : v.cols;
    matrix r = newm(n, n);
    // A vector holds n elements; anything else gives what it holds.
    std::size_t have = count(v);
    for (int i = 0; i < n && static_cast<std::size_t>(i) < have; i++)
        r.data[i * n + i] = v.data[i];
    return r;
}

matrix mid(int r, int c)
{
    if (r < 0 || c < 0 || r != c) {
        fprintf(stderr, "mid: illegal dimension: %d %d\n", r, c);
        exit(1);
    }
    matrix m = newm(r, r);
    for (int i = 0; i < r; i++)
        m.data[i * r + i] = 1.0;
    return m;
}

matrix nil(int r, int c)
{
    if (r < 0 || c < 0) {
        fprintf(stderr, "nil: illegal dimension: %d %d\n", r, c);
        exit(1);
    }
    return newm(r, c);
}

matrix mscale(double s, const matrix &m)
{
    matrix r = newm(m.rows, m.cols);
    std::size_t n = count(m);
    for (std::size_t k = 0; k < n; k++)
        r.data[k] = s * m.data[k];
    return r;
}

matrix madd(const matrix &a, const matrix &b)
{
    if (a.rows != b.rows || a.cols != b.cols) {
        fprintf(stderr, "madd: matrix dimensions do not match.\n");
        exit(1);
    }
    matrix r = newm(a.rows, a.cols);
    std::size_t n = count(a);
    for (std::size_t k = 0; k < n; k++)
        r.data[k] = a.data[k] + b.data[k];
    return r;
}

matrix mdiff(const matrix &a, const matrix &b)
{
    if (a.rows != b.rows || a.cols != b.cols) {
        fprintf(stderr, "mdiff: matrix dimensions do not match.\n");
        exit(1);
    }
    matrix r = newm(a.rows, a.cols);
    std::size_t n = count(a);
    for (std::size_t k = 0; k < n; k++)
        r.data[k] = a.data[k] - b.data[k];
    return r;
}

matrix mmul(const matrix &a, const matrix &b)
{
    if (a.cols != b.rows || a.rows < 1 || a.cols < 1 || b.rows < 1)
        fatal("mmul: illegal matrix dimensions");
    matrix r = newm(a.rows, b.cols);
    const int m = a.rows, n = a.cols;
    for (int j = 0; j < b.cols; j++) {
        const double *bj = b.data + static_cast<std::size_t>(j) * n;
        double *rj = r.data + static_cast<std::size_t>(j) * m;
        for (int i = 0; i < m; i++) {
            double s = 0.0;
            for (int k = 0; k < n; k++)
                s += a.data[static_cast<std::size_t>(k) * m + i] * bj[k];
            rj[i] = s;
        }
    }
    return r;
}

matrix mmul3(const matrix &a, const matrix &b, const matrix &c)
{
    matrix bc = mmul(b, c);
    matrix r = mmul(a, bc);
    freem(&bc);
    return r;
}

double tr(const matrix &m)
{
    if (m.rows != m.cols || m.rows < 1) {
        fprintf(stderr, "tr: illegal dimensions: %d %d.\n", m.rows, m.cols);
        exit(1);
    }
    double s = 0.0;
    for (int i = 0; i < m.rows; i++)
        s += m.data[i * m.rows + i];
    return s;
}

matrix mvec(const matrix &m)
{
    matrix r = newm(m.rows * m.cols, 1);
    if (r.data)
        std::memcpy(r.data, m.data, sizeof(double) * count(m));
    return r;
}

matrix munvec(const matrix &v)
{
    int k = 0;
    while (k * k < v.rows)
        k++;
    matrix r = mcopy(v);
    if (k * k == v.rows && v.cols == 1) {
        r.rows = k;
        r.cols = k;
    }
    return r;
}

matrix kron(const matrix &a, const matrix &b)
{
    const int m = a.rows, n = a.cols, p = b.rows, q = b.cols;
    matrix r = newm(m * p, n * q);
    const int rr = m * p;
    for (int jb = 0; jb < q; jb++)
        for (int ja = 0; ja < n; ja++) {
            double *col = r.data + static_cast<std::size_t>(jb * n + ja) * rr;
            for (int ib = 0; ib < p; ib++) {
                double bv = b.data[jb * p + ib];
                for (int ia = 0; ia < m; ia++)
                    col[ib * m + ia] = a.data[ja * m + ia] * bv;
            }
        }
    return r;
}

matrix kronsum(const matrix &a, const matrix &b)
{
    matrix ib = mid(b.rows, b.cols);
    matrix ia = mid(a.rows, a.cols);
    matrix k1 = kron(a, ib);
    matrix k2 = kron(ia, b);
    matrix r = madd(k1, k2);
    freem(&k1);
    freem(&k2);
    freem(&ia);
    freem(&ib);
    return r;
}

void print_matrix(FILE *fp, const matrix &m, int per_line)
{
    if (per_line < 1)
        per_line = 8;
    fprintf(fp, "(%d, %d)\n", m.rows, m.cols);
    for (int i = 0; i < m.rows; i++) {
        for (int j = 0; j < m.cols; j++) {
            fprintf(fp, "%15.6e", m.data[j * m.rows + i]);
            if ((j + 1) % per_line == 0 && j != m.cols - 1)
                fprintf(fp, "\n\t");
        }
        fprintf(fp, "\n");
    }
    fprintf(fp, "\n");
}

void print_matrix_e(FILE *fp, int rows, int cols, const double *data, int per_line)
{
    if (per_line < 1)
        per_line = 8;
    for (int i = 0; i < rows; i++) {
        int on_line = 0;
        for (int j = 0; j < cols; j++) {
            double x = data[j * rows + i];
            if (x >= 0)
                fputc(' ', fp);
            fprintf(fp, "%e", x);
            if (on_line < per_line) {
                fputc('\t', fp);
                on_line++;
            } else {
                fputc('\n', fp);
                on_line = 0;
            }
        }
        if (i == rows - 1)
            fputc(';', fp);
        fputc('\n', fp);
    }
    fputc('\n', fp);
}

void print_matrix_e(FILE *fp, const matrix &m, int per_line)
{
    print_matrix_e(fp, m.rows, m.cols, m.data, per_line);
}

int per_line_count(const double *value)
{
    if (!value || std::isnan(*value) || *value < 1.0 || *value >= static_cast<double>(INT_MAX) + 1.0)
        return 8;
    return static_cast<int>(*value);
}
