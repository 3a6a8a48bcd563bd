// Integer matrices and solution arrays.
#include <gtest/gtest.h>

#include "algebra/imatrix.h"
#include "tests/base/capture.h"

TEST(IMatrix, SizesBelowOneGiveNoData)
{
    struct {
        int rows, cols, want_rows, want_cols;
    } cases[] = {{0, 5, 0, 5}, {-1, 3, 0, 3}, {4, -2, 4, 0}, {0, 0, 0, 0}};
    for (auto c : cases) {
        i_matrix M = new_i_matrix(c.rows, c.cols);
        EXPECT_EQ(M.rows, c.want_rows);
        EXPECT_EQ(M.cols, c.want_cols);
        EXPECT_TRUE(M.data.empty());
    }
}

TEST(IMatrix, ColumnMajorElementsAndPrinting)
{
    i_matrix M = new_i_matrix(2, 3);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_EQ(im_element(M, i, j), 0);
    set_i_matrix(&M, 1, 2, 7);
    set_i_matrix(&M, 0, 1, -3);
    EXPECT_EQ(M.data[2 * 2 + 1], 7);  // (i, j) at data[j*rows + i]
    EXPECT_EQ(im_element(M, 1, 2), 7);
    std::string s = capture_stream([&](FILE *f) { print_i_matrix(M, f); });
    EXPECT_EQ(s, "     0    -3     0\n     0     0     7\n");
    free_i_matrix(&M);
    EXPECT_EQ(M.rows, 0);
    EXPECT_EQ(M.cols, 0);
    EXPECT_TRUE(M.data.empty());
}

TEST(IMatrixDeath, IndicesOutOfBounds)
{
    i_matrix M = new_i_matrix(2, 2);
    EXPECT_EXIT(im_element(M, 2, 0), testing::ExitedWithCode(1), "im_element: indices out of bounds");
    EXPECT_EXIT(im_element(M, 0, -1), testing::ExitedWithCode(1), "im_element: indices out of bounds");
    EXPECT_EXIT(set_i_matrix(&M, 0, 2, 1), testing::ExitedWithCode(1),
                "set_i_matrix: indices out of bounds");
}

TEST(SolutionArray, ZeroedAndFreed)
{
    solution_array s = new_solution_array(3);
    ASSERT_EQ(s.n, 3);
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(s.value[k], 0.0);
        EXPECT_EQ(s.flag[k], 0);
    }
    free_solution_array(&s);
    EXPECT_EQ(s.n, 0);
    EXPECT_TRUE(s.value.empty() && s.flag.empty());
    EXPECT_EXIT(new_solution_array(0), testing::ExitedWithCode(1), "new_solution_array: n<1");
}
