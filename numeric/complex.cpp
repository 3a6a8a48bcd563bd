// Complex scalars.
#include "numeric/complex.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

complex crdiv(complex x, complex y)
{
    double d = y.re * y.re + y.im * y.im;
    if (d == 0) {
        fprintf(stderr, "crdiv: trying to divide by 0\n");
        exit(1);
    }
    return complex{(x.re * y.re + x.im * y.im) / d, (x.im * y.re - x.re * y.im) / d};
}

complex rcdiv(double r, complex y)
{
    double d = y.re * y.re + y.im * y.im;
    if (d == 0) {
        fprintf(stderr, "rcdiv: trying to divide by 0\n");
        exit(1);
    }
    return complex{r * y.re / d, -r * y.im / d};
}

complex c_sqroot(complex z)
{
    double x = z.re, y = z.im;
    if (y == 0) {
        if (x >= 0)
            return complex{std::sqrt(x), 0.0};
        return complex{0.0, std::sqrt(-x)};
    }
    // t = sqrt((|x| + |z|) / 2) is formed without cancellation; the other
    // part follows from 2ab = y. The root with b >= 0 is the one returned.
    double t = std::sqrt(0.5 * std::fabs(x) + 0.5 * std::hypot(x, y));
    double a, b;
    if (x >= 0) {
        a = t;
        b = y / (2.0 * t);
    } else {
        a = std::fabs(y) / (2.0 * t);
        b = std::copysign(t, y);
    }
    if (b < 0) {
        a = -a;
        b = -b;
    }
    return complex{a, b};
}

complex csqrt_wrap(complex z)
{
    complex r = c_sqroot(z);
    if (r.re > 0) {
        r.re = -r.re;
        r.im = -r.im;
    }
    return r;
}
