// Double-double numbers: an unevaluated sum hi + lo of two doubles with
// |lo| <= ulp(hi) / 2, some 32 significant digits, from the error-free
// transformations of a sum (Knuth's two-sum) and of a product (Dekker's). The
// balancing of a filter whose second-order modes span more decades than a
// double holds computes its Gramians, factors and singular values in them.
#pragma once

#include <cmath>

namespace ddouble {

struct dd {
    double hi = 0.0, lo = 0.0;
};

inline dd two_sum(double a, double b)
{
    double s = a + b;
    double v = s - a;
    return {s, (a - (s - v)) + (b - v)};
}

inline dd quick_two_sum(double a, double b)
{
    double s = a + b;
    return {s, b - (s - a)};
}

// Dekker's product: the factors split into halves of 26 bits, whose
// products are exact (no fused multiply-add needed, and none called).
inline dd two_prod(double a, double b)
{
    const double split = 134217729.0;  // 2^27 + 1
    double p = a * b;
    double t = split * a;
    double ah = t - (t - a), al = a - ah;
    t = split * b;
    double bh = t - (t - b), bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

inline dd operator+(dd a, dd b)
{
    dd s = two_sum(a.hi, b.hi);
    dd t = two_sum(a.lo, b.lo);
    s.lo += t.hi;
    s = quick_two_sum(s.hi, s.lo);
    s.lo += t.lo;
    return quick_two_sum(s.hi, s.lo);
}

inline dd operator-(dd a) { return {-a.hi, -a.lo}; }
inline dd operator-(dd a, dd b) { return a + (-b); }

inline dd operator+(dd a, double b)
{
    dd s = two_sum(a.hi, b);
    s.lo += a.lo;
    return quick_two_sum(s.hi, s.lo);
}

inline dd operator*(dd a, dd b)
{
    dd p = two_prod(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return quick_two_sum(p.hi, p.lo);
}

inline dd operator*(dd a, double b)
{
    dd p = two_prod(a.hi, b);
    p.lo += a.lo * b;
    return quick_two_sum(p.hi, p.lo);
}

inline dd operator/(dd a, dd b)
{
    double q1 = a.hi / b.hi;
    dd r = a - b * q1;
    double q2 = r.hi / b.hi;
    r = r - b * q2;
    double q3 = r.hi / b.hi;
    return quick_two_sum(q1, q2) + q3;
}

// s += a * b, the running sum of a dot product.
inline void fma_into(dd &s, dd a, dd b) { s = s + a * b; }

inline dd dd_sqrt(dd a)
{
    if (!(a.hi > 0.0))
        return {};
    double x = std::sqrt(a.hi);
    dd r = a - two_prod(x, x);
    return quick_two_sum(x, r.hi / (2.0 * x));
}

inline dd dd_abs(dd a) { return a.hi < 0.0 ? -a : a; }
inline double to_double(dd a) { return a.hi + a.lo; }

}  // namespace ddouble
