#include "algebra/m3.h"

#include <cstdio>
#include <cstdlib>

#include "algebra/spoly.h"
#include "base/error.h"

namespace {

template <class A>
A make_array(int d1, int d2, int d3, const char *name)
{
    if (d1 < 0 || d2 < 0 || d3 < 0) {
        fprintf(stderr, "%s: illegal matrix dimension: %d %d %d\n", name, d1, d2, d3);
        fatal_cleanup();
        exit(1);
    }
    A a;
    a.d1 = d1;
    a.d2 = d2;
    a.d3 = d3;
    sp_resize(&a.data, static_cast<std::size_t>(d1) * d2 * d3, "three-dimensional array");
    return a;
}

template <class A>
long flat_index(const A &a, int i, int j, int k)
{
    return (static_cast<long>(k) * a.d2 + j) * a.d1 + i;
}

}  // namespace

m3 newm3(int d1, int d2, int d3)
{
    return make_array<m3>(d1, d2, d3, "newm3");
}

long m3index(const m3 &A, int i, int j, int k)
{
    return flat_index(A, i, j, k);
}

double m3_element(const m3 &A, int i, int j, int k)
{
    return A.data[flat_index(A, i, j, k)];
}

void free_m3(m3 *A)
{
    *A = m3();
}

im3 newim3(int d1, int d2, int d3)
{
    return make_array<im3>(d1, d2, d3, "newim3");
}

long im3index(const im3 &A, int i, int j, int k)
{
    return flat_index(A, i, j, k);
}

int im3_element(const im3 &A, int i, int j, int k)
{
    return A.data[flat_index(A, i, j, k)];
}

void free_im3(im3 *A)
{
    *A = im3();
}
