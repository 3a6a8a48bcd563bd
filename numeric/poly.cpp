// Real polynomials and root lists.
#include "numeric/poly.h"

#include <cstring>

#include "base/error.h"
#include "base/globals.h"
#include "numeric/alloc.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

numeric_state nst;

namespace {

// Coefficients the array of p can hold; -1 when that is not known (an
// array the library did not allocate), in which case the caller is trusted.
long poly_capacity(const poly &p)
{
    if (p.store)
        return shared_capacity(p.store);
    return p.coef ? -1 : 0;
}

void check_room(const poly &p, int d, const char *routine)
{
    long cap = poly_capacity(p);
    if (cap >= 0 && static_cast<long>(d) + 1 > cap)
        fatal("%s: no room for a polynomial of degree %d", routine, d);
}

inline double lead(const poly &p)
{
    return p.coef[p.degree];
}

}  // namespace

poly newpoly(int d)
{
    poly p;
    p.degree = d;
    if (d >= 0) {
        p.store = shared_array<double>(static_cast<std::size_t>(d) + 1, "polyomial");
        p.coef = p.store.get();
    }
    return p;
}

void freepoly(poly *p)
{
    if (p)
        *p = poly();
}

poly polycopy(const double *coef, int d)
{
    poly p = newpoly(d);
    if (d >= 0)
        std::memcpy(p.coef, coef, sizeof(double) * (static_cast<std::size_t>(d) + 1));
    return p;
}

void poly_set(const double *coef, int d, poly *p)
{
    check_room(*p, d, "poly_set");
    p->degree = d;
    if (d >= 0)
        std::memmove(p->coef, coef, sizeof(double) * (static_cast<std::size_t>(d) + 1));
}

void poly_trim(poly *p)
{
    while (p->degree >= 0 && p->coef[p->degree] == 0.0)
        p->degree--;
}

poly poly_lincomb(double a, const poly &p, double b, const poly &q)
{
    int d = p.degree > q.degree ? p.degree : q.degree;
    poly r = newpoly(d);
    for (int k = 0; k <= p.degree; k++)
        r.coef[k] += a * p.coef[k];
    for (int k = 0; k <= q.degree; k++)
        r.coef[k] += b * q.coef[k];
    return r;
}

void poly_axpy(poly *p, double a, const poly &q)
{
    int d = p->degree > q.degree ? p->degree : q.degree;
    check_room(*p, d, "poly_axpy");
    // Coefficients above the old degree start from 0, whatever the array held.
    for (int k = p->degree + 1; k <= d; k++)
        p->coef[k] = 0.0;
    for (int k = 0; k <= q.degree; k++)
        p->coef[k] += a * q.coef[k];
    p->degree = d;
}

poly poly_mul(const poly &p, const poly &q)
{
    if (p.degree < 0 || q.degree < 0)
        return newpoly(-1);
    poly r = newpoly(p.degree + q.degree);
    for (int i = 0; i <= p.degree; i++)
        for (int j = 0; j <= q.degree; j++)
            r.coef[i + j] += p.coef[i] * q.coef[j];
    return r;
}

void poly_mul_into(const poly &p, const poly &q, poly *r)
{
    if (p.degree < 0 || q.degree < 0) {
        r->degree = -1;
        return;
    }
    int d = p.degree + q.degree;
    check_room(*r, d, "poly_mul_into");
    // The product is formed aside, so r may share its array with p or q.
    work_array<double> w(static_cast<std::size_t>(d) + 1, "polynomial coefficients");
    for (int k = 0; k <= d; k++)
        w.p[k] = 0.0;
    for (int i = 0; i <= p.degree; i++)
        for (int j = 0; j <= q.degree; j++)
            w.p[i + j] += p.coef[i] * q.coef[j];
    std::memcpy(r->coef, w.p, sizeof(double) * (static_cast<std::size_t>(d) + 1));
    r->degree = d;
}

poly poly_mirror_product(const poly &p)
{
    if (p.degree < 0)
        return newpoly(-1);
    poly m = polycopy(p.coef, p.degree);
    for (int k = 1; k <= m.degree; k += 2)
        m.coef[k] = -m.coef[k];
    poly r = poly_mul(m, p);
    freepoly(&m);
    return r;
}

