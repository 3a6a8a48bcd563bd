// Eigenvalues by irreducible diagonal blocks against closed forms, with the
// rows and columns of the blocks interleaved by a permutation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "numeric/block_eigen.h"
#include "numeric/matrix.h"

namespace {

using cplx = std::complex<double>;

std::vector<cplx> sorted(const matrix &w)
{
    std::vector<cplx> v;
    for (int k = 0; k < w.rows; k++)
        v.emplace_back(w.data[k], w.data[w.rows + k]);
    std::sort(v.begin(), v.end(), [](cplx a, cplx b) {
        return std::fabs(a.real() - b.real()) > 1e-9 ? a.real() < b.real() : a.imag() < b.imag();
    });
    return v;
}

// Block upper-triangular: [[-1 2; -3 -1]] (-1 +- j sqrt 6), the 3 x 3
// companion block of (s + 1)(s + 2)(s + 3), a single -5, a real 2 x 2 block
// [[-4 1; 2 -3]] ((-7 +- 3) / 2: -2 and -5), coupled above the diagonal
// blocks; then the states permuted.
TEST(BlockEigen, BlocksOfOneTwoAndThreeUnderAPermutation)
{
    const int n = 8;
    std::vector<double> M(n * n, 0.0);  // row-major before the permutation
    auto set = [&](int i, int j, double x) { M[i * n + j] = x; };
    set(0, 0, -1); set(0, 1, 2); set(1, 0, -3); set(1, 1, -1);
    set(2, 3, 1); set(3, 4, 1); set(4, 2, -6); set(4, 3, -11); set(4, 4, -6);
    set(5, 5, -5);
    set(6, 6, -4); set(6, 7, 1); set(7, 6, 2); set(7, 7, -3);
    const int block[n] = {0, 0, 1, 1, 1, 2, 3, 3};
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            if (block[i] < block[j] && (i + j) % 3 != 1)
                set(i, j, 0.5 + i - j);  // couplings that keep the block-triangular form
    const int perm[n] = {5, 2, 7, 0, 4, 6, 1, 3};
    matrix a = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            a.data[perm[j] * n + perm[i]] = M[i * n + j];
    std::vector<cplx> want = {{-5, 0}, {-5, 0}, {-3, 0}, {-2, 0}, {-2, 0}, {-1, -std::sqrt(6.0)}, {-1, 0}, {-1, std::sqrt(6.0)}};
    std::vector<cplx> got = sorted(evc_blocks(a));
    ASSERT_EQ(got.size(), want.size());
    for (int k = 0; k < n; k++)
        EXPECT_LT(std::abs(got[k] - want[k]), 1e-12) << k;
    freem(&a);
}

}  // namespace
