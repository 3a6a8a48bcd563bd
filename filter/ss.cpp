#include "filter/ss.h"

#include "base/error.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"

ss new_ss(int n)
{
    ss s;
    s.n = n;
    s.A = newm(n, n);
    s.B = newm(n, 1);
    s.C = newm(1, n);
    s.D = 0.0;
    return s;
}

void free_ss(ss *s)
{
    if (s->n != 0) {
        freem(&s->A);
        freem(&s->B);
        freem(&s->C);
    }
    s->n = 0;
}

void new_caps(cap_ss *s, int n)
{
    free_caps(s);
    if (n < 1)
        return;
    s->cap_store = std::shared_ptr<double[]>(new (std::nothrow) double[n]());
    check_alloc(s->cap_store.get(), "capacitor value storage");
    s->cap = s->cap_store.get();
}

void free_caps(cap_ss *s)
{
    s->cap_store.reset();
    s->cap = nullptr;
}

cap_ss new_cap_ss(int n)
{
    cap_ss c;
    static_cast<ss &>(c) = new_ss(n);
    new_caps(&c, n);
    return c;
}

void free_cap_ss(cap_ss *s)
{
    free_ss(s);
    free_caps(s);
}

ss transform_ss2(const matrix &T, const matrix &Ti, const ss &s)
{
    ss r;
    r.n = s.n;
    matrix AT = mmul(s.A, T);
    r.A = mmul(Ti, AT);
    freem(&AT);
    r.B = mmul(Ti, s.B);
    r.C = mmul(s.C, T);
    r.D = s.D;
    return r;
}

ss transform_ss(const matrix &T, const ss &s)
{
    matrix Ti = minv(T);
    ss r = transform_ss2(T, Ti, s);
    freem(&Ti);
    return r;
}

void scale_ss(const vector &t, ss &s)
{
    if (t.n != s.n)
        fatal("scale_ss: dimensions of t and ss do not agree");
    int n = s.n;
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            s.A.data[j * n + i] = s.A.data[j * n + i] * t.data[j] / t.data[i];
        s.B.data[i] = s.B.data[i] / t.data[i];
        s.C.data[i] = s.C.data[i] * t.data[i];
    }
}

ss copy_ss(const ss &s)
{
    ss r;
    if (s.n < 1)
        return r;
    r.n = s.n;
    r.A = mcopy(s.A);
    r.B = mcopy(s.B);
    r.C = mcopy(s.C);
    r.D = s.D;
    return r;
}

void print_ss(FILE *fp, const ss &s, int per_line)
{
    fprintf(fp, "A =\n");
    print_matrix(fp, s.A, per_line);
    fprintf(fp, "B =\n");
    print_matrix(fp, s.B, per_line);
    fprintf(fp, "C =\n");
    print_matrix(fp, s.C, per_line);
    fprintf(fp, "D = %e\n\n", s.D);
}