double poly_eval(const double *coef, int d, double x)
{
    double s = 0.0, power = 1.0;
    for (int k = 0; k <= d; k++) {
        s += coef[k] * power;
        power *= x;
    }
    return s;
}

poly poly_deriv(const poly &p)
{
    if (p.degree < 1)
        return newpoly(-1);
    poly r = newpoly(p.degree - 1);
    for (int k = 1; k <= p.degree; k++)
        r.coef[k - 1] = k * p.coef[k];
    return r;
}

poly poly_from_roots(const complex *roots, int n)
{
    if (n < 0)
        n = 0;
    work_array<double> buf(2 * static_cast<std::size_t>(n) + 3, "polynomial coefficients");
    double *w = buf.p + 2;  // w[-2] and w[-1] stay 0
    w[-2] = w[-1] = 0.0;
    w[0] = 1.0;
    int d = 0;
    for (int i = 0; i < n; i++) {
        double x = roots[i].re, y = roots[i].im;
        if (y != 0) {
            d += 2;
            w[d] = w[d - 1] = 0.0;
            double q = x * x + y * y;
            for (int j = d; j >= 0; j--)
                w[j] = w[j - 2] - 2.0 * x * w[j - 1] + q * w[j];
        } else {
            d += 1;
            w[d] = 0.0;
            for (int j = d; j >= 0; j--)
                w[j] = w[j - 1] - x * w[j];
        }
    }
    return polycopy(w, d);
}

rootlist poly_root(const double *coef, int n)
{
    if (n < 0)
        fatal("evc, matrix dimensions improper");
    if (coef[n] == 0)
        fatal("poly_root: leading coefficient zero");
    matrix c = newm(n, n);
    for (int j = 0; j < n; j++)
        c.data[j * n] = -coef[n - 1 - j] / coef[n];
    for (int i = 0; i + 1 < n; i++)
        c.data[i * n + i + 1] = 1.0;
    matrix w = evc(c);
    freem(&c);
    rootlist r = new_rootlist(n);
    for (int i = 0; i < n; i++)
        r.roots[i] = complex{w.data[i], w.data[n + i]};
    freem(&w);
    return r;
}

poly BesselPoly(int n)
{
    if (n < 0)
        fatal("BesselPoly: order should be nonnegative");
    double one = 1.0, s1[2] = {1.0, 1.0};
    poly b0 = polycopy(&one, 0);
    if (n == 0)
        return b0;
    poly b1 = polycopy(s1, 1);
    for (int k = 2; k <= n; k++) {
        poly bk = newpoly(k);
        for (int i = 0; i <= b1.degree; i++)
            bk.coef[i] += (2 * k - 1) * b1.coef[i];
        for (int i = 0; i <= b0.degree; i++)
            bk.coef[i + 2] += b0.coef[i];
        freepoly(&b0);
        b0 = b1;
        b1 = bk;
    }
    freepoly(&b0);
    return b1;
}

poly ChebyshevPoly(int n)
{
    if (n < 0)
        fatal("ChebyshevPoly: order should be nonnegative");
    double one = 1.0, s[2] = {0.0, 1.0};
    poly t0 = polycopy(&one, 0);
    if (n == 0)
        return t0;
    poly t1 = polycopy(s, 1);
    for (int k = 2; k <= n; k++) {
        poly tk = newpoly(k);
        for (int i = 0; i <= t1.degree; i++)
            tk.coef[i + 1] += 2.0 * t1.coef[i];
        for (int i = 0; i <= t0.degree; i++)
            tk.coef[i] -= t0.coef[i];
        freepoly(&t0);
        t0 = t1;
        t1 = tk;
    }
    freepoly(&t0);
    return t1;
}

