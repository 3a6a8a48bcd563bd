// Real matrices: ownership of shared arrays, bounds and shape checks,
// products, Kronecker forms and the printers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "helpers.h"

using testing::Eq;
using testing::ExitedWithCode;
using testing::HasSubstr;

TEST(MatrixOwnership, CopiesShareTheArrayAndFreeInEitherOrder)
{
    for (int order = 0; order < 2; order++) {
        matrix a = newm(2, 2);
        matrix b = a;  // a copy of the record shares the elements
        matrix_set(b, 1, 0, 5.0);
        EXPECT_EQ(elem(a, 1, 0), 5.0);
        matrix &first = order ? a : b;
        matrix &second = order ? b : a;
        freem(&first);
        EXPECT_EQ(first.rows, 0);
        EXPECT_EQ(first.data, nullptr);
        // The other holder still reads the live array (ASan checks this).
        EXPECT_EQ(elem(second, 1, 0), 5.0);
        freem(&second);
        freem(&second);  // freeing an empty record is harmless
    }
}

TEST(MatrixOwnership, ResizeReplacesOnlyTheResizedHandle)
{
    matrix a = rowwise(2, 2, {1, 2, 3, 4});
    matrix keep = a;
    mresize(&a, 3);
    ASSERT_EQ(a.cols, 3);
    // Leading columns kept, the new column is 0.
    EXPECT_EQ(at(a, 0, 0), 1);
    EXPECT_EQ(at(a, 1, 1), 4);
    EXPECT_EQ(at(a, 0, 2), 0);
    EXPECT_EQ(at(a, 1, 2), 0);
    // The other handle keeps the old array intact.
    EXPECT_EQ(keep.cols, 2);
    EXPECT_EQ(at(keep, 1, 1), 4);
    mresize(&a, 1);
    EXPECT_EQ(a.cols, 1);
    EXPECT_EQ(at(a, 1, 0), 3);
    mresize(&a, 0);
    EXPECT_EQ(a.cols, 0);
    EXPECT_EQ(a.rows, 2);
    EXPECT_EQ(a.data, nullptr);
    freem(&keep);
}

