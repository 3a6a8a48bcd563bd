// Jacobi elliptic functions by the descending Landen transformation and the
// complete elliptic integral by the arithmetic-geometric mean.
#include "base/elliptic.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

#include "base/error.h"

void jacobi_elliptic(double u, double m, double *sn_out, double *cn_out, double *dn_out)
{
    if (m < 0 || m > 1)
        fatal("jacobi_elliptic: modulus out of range");
    if (std::isnan(m)) {
        // A parameter that is not a number gives no number, not sin u.
        *sn_out = *cn_out = *dn_out = NAN;
        return;
    }
    const double eps = DBL_EPSILON;
    const double sqeps = sqrt(DBL_EPSILON);
    if (fabs(m) < eps) {
        *sn_out = sin(u);
        *cn_out = cos(u);
        *dn_out = 1;
        return;
    }
    if (fabs(m - 1) < eps) {
        *sn_out = tanh(u);
        *cn_out = *dn_out = 1 / cosh(u);
        return;
    }
    double k[10];
    k[0] = sqrt(m);
    double un = u;
    int n = 1;
    for (; n < 10 && k[n - 1] >= sqeps; n++) {
        double kp = sqrt(1 - k[n - 1] * k[n - 1]);
        k[n] = (1 - kp) / (1 + kp);
        un = un / (1 + k[n]);
    }
    int last = n - 1;
    if (k[last] >= sqeps)
        error_text("jacobi_elliptic: accuracy not attained.\n");
    double s = sin(un), c = cos(un), d = 1;
    for (int i = last; i >= 1; i--) {
        double t = k[i] * s * s;
        c = c * d / (1 + t);
        d = (1 - t) / (1 + t);
        s = (1 + k[i]) * s / (1 + t);
    }
    *sn_out = s;
    *cn_out = c;
    *dn_out = d;
}

static void jacobi_k(double u, double k, double *s, double *c, double *d)
{
    if (k < 0)
        fatal("sn: k < 0");
    jacobi_elliptic(u, k * k, s, c, d);
}

double sn(double u, double k)
{
    double s, c, d;
    jacobi_k(u, k, &s, &c, &d);
    return s;
}

double cn(double u, double k)
{
    double s, c, d;
    jacobi_k(u, k, &s, &c, &d);
    return c;
}

double dn(double u, double k)
{
    double s, c, d;
    jacobi_k(u, k, &s, &c, &d);
    return d;
}

double ellint(double m)
{
    const double sqeps = sqrt(DBL_EPSILON);
    if (m > 1 - DBL_EPSILON)
        error_text("ellint: modulus out of range.\n");
    double a = 1, b = sqrt(1 - m);
    for (int i = 0; i < 12 && fabs(a - b) >= sqeps; i++) {
        double an = (a + b) / 2;
        b = sqrt(a * b);
        a = an;
    }
    if (fabs(a - b) >= sqeps) {
        error_text("ellint: accuracy not attained.\n");
        return 3.141592653589793 / (a + a);
    }
    // The mean stops once |a - b| < 2^-26, where a alone is good only to
    // about |a - b| / 2 relative (1e-8 near m = 1).  One more arithmetic
    // mean is within (a - b)^2 / 16 of the limit: full double precision.
    return 3.141592653589793 / (a + b);
}

double ellint_k(double k)
{
    return ellint(k * k);
}

double arccosh(double x)
{
    if (x < 1)
        fatal("arccosh: argument < 1");
    return log(x + sqrt(x * x - 1));
}
