#include "homotopy/complex_ops.h"

#include <cmath>

#include "homotopy/machine.h"
#include "numeric/lapack.h"

void hom_cmul(const double *a, const double *b, double *c)
{
    const double re = a[0] * b[0] - a[1] * b[1];
    const double im = a[0] * b[1] + a[1] * b[0];
    c[0] = re;
    c[1] = im;
}

void hom_cpow(const int &k, const double *z, double *c)
{
    if (k == 0) {
        c[0] = 1.0;
        c[1] = 0.0;
        return;
    }
    if (k == 1) {
        c[0] = z[0];
        c[1] = z[1];
        return;
    }
    const int two = 2, one = 1;
    const double rho = dnrm2_(&two, z, &one);
    if (rho == 0.0) {
        c[0] = 0.0;
        c[1] = 0.0;
        return;
    }
    // rho^k by repeated squaring; a negative power uses 1/rho.
    double base = k < 0 ? 1.0 / rho : rho;
    long long e = k < 0 ? -static_cast<long long>(k) : k;
    double rk = 1.0;
    while (e > 0) {
        if (e & 1)
            rk *= base;
        base *= base;
        e >>= 1;
    }
    const double theta = std::atan2(z[1], z[0]);
    c[0] = rk * std::cos(k * theta);
    c[1] = rk * std::sin(k * theta);
}

void hom_cdiv(const double *a, const double *b, double *c, int &flag)
{
    const double big = D1MACH(2);
    flag = 0;
    const double den = b[0] * b[0] + b[1] * b[1];
    const double num[2] = {a[0] * b[0] + a[1] * b[1], a[1] * b[0] - a[0] * b[1]};
    for (int part = 0; part < 2; part++) {
        // A NaN den fails both tests and takes the overflow branch.
        if (std::fabs(den) >= 1.0 || std::fabs(num[part]) / big < std::fabs(den)) {
            c[part] = num[part] / den;
        } else {
            c[part] = big;
            flag = 1;
        }
    }
}