TEST(MatrixBasics, ConstructionAndAccess)
{
    matrix z = newm(0, 5);
    EXPECT_EQ(z.rows, 0);
    EXPECT_EQ(z.cols, 5);
    EXPECT_EQ(z.data, nullptr);

    matrix m = rowwise(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(mindex(m, 1, 2), 5);
    EXPECT_EQ(elem(m, 1, 2), 6);  // the last stored element
    EXPECT_EQ(m.data[5], 6);

    matrix t = transpose(m);
    EXPECT_EQ(t.rows, 3);
    EXPECT_EQ(at(t, 2, 0), 3);
    EXPECT_EQ(at(t, 0, 1), 4);

    matrix v = rowwise(1, 3, {7, 8, 9});
    matrix d = mdiag(v);
    matrix expect = rowwise(3, 3, {7, 0, 0, 0, 8, 0, 0, 0, 9});
    EXPECT_EQ(maxdiff(d, expect), 0);

    matrix b = newm(3, 2);
    mcopy_into(m, b);  // the common 2 x 2 block
    EXPECT_EQ(at(b, 0, 0), 1);
    EXPECT_EQ(at(b, 1, 1), 5);
    EXPECT_EQ(at(b, 2, 1), 0);

    EXPECT_EQ(tr(rowwise(2, 2, {1, 2, 3, 4})), 5);
}

TEST(MatrixBasics, ShapeAndIndexErrorsEndTheProgram)
{
    matrix m = newm(2, 3);
    matrix a = newm(2, 3), b = newm(2, 3);
    EXPECT_EXIT(newm(-1, 2), ExitedWithCode(1), Eq("newm: illegal matrix dimension: -1 2\n"));
    EXPECT_EXIT(elem(m, 2, 0), ExitedWithCode(1), HasSubstr("elem: illegal indices.\n"));
    EXPECT_EXIT(mindex(m, 0, -1), ExitedWithCode(1), HasSubstr("mindex: illegal indices.\n"));
    EXPECT_EXIT(matrix_set(m, 0, 3, 1.0), ExitedWithCode(1), HasSubstr("matrix_set: illegal indices.\n"));
    EXPECT_EXIT(mmul(a, b), ExitedWithCode(1), HasSubstr("mmul: illegal matrix dimensions.\n"));
    EXPECT_EXIT(madd(a, newm(3, 2)), ExitedWithCode(1), Eq("madd: matrix dimensions do not match.\n"));
    EXPECT_EXIT(mdiff(a, newm(3, 2)), ExitedWithCode(1), Eq("mdiff: matrix dimensions do not match.\n"));
    EXPECT_EXIT(mid(2, 3), ExitedWithCode(1), Eq("mid: illegal dimension: 2 3\n"));
    EXPECT_EXIT(nil(-1, 3), ExitedWithCode(1), Eq("nil: illegal dimension: -1 3\n"));
    EXPECT_EXIT(tr(newm(0, 0)), ExitedWithCode(1), Eq("tr: illegal dimensions: 0 0.\n"));
    EXPECT_EXIT(kronsum(a, mid(2, 2)), ExitedWithCode(1), Eq("mid: illegal dimension: 2 3\n"));
}

// An element count beyond the address space is a failed allocation with its
// label, not an exception out of the program.
TEST(MatrixBasics, ArraysBeyondTheAddressSpaceEndTheProgram)
{
    const int big = 2000000000;
    EXPECT_EXIT(newm(big, big), ExitedWithCode(1), HasSubstr("could not allocate space for new matrix"));
    EXPECT_EXIT(cnewm(big, big), ExitedWithCode(1),
                HasSubstr("could not allocate space for new complex matrix"));
    matrix tall;  // big rows, no columns yet: no array
    tall.rows = big;
    EXPECT_EXIT(mresize(&tall, big), ExitedWithCode(1), HasSubstr("could not allocate space for matrix resize"));
}

TEST(MatrixArithmetic, ProductsSumsAndScaling)
{
    struct Case {
        matrix a, b, product;
    } cases[] = {
        // 2 x 3 by 3 x 1
        {rowwise(2, 3, {1, 2, 3, 4, 5, 6}), rowwise(3, 1, {1, 0, -1}), rowwise(2, 1, {-2, -2})},
        // 2 x 2 by 2 x 2, not commuting
        {rowwise(2, 2, {1, 2, 3, 4}), rowwise(2, 2, {0, 1, 1, 0}), rowwise(2, 2, {2, 1, 4, 3})},
        // 1 x 2 by 2 x 3
        {rowwise(1, 2, {2, -1}), rowwise(2, 3, {1, 2, 3, 4, 5, 6}), rowwise(1, 3, {-2, -1, 0})},
    };
    for (auto &c : cases) {
        matrix p = mmul(c.a, c.b);
        ASSERT_EQ(p.rows, c.product.rows);
        ASSERT_EQ(p.cols, c.product.cols);
        EXPECT_EQ(maxdiff(p, c.product), 0);
    }
    // A B with no columns gives A.rows x 0.
    matrix p0 = mmul(rowwise(2, 2, {1, 2, 3, 4}), newm(2, 0));
    EXPECT_EQ(p0.rows, 2);
    EXPECT_EQ(p0.cols, 0);

    matrix a = rowwise(2, 2, {1, 2, 3, 4}), b = rowwise(2, 2, {0, 1, 1, 0}), c = rowwise(2, 1, {1, 2});
    EXPECT_EQ(maxdiff(mmul3(a, b, c), rowwise(2, 1, {4, 10})), 0);
    EXPECT_EQ(maxdiff(madd(a, b), rowwise(2, 2, {1, 3, 4, 4})), 0);
    EXPECT_EQ(maxdiff(mdiff(a, b), rowwise(2, 2, {1, 1, 2, 4})), 0);
    EXPECT_EQ(maxdiff(mscale(-2, a), rowwise(2, 2, {-2, -4, -6, -8})), 0);
    // The arguments are left as they were.
    EXPECT_EQ(maxdiff(a, rowwise(2, 2, {1, 2, 3, 4})), 0);
}

TEST(MatrixKronecker, OrderIsSecondFactorOutside)
{
    // kron(A, B) = B (x) A: [1 2] with [[1],[10]] gives rows (1, 2), (10, 20).
    matrix k = kron(rowwise(1, 2, {1, 2}), rowwise(2, 1, {1, 10}));
    EXPECT_EQ(maxdiff(k, rowwise(2, 2, {1, 2, 10, 20})), 0);

    // kron(A, I2) = I2 (x) A is block diagonal with copies of A.
    matrix a = rowwise(2, 2, {1, 2, 3, 4});
    matrix ka = kron(a, mid(2, 2));
    EXPECT_EQ(maxdiff(ka, rowwise(4, 4, {1, 2, 0, 0, 3, 4, 0, 0, 0, 0, 1, 2, 0, 0, 3, 4})), 0);
    // kron(I2, A) = A (x) I2 interleaves.
    matrix kb = kron(mid(2, 2), a);
    EXPECT_EQ(maxdiff(kb, rowwise(4, 4, {1, 0, 2, 0, 0, 1, 0, 2, 3, 0, 4, 0, 0, 3, 0, 4})), 0);
}

TEST(MatrixKronecker, KronsumIsTheSylvesterMap)
{
    // kronsum(A, B) vec(X) = vec(A X + X B^T), for non-square X.
    matrix a = rowwise(2, 2, {1, 2, -3, 4});
    matrix b = rowwise(3, 3, {0.5, 1, 0, -1, 2, 3, 0, 0, -2});
    matrix x = rowwise(2, 3, {1, -2, 3, 0.5, 5, -1});
    matrix ks = kronsum(a, b);
    ASSERT_EQ(ks.rows, 6);
    matrix lhs = mmul(ks, mvec(x));
    matrix rhs = mvec(madd(mmul(a, x), mmul(x, transpose(b))));
    EXPECT_LT(maxdiff(lhs, rhs), 1e-14);
}

TEST(MatrixVec, VecAndUnvec)
{
    matrix m = rowwise(2, 2, {1, 2, 3, 4});
    matrix v = mvec(m);
    EXPECT_EQ(maxdiff(v, rowwise(4, 1, {1, 3, 2, 4})), 0);

    matrix col9 = newm(9, 1);
    for (int k = 0; k < 9; k++)
        col9.data[k] = k;
    matrix sq = munvec(col9);
    ASSERT_EQ(sq.rows, 3);
    ASSERT_EQ(sq.cols, 3);
    EXPECT_EQ(at(sq, 0, 1), 3);  // filled column by column
    EXPECT_EQ(at(sq, 2, 2), 8);
    sq.data[0] = 99;             // a copy, not a view
    EXPECT_EQ(col9.data[0], 0);

    matrix col8 = newm(8, 1);
    matrix same = munvec(col8);
    EXPECT_EQ(same.rows, 8);
    EXPECT_EQ(same.cols, 1);
}

TEST(MatrixPrint, PrintMatrixFormat)
{
    struct Case {
        matrix m;
        int per_line;
        const char *text;
    } cases[] = {
        {rowwise(1, 3, {1, -0.25, 300}), 2, "(1, 3)\n   1.000000e+00  -2.500000e-01\n\t   3.000000e+02\n\n"},
        {rowwise(2, 2, {1, 2, 3, 4}), 8,
         "(2, 2)\n   1.000000e+00   2.000000e+00\n   3.000000e+00   4.000000e+00\n\n"},
        // A full line is not followed by a continuation at the end of a row.
        {rowwise(1, 2, {1, 2}), 2, "(1, 2)\n   1.000000e+00   2.000000e+00\n\n"},
        {newm(0, 0), 8, "(0, 0)\n\n"},
    };
    for (auto &c : cases)
        EXPECT_EQ(printed([&](FILE *fp) { print_matrix(fp, c.m, c.per_line); }), c.text);
}

TEST(MatrixPrint, PerLineBelowOneUsesEight)
{
    matrix m = newm(2, 10);
    std::string eight = printed([&](FILE *fp) { print_matrix(fp, m, 8); });
    // Each row: 8 numbers, "\n\t", 2 numbers.
    std::string zero15 = "   0.000000e+00";
    std::string expect_row;
    for (int k = 0; k < 8; k++)
        expect_row += zero15;
    expect_row += "\n\t" + zero15 + zero15 + "\n";
    EXPECT_EQ(eight, "(2, 10)\n" + expect_row + expect_row + "\n");
    for (int bad : {0, -3})
        EXPECT_EQ(printed([&](FILE *fp) { print_matrix(fp, m, bad); }), eight);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const double *v;
        int count;
    } counts[] = {{nullptr, 8}, {&nan, 8}};
    for (auto &c : counts)
        EXPECT_EQ(per_line_count(c.v), c.count);
    for (auto [v, count] : std::initializer_list<std::pair<double, int>>{
             {3.9, 3}, {1.0, 1}, {0.5, 8}, {0.0, 8}, {-2.0, 8}, {1e300, 8}, {HUGE_VAL, 8}})
        EXPECT_EQ(per_line_count(&v), count) << v;
}

TEST(MatrixPrint, PrintMatrixEIsInputText)
{
    struct Case {
        matrix m;
        int per_line;
        const char *text;
    } cases[] = {
        {rowwise(2, 2, {1, -2, 3, 4}), 8, " 1.000000e+00\t-2.000000e+00\t\n 3.000000e+00\t 4.000000e+00\t;\n\n"},
        // per_line 1: two numbers a line, the count starting again at every row.
        {rowwise(1, 3, {1, 2, 3}), 1, " 1.000000e+00\t 2.000000e+00\n 3.000000e+00\t;\n\n"},
        {rowwise(2, 1, {0, -1.5}), 1, " 0.000000e+00\t\n-1.500000e+00\t;\n\n"},
        // per_line 0 counts as 8
        {rowwise(1, 2, {1, 2}), 0, " 1.000000e+00\t 2.000000e+00\t;\n\n"},
    };
    for (auto &c : cases) {
        EXPECT_EQ(printed([&](FILE *fp) { print_matrix_e(fp, c.m, c.per_line); }), c.text);
        EXPECT_EQ(printed([&](FILE *fp) { print_matrix_e(fp, c.m.rows, c.m.cols, c.m.data, c.per_line); }),
                  c.text);
    }
}
