// Small helpers of the numerical-library tests.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>

#include "numeric/numeric.h"

// A rows x cols matrix from its elements written row by row.
inline matrix rowwise(int rows, int cols, std::initializer_list<double> v)
{
    matrix m = newm(rows, cols);
    int k = 0;
    for (double x : v) {
        m.data[(k % cols) * rows + k / cols] = x;
        k++;
    }
    return m;
}

inline double at(const matrix &m, int i, int j)
{
    return m.data[j * m.rows + i];
}

// Largest absolute difference of two matrices of the same shape.
inline double maxdiff(const matrix &a, const matrix &b)
{
    double d = 0;
    for (int k = 0; k < a.rows * a.cols; k++) {
        double x = a.data[k] - b.data[k];
        if (x < 0)
            x = -x;
        if (x > d)
            d = x;
    }
    return d;
}

// What a printing routine writes, as a string.
template <class F>
std::string printed(F print)
{
    char *buf = nullptr;
    size_t len = 0;
    FILE *fp = open_memstream(&buf, &len);
    print(fp);
    fclose(fp);
    std::string s(buf, len);
    free(buf);
    return s;
}
