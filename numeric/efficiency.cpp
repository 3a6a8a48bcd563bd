// Efficiency measures and diagonal equalisation.
#include "numeric/efficiency.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/error.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"

namespace {

inline double &at(matrix &m, int i, int j)
{
    return m.data[j * m.rows + i];
}

inline double at(const matrix &m, int i, int j)
{
    return m.data[j * m.rows + i];
}

// Columns a and b of m: col b := s col a + c col b, col a := c col a - s col b.
void rotate_cols(matrix &m, int a, int b, double c, double s)
{
    for (int k = 0; k < m.rows; k++) {
        double xa = at(m, k, a), xb = at(m, k, b);
        at(m, k, b) = s * xa + c * xb;
        at(m, k, a) = c * xa - s * xb;
    }
}

// The same on rows a and b.
void rotate_rows(matrix &m, int a, int b, double c, double s)
{
    for (int k = 0; k < m.cols; k++) {
        double xa = at(m, a, k), xb = at(m, b, k);
        at(m, b, k) = s * xa + c * xb;
        at(m, a, k) = c * xa - s * xb;
    }
}

void require_square(const matrix &m)
{
    if (m.rows != m.cols) {
        fprintf(stderr, "equal: error: matrix not square\n");
        exit(1);
    }
}

// Indices of the largest and the smallest diagonal entry (the first on ties).
void extremes(const matrix &m, int *p, int *q)
{
    double mx = at(m, 0, 0), mn = mx;
    *p = *q = 0;
    for (int i = 0; i < m.rows; i++) {
        double d = at(m, i, i);
        if (d > mx) {
            mx = d;
            *p = i;
        }
        if (d < mn) {
            mn = d;
            *q = i;
        }
    }
}

}  // namespace

matrix Msqrt(const matrix &m)
{
    matrix r = newm(m.rows, m.cols);
    int n = m.rows < m.cols ? m.rows : m.cols;
    for (int i = 0; i < n; i++)
        at(r, i, i) = std::sqrt(at(m, i, i));
    return r;
}

matrix Misqrt(const matrix &m)
{
    matrix r = newm(m.rows, m.cols);
    int n = m.rows < m.cols ? m.rows : m.cols;
    for (int i = 0; i < n; i++) {
        double d = at(m, i, i);
        if (!(d > 0)) {
            fprintf(stderr, "Misqrt: diagonal element %e smaller than or equal to zero.\n", d);
            exit(1);
        }
        at(r, i, i) = 1.0 / std::sqrt(d);
    }
    return r;
}

double e(const matrix &m)
{
    if (m.rows != m.cols) {
        fprintf(stderr, "e: matrix not square.\n");
        exit(1);
    }
    double prod = 1.0;
    for (int i = 0; i < m.rows; i++)
        prod *= at(m, i, i);
    return std::sqrt(det(m) / prod);
}

double e2(const matrix &k, const matrix &w)
{
    if (k.rows != k.cols || w.rows != w.cols || k.rows != w.rows || k.rows < 1) {
        fprintf(stderr, "e: matrix dimensions not fit.\n");
        exit(1);
    }
    const int n = k.rows;
    double sum = 0.0, prod = 1.0;
    for (int i = 0; i < n; i++) {
        double d = at(k, i, i) * at(w, i, i);
        sum += d;
        prod *= d;
    }
    return std::pow(prod, 1.0 / n) * n / sum;
}

double e0(const matrix &k, const matrix &w)
{
    double ek = e(k), ew = e(w);
    double g = e2(k, w);
    return std::pow(ek * ew, 2.0 / k.cols) * g;
}

int equal(matrix *t, matrix &m, double tol, int itmax)
{
    require_square(m);
    const int n = m.rows;
    *t = mid(n, n);
    if (n < 1)
        return 0;
    double mean = tr(m) / n;
    double bound = tol * mean;
    int steps = 0;
    int p, q;
    extremes(m, &p, &q);
    double d;
    for (;;) {
        d = at(m, p, p) - at(m, q, q);
        if (d <= bound)
            break;
        int k = steps++;
        if (k > itmax)
            break;
        double off = at(m, q, p);
        double r = std::sqrt(off * off + d * d / 4);
        if (r == 0)
            break;
        double c = std::sqrt((off / r + 1) / 2);
        // The negative sine is the one that makes the new M_pp and M_qq equal.
        double s2 = (1 - off / r) / 2;
        double s = -std::sqrt(s2 > 0 ? s2 : 0.0);
        rotate_cols(*t, q, p, c, s);
        rotate_cols(m, q, p, c, s);
        rotate_rows(m, q, p, c, s);
        extremes(m, &p, &q);
    }
    if (d > bound)
        error_text("Error in equalizing: too many iterations.\n");
    return steps;
}

void equal2(matrix *t, matrix &m)
{
    require_square(m);
    const int n = m.rows;
    *t = mid(n, n);
    if (n < 1)
        return;
    double mean = tr(m) / n;
    for (int i = 0; i + 1 < n; i++) {
        double di = at(m, i, i);
        if (di == mean)
            continue;
        int j = i + 1;
        while (j < n && !(di > mean ? at(m, j, j) < mean : at(m, j, j) > mean))
            j++;
        if (j == n) {
            // Only rounding puts every later entry on the same side.
            error_text("equal: error: something might be wrong.\n");
            continue;
        }
        double dj = at(m, j, j);
        double c = std::sqrt((dj - mean) / (dj - di));
        double s = std::sqrt((mean - di) / (dj - di));
        rotate_cols(*t, i, j, c, s);
        rotate_cols(m, i, j, c, s);
        rotate_rows(m, i, j, c, s);
    }
}
