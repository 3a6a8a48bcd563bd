// Integer matrices and solution arrays.
#include "algebra/imatrix.h"

#include "algebra/spoly.h"
#include "base/error.h"

i_matrix new_i_matrix(int rows, int cols)
{
    i_matrix M;
    M.rows = rows > 0 ? rows : 0;
    M.cols = cols > 0 ? cols : 0;
    if (M.rows > 0 && M.cols > 0)
        sp_resize(&M.data, static_cast<std::size_t>(M.rows) * static_cast<std::size_t>(M.cols),
                  "integer matrix");
    return M;
}

void free_i_matrix(i_matrix *M)
{
    std::vector<int>().swap(M->data);
    M->rows = 0;
    M->cols = 0;
}

static bool in_range(const i_matrix &M, int i, int j)
{
    return i >= 0 && i < M.rows && j >= 0 && j < M.cols;
}

int im_element(const i_matrix &M, int i, int j)
{
    if (!in_range(M, i, j))
        fatal("im_element: indices out of bounds");
    return M.data[static_cast<std::size_t>(j) * M.rows + i];
}

void set_i_matrix(i_matrix *M, int i, int j, int value)
{
    if (!in_range(*M, i, j))
        fatal("set_i_matrix: indices out of bounds");
    M->data[static_cast<std::size_t>(j) * M->rows + i] = value;
}

void print_i_matrix(const i_matrix &M, FILE *fp)
{
    for (int i = 0; i < M.rows; i++) {
        for (int j = 0; j < M.cols; j++)
            fprintf(fp, " %5d", M.data[static_cast<std::size_t>(j) * M.rows + i]);
        fprintf(fp, "\n");
    }
}

solution_array new_solution_array(int n)
{
    if (n < 1)
        fatal("new_solution_array: n<1");
    solution_array s;
    s.n = n;
    sp_resize(&s.value, n, "array of polynomial solutions");
    sp_resize(&s.flag, n, "array of polynomial solutions");
    return s;
}

void free_solution_array(solution_array *s)
{
    std::vector<double>().swap(s->value);
    std::vector<int>().swap(s->flag);
    s->n = 0;
}
