// Counted arrays of doubles and ints.
#include "numeric/vector.h"

#include <cstring>

#include "base/error.h"
#include "numeric/alloc.h"

vector newvector(int n)
{
    if (n < 0)
        fatal("newvector: illegal dimension: %d\n", n);
    vector v;
    v.n = n;
    v.store = shared_array<double>(static_cast<std::size_t>(n), "new vector");
    v.data = v.store.get();
    return v;
}

void resize_vector(vector *v, int n)
{
    if (n < 0)
        fatal("newvector: illegal dimension: %d\n", n);
    auto s = shared_array<double>(static_cast<std::size_t>(n), "vector");
    int keep = n < v->n ? n : v->n;
    if (keep > 0 && v->data)
        std::memcpy(s.get(), v->data, sizeof(double) * keep);
    v->n = n;
    v->data = s.get();
    v->store = std::move(s);
}

vector null_vector()
{
    return vector();
}

void freevector(vector *v)
{
    if (v)
        *v = vector();
}

void vcopy_into(const vector &src, vector &dst)
{
    if (src.n > dst.n)
        fatal("vcopy_into: destination holds %d values, %d given", dst.n, src.n);
    if (src.n > 0)
        std::memcpy(dst.data, src.data, sizeof(double) * src.n);
}

vector vcopy(const vector &v)
{
    vector r = newvector(v.n);
    if (v.n > 0)
        std::memcpy(r.data, v.data, sizeof(double) * v.n);
    return r;
}

ivector new_ivector(int n)
{
    if (n < 0)
        fatal("new_ivector: illegal dimension: %d", n);
    ivector v;
    v.n = n;
    v.store = shared_array<int>(static_cast<std::size_t>(n), "new integer vector");
    v.data = v.store.get();
    return v;
}

void free_ivector(ivector *v)
{
    if (v)
        *v = ivector();
}

void print_ivector(FILE *fp, const ivector &v)
{
    for (int i = 0; i < v.n; i++)
        fprintf(fp, " %d", v.data[i]);
    fprintf(fp, "\n");
}
