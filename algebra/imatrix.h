// Integer matrices (which variable occurs, to what power, in which equation)
// and solution arrays (the values of the variables already known).
#pragma once

#include <cstdio>
#include <vector>

// Column-major like `matrix`: element (i, j) at data[j*rows + i]. A matrix
// with no rows or no columns has no data.
struct i_matrix {
    std::vector<int> data;
    int rows = 0;
    int cols = 0;
};

// value[k] is the value of Bk when flag[k] is non-zero.
struct solution_array {
    int n = 0;
    std::vector<double> value;
    std::vector<int> flag;
};

// Negative sizes count as 0; the elements start at 0.
i_matrix new_i_matrix(int rows, int cols);
// Releases the data and zeroes the sizes.
void free_i_matrix(i_matrix *M);
int im_element(const i_matrix &M, int i, int j);
void set_i_matrix(i_matrix *M, int i, int j, int value);
void print_i_matrix(const i_matrix &M, FILE *fp);

solution_array new_solution_array(int n);
// Releases both arrays and zeroes n.
void free_solution_array(solution_array *s);
