// Brent's one-dimensional minimiser, with the parabolic step refused when the
// fitted parabola does not open upward.
#include "dynrange/minimize.h"

#include <cmath>

namespace {

const double golden = 0.381966;
const double eps_floor = 2.220446049250313e-16;

}  // namespace

int bracket_step(double *res, double a, double b, double c, double ya, double yb, double yc)
{
    double den = 2.0 * ((b - c) * ya + (c - a) * yb + (a - b) * yc);
    double det = (b - c) * a * a + (c - a) * b * b + (a - b) * c * c;
    if (den == 0.0 || det == 0.0)
        return 0;
    double num = (c * c - b * b) * ya + (a * a - c * c) * yb + (b * b - a * a) * yc;
    double v = -num / den;
    if (!std::isfinite(v))
        return 0;
    *res = v;
    // leading coefficient of the interpolating parabola
    double lead = ((b - c) * ya + (c - a) * yb + (a - b) * yc) / det;
    if (lead == 0.0)
        return 0;
    return lead > 0.0 ? -1 : 1;
}

int bracket_step2(double *res, double a, double b, double c, double ya, double yb, double yc)
{
    double q = (b - a) * (yb - yc);
    double r = (b - c) * (yb - ya);
    double det = (b - c) * a * a + (c - a) * b * b + (a - b) * c * c;
    if (q - r == 0.0 || det == 0.0)
        return 0;
    double p = (b - a) * q - (b - c) * r;
    double step = -p / (2.0 * (q - r));
    if (!std::isfinite(step))
        return 0;
    // leading coefficient of the interpolating parabola
    double lead = ((b - c) * ya + (c - a) * yb + (a - b) * yc) / det;
    if (lead == 0.0 || !std::isfinite(lead))
        return 0;
    *res = step;
    return lead > 0.0 ? -1 : 1;
}

int bracket_min(double a0, double x0, double c0, const std::function<double(double)> &f, double tol, int maxit,
                double *xmin, double *fmin)
{
    double e = 0.0, d = 0.0;
    double a = a0 < c0 ? a0 : c0;
    double b = a0 < c0 ? c0 : a0;
    if (!(tol > 0.0))
        tol = std::sqrt(eps_floor);

    double x = x0, w = x0, v = x0;
    double fx = f(x0);
    double fw = fx, fv = fx;

    for (int it = 0; it < maxit; it++) {
        double m = 0.5 * (a + b);
        double t1 = tol * std::fabs(x) + eps_floor;
        double t2 = 2.0 * t1;
        if (std::fabs(x - m) <= t2 - 0.5 * (b - a)) {
            *xmin = x;
            *fmin = fx;
            return 0;
        }
        bool parabolic = false;
        if (std::fabs(e) > t1) {
            double e_old = e;
            e = d;
            double step;
            if (bracket_step2(&step, v, x, w, fv, fx, fw) == -1 && std::fabs(step) < std::fabs(0.5 * e_old) &&
                x + step > a && x + step < b) {
                d = step;
                parabolic = true;
            }
        }
        if (!parabolic) {
            e = (x >= m) ? a - x : b - x;
            d = golden * e;
        }
        double u;
        if (std::fabs(d) > t1)
            u = x + d;
        else
            u = d >= 0.0 ? x + t1 : x - t1;
        double fu = f(u);
        if (fu <= fx) {
            if (u >= x)
                a = x;
            else
                b = x;
            v = w;
            fv = fw;
            w = x;
            fw = fx;
            x = u;
            fx = fu;
        } else {
            if (u < x)
                a = u;
            else
                b = u;
            if (fu <= fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    *xmin = x;
    *fmin = fx;
    return 1;
}