vector cauer_extract(const double *coef, int n)
{
    if (n < 1)
        fatal("vector dimension not positive");
    int deven = n % 2 == 0 ? n : n - 1;
    int dodd = n % 2 == 1 ? n : n - 1;
    poly even = newpoly(deven), odd = newpoly(dodd);
    for (int k = 0; k <= n; k++) {
        if (k % 2 == 0)
            even.coef[k] = coef[k];
        else
            odd.coef[k] = coef[k];
    }
    if (nst.debug_level != 0) {
        FILE *fp = report_stream();
        fprintf(fp, "Polynomial:\n");
        print_poly(coef, n, fp);
        fprintf(fp, "even part:\n");
        print_poly(even.coef, even.degree, fp);
        fprintf(fp, "odd part:\n");
        print_poly(odd.coef, odd.degree, fp);
    }
    poly big = n % 2 == 0 ? polycopy(even.coef, even.degree) : polycopy(odd.coef, odd.degree);
    poly small = n % 2 == 0 ? polycopy(odd.coef, odd.degree) : polycopy(even.coef, even.degree);
    freepoly(&even);
    freepoly(&odd);

    vector r = newvector(n);
    for (int i = 0; i < n; i++) {
        poly_trim(&big);
        poly_trim(&small);
        // A zero part leaves nothing to divide by.
        if (small.degree < 0 || big.degree - small.degree != 1)
            fatal("Cannot extract Cauer network:\ndifference of polynomial orders is not one.");
        double ri = lead(big) / lead(small);
        poly diff = polycopy(big.coef, big.degree);
        for (int k = 0; k <= small.degree; k++)
            diff.coef[k + 1] -= ri * small.coef[k];
        diff.coef[diff.degree] = 0.0;
        if (nst.debug_level != 0) {
            FILE *fp = report_stream();
            fprintf(fp, "big:\n");
            print_poly(big.coef, big.degree, fp);
            fprintf(fp, "small:\n");
            print_poly(small.coef, small.degree, fp);
            fprintf(fp, "diff:\n");
            print_poly(diff.coef, diff.degree, fp);
            fprintf(fp, "r = %g\n", ri);
        }
        r.data[i] = ri;
        freepoly(&big);
        big = small;
        small = diff;
    }
    freepoly(&big);
    freepoly(&small);
    return r;
}

void print_poly(const double *coef, int d, FILE *fp)
{
    for (int k = d; k >= 0; k--) {
        fprintf(fp, "%15g * s^%d", coef[k], k);
        if (k != 0)
            fprintf(fp, " +");
        fprintf(fp, "\n");
    }
}

poly poly_div(const poly &p, const poly &q, poly *rem)
{
    poly num = p, den = q;
    poly_trim(&num);
    poly_trim(&den);
    if (den.degree < 0)
        fatal("poly_div: division by the zero polynomial");
    if (num.degree < den.degree) {
        *rem = polycopy(num.coef, num.degree);
        return newpoly(0);
    }
    // Long division: the remainder starts as p and loses its leading term
    // at every step.
    poly quot = newpoly(num.degree - den.degree);
    poly r = polycopy(num.coef, num.degree);
    for (int k = quot.degree; k >= 0; k--) {
        double c = r.coef[k + den.degree] / lead(den);
        quot.coef[k] = c;
        for (int j = 0; j <= den.degree; j++)
            r.coef[k + j] -= c * den.coef[j];
        r.coef[k + den.degree] = 0.0;
    }
    r.degree = den.degree - 1;
    poly_trim(&r);
    *rem = r;
    return quot;
}

rootlist new_rootlist(int n)
{
    if (n < 0)
        fatal("new_rootlist: illegal dimension: %d", n);
    rootlist r;
    r.n = n;
    r.store = shared_array<complex>(static_cast<std::size_t>(n), "rootlist");
    r.roots = r.store.get();
    return r;
}

void free_rootlist(rootlist *r)
{
    if (r)
        *r = rootlist();
}

rootlist copy_rootlist(const complex *roots, int n)
{
    rootlist r = new_rootlist(n);
    for (int i = 0; i < n; i++)
        r.roots[i] = roots[i];
    return r;
}

void print_roots(FILE *fp, const complex *roots, int n)
{
    for (int i = 0; i < n; i++)
        fprintf(fp, "%15e %15e\n", roots[i].re, roots[i].im);
}
