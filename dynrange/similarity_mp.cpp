// Similarity transformations in MPFR: T^-1 A T with T given as a
// double-double matrix. The balancing of a filter of high order has a T
// whose condition number is far beyond 1 / eps (the square root of the ratio
// of the largest to the smallest second-order mode, times that of the
// Gramians' factors), so that T^-1 (A T) in double would realise another
// filter; solved with enough bits, the rounded result differs from the true
// one by the rounding of its own entries alone.
#include "dynrange/similarity_mp.h"

#include <mpfr.h>

#include <algorithm>
#include <climits>
#include <cstddef>

#include "base/error.h"
#include "numeric/alloc.h"
#include "numeric/matrix.h"
#include "numeric/mp_array.h"

namespace {

// The matrices of the products, in MPFR numbers of one precision.
struct mp_matrix : mp_array {
    mp_matrix(std::size_t n, int bits) : mp_array(n, bits, "extended-precision matrix") {}
};

// The nonzero entries of a double matrix, column by column.
struct entry {
    int row, col;
    double v;
};

}  // namespace

bool similarity_exact(const ss &s, const double *th, const double *tl, int bits, ss *out, int *need)
{
    const int n = s.n;
    const std::size_t N = static_cast<std::size_t>(n);
    const std::size_t nn = N * N;
    *need = bits;
    mp_matrix T(nn, bits), Y(nn, bits), tmp(2, bits);
    auto at = [&](mp_array &m, int i, int j) { return m[static_cast<std::size_t>(j) * N + i]; };
    for (std::size_t k = 0; k < nn; k++) {
        mpfr_set_d(T[k], th[k], MPFR_RNDN);
        mpfr_add_d(T[k], T[k], tl[k], MPFR_RNDN);
    }
    // Y = A T over A's nonzero entries (a ladder or a cascade has few)
    work_array<entry> nz(nn);
    std::size_t m = 0;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double a = s.A.data[static_cast<std::size_t>(j) * N + i];
            if (a != 0.0)
                nz.p[m++] = {i, j, a};
        }
    for (std::size_t e = 0; e < m; e++)
        for (int j = 0; j < n; j++) {
            mpfr_mul_d(tmp[0], at(T, nz.p[e].col, j), nz.p[e].v, MPFR_RNDN);
            mpfr_add(at(Y, nz.p[e].row, j), at(Y, nz.p[e].row, j), tmp[0], MPFR_RNDN);
        }
    // C T, rounded; B as the last right-hand side
    matrix CT = newm(1, n);
    for (int j = 0; j < n; j++) {
        mpfr_set_zero(tmp[1], 1);
        for (int k = 0; k < n; k++) {
            double c = s.C.data[k];
            if (c == 0.0)
                continue;
            mpfr_mul_d(tmp[0], at(T, k, j), c, MPFR_RNDN);
            mpfr_add(tmp[1], tmp[1], tmp[0], MPFR_RNDN);
        }
        CT.data[j] = mpfr_get_d(tmp[1], MPFR_RNDN);
    }
    mp_matrix b(N, bits);
    for (int i = 0; i < n; i++)
        mpfr_set_d(b[i], s.B.data[i], MPFR_RNDN);

    // T = P L U in place (a product and a difference per update: MPFR's
    // fused multiply-add forms the exact product first, and is slower)
    work_array<int> piv(N);
    long emax = LONG_MIN, emin = LONG_MAX;
    for (int k = 0; k < n; k++) {
        int p = k;
        for (int i = k + 1; i < n; i++)
            if (mpfr_cmpabs(at(T, i, k), at(T, p, k)) > 0)
                p = i;
        piv.p[k] = p;
        if (mpfr_zero_p(at(T, p, k))) {
            freem(&CT);
            return false;
        }
        if (p != k)
            for (int j = 0; j < n; j++)
                mpfr_swap(at(T, k, j), at(T, p, j));
        long e = mpfr_get_exp(at(T, k, k));
        emax = std::max(emax, e);
        emin = std::min(emin, e);
        for (int i = k + 1; i < n; i++)
            mpfr_div(at(T, i, k), at(T, i, k), at(T, k, k), MPFR_RNDN);
        for (int j = k + 1; j < n; j++) {
            __mpfr_struct *ukj = at(T, k, j);
            if (mpfr_zero_p(ukj))
                continue;
            for (int i = k + 1; i < n; i++) {
                mpfr_mul(tmp[0], at(T, i, k), ukj, MPFR_RNDN);
                mpfr_sub(at(T, i, j), at(T, i, j), tmp[0], MPFR_RNDN);
            }
        }
    }
    // the pivots span about log2 of T's condition: keep 24 bits beyond it
    // and the 53 of the result (for the growth with the order, and the
    // condition that the pivots do not show)
    long spread = emax - emin;
    if (spread + 24 + 53 > bits) {
        *need = static_cast<int>(std::min<long>(spread + 64 + 53, INT_MAX / 2));
        freem(&CT);
        return false;
    }
    // solve T X = [Y b] column by column
    auto solve = [&](__mpfr_struct *x) {  // x: n consecutive numbers
        for (int k = 0; k < n; k++)
            if (piv.p[k] != k)
                mpfr_swap(&x[k], &x[piv.p[k]]);
        for (int k = 0; k < n; k++) {
            if (mpfr_zero_p(&x[k]))
                continue;
            for (int i = k + 1; i < n; i++) {
                mpfr_mul(tmp[0], at(T, i, k), &x[k], MPFR_RNDN);
                mpfr_sub(&x[i], &x[i], tmp[0], MPFR_RNDN);
            }
        }
        for (int k = n - 1; k >= 0; k--) {
            mpfr_div(&x[k], &x[k], at(T, k, k), MPFR_RNDN);
            if (mpfr_zero_p(&x[k]))
                continue;
            for (int i = 0; i < k; i++) {
                mpfr_mul(tmp[0], at(T, i, k), &x[k], MPFR_RNDN);
                mpfr_sub(&x[i], &x[i], tmp[0], MPFR_RNDN);
            }
        }
    };
    ss r = new_ss(n);
    for (int j = 0; j < n; j++) {
        __mpfr_struct *y = Y[static_cast<std::size_t>(j) * N];
        solve(y);
        for (int i = 0; i < n; i++)
            r.A.data[static_cast<std::size_t>(j) * N + i] = mpfr_get_d(&y[i], MPFR_RNDN);
    }
    solve(b[0]);
    for (int i = 0; i < n; i++)
        r.B.data[i] = mpfr_get_d(b[i], MPFR_RNDN);
    mcopy_into(CT, r.C);
    freem(&CT);
    r.D = s.D;
    *out = r;
    return true;
}
