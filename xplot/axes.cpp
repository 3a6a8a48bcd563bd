// Axis rounding, data ranges and the mapping between values and pixels of
// the plot window. Nothing here talks to the display.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "base/error.h"
#include "xplot/xplot.h"

namespace {

// Bounds beyond this magnitude are clamped before rounding, so that the
// steps and the rounded bounds stay finite.
constexpr double big_bound = 1e300;
// Steps are never smaller than this, so that the decimal scale stays a
// normal double.
constexpr double tiny_step = 1e-280;

double clamp_bound(double v)
{
    if (std::isnan(v))
        return 0.0;
    return std::clamp(v, -big_bound, big_bound);
}

}  // namespace

double tevo_xplot_adjust_steps(double *max, double *min, int n, int *mant)
{
    if (n < 1)
        n = 1;
    double hi_v = clamp_bound(*max);
    double lo_v = clamp_bound(*min);
    double raw = std::fabs(hi_v - lo_v) / n;
    // A range that vanishes against the values themselves (a constant curve,
    // all zeros) gets a step of 0.1.
    if (raw == 0.0 || std::fabs(raw / (hi_v + lo_v)) < DBL_EPSILON)
        raw = 0.1;
    // A step of 0.1 is lost in the rounding of large values: take a tenth of
    // their magnitude instead.
    double mag = std::max(std::fabs(hi_v), std::fabs(lo_v));
    if (raw <= 4 * DBL_EPSILON * mag)
        raw = 0.1 * mag;
    if (raw < tiny_step)
        raw = tiny_step;

    double f = 1.0;
    while (raw >= 10) {
        raw /= 10;
        f *= 10;
    }
    while (raw <= 1) {
        raw *= 10;
        f /= 10;
    }
    int m = static_cast<int>(raw);
    if (m >= 3 && m <= 5)
        m = 5;
    else if (m > 5)
        m = 10;
    *mant = m;

    // Whole multiples of the step, counted in doubles so that no bound can
    // overflow an integer.
    double lo = std::trunc(lo_v / f);
    double hi = std::trunc(hi_v / f);
    lo = std::trunc(lo / m) * m;
    hi = std::trunc(hi / m) * m;
    if (lo_v < 0)
        lo -= m;
    if (hi * f < hi_v)
        hi += m;
    if (hi == lo)
        hi += m;
    *min = lo * f;
    *max = hi * f;
    return m * f;
}

int tevo_xplot_adjust_steps_log(double *max, double *min, int n)
{
    if (n < 1)
        n = 1;
    if (*max <= 0 || *min <= 0) {
        // The error routines know no %g: the numbers are formatted here.
        char msg[120];
        snprintf(msg, sizeof msg,
                 "tevo_xplot_adjust_steps_log: negative number in logarithmic range: %g, %g", *min,
                 *max);
        fatal("%s", msg);
    }
    // Keep the ratio of the bounds finite.
    double a = std::isnan(*max) ? 1.0 : std::clamp(*max, 1e-150, 1e150);
    double b = std::isnan(*min) ? 1.0 : std::clamp(*min, 1e-150, 1e150);
    double hi = std::max(a, b);
    double lo = std::min(a, b);

    double r = std::pow(hi / lo, 1.0 / n);
    long long k = 1;
    // The factor stays an int: labels at most every 10^9-fold.
    while (r >= 10 && k < 1000000000) {
        r /= 10;
        k *= 10;
    }
    if (k == 1)
        k = 10;

    double dmin = 1;
    while (lo >= 9.9999) {
        lo /= 10;
        dmin *= 10;
    }
    while (lo < 0.99999) {
        lo *= 10;
        dmin /= 10;
    }
    double dmax = 10;
    while (hi > 10.00001) {
        hi /= 10;
        dmax *= 10;
    }
    while (hi <= 1.000001) {
        hi *= 10;
        dmax /= 10;
    }
    // Equal bounds on a decade would leave an empty range: show that decade.
    if (dmax <= dmin)
        dmax = dmin * 10;
    *min = dmin;
    *max = dmax;
    return static_cast<int>(k);
}

int plot_round(double v)
{
    if (v >= 2147483646.0)
        return 2147483647;
    if (v <= -2147483647.0)
        return -2147483647 - 1;
    if (std::isnan(v))
        return 0;
    if (v >= 0)
        return static_cast<int>(v + 0.5);
    return static_cast<int>(v - 0.5);
}

void plot_data_range(plot_state *s)
{
    bool log_x = s->xscale == 'l';
    bool have_x = false, have_y = false;
    double xlo = 0, xhi = 0, ylo = 0, yhi = 0;
    for (int k = 0; k < s->npoints && s->x; k++) {
        double x = s->x[k];
        // Values that cannot be placed are skipped: non-finite ones, and
        // those at or below zero on a logarithmic axis.
        if (!std::isfinite(x) || (log_x && x <= 0))
            continue;
        if (!have_x) {
            xlo = xhi = x;
            have_x = true;
        }
        else if (x < xlo)
            xlo = x;
        else if (x > xhi)
            xhi = x;
    }
    for (int j = 0; j < s->ncurves && s->y; j++)
        for (int k = 0; k < s->npoints; k++) {
            double y = s->y[j][k];
            if (!std::isfinite(y))
                continue;
            if (!have_y) {
                ylo = yhi = y;
                have_y = true;
            }
            else if (y < ylo)
                ylo = y;
            else if (y > yhi)
                yhi = y;
        }
    if (!have_x) {
        xlo = log_x ? 1.0 : 0.0;
        xhi = log_x ? 10.0 : 1.0;
    }
    if (!have_y) {
        ylo = 0.0;
        yhi = 1.0;
    }
    s->x_lo = xlo;
    s->x_hi = xhi;
    s->y_lo = ylo;
    s->y_hi = yhi;
}

double plot_x_offset(const plot_state *s, double x)
{
    if (s->xscale == 'l')
        return s->plot_w * std::log(x / s->x_lo_shown) / std::log(s->x_hi_shown / s->x_lo_shown);
    return s->plot_w * (x - s->x_lo_shown) / (s->x_hi_shown - s->x_lo_shown);
}

double plot_y_offset(const plot_state *s, double y)
{
    return s->plot_h * (y - s->y_lo_shown) / (s->y_hi_shown - s->y_lo_shown);
}

double plot_x_value(const plot_state *s, double px)
{
    double t = (px - s->x0) / s->plot_w;
    if (s->xscale == 'l')
        return s->x_lo_shown * std::pow(s->x_hi_shown / s->x_lo_shown, t);
    return t * (s->x_hi_shown - s->x_lo_shown) + s->x_lo_shown;
}

bool plot_zoom(plot_state *s, int px1, int py1, int px2, int py2)
{
    if (s->plot_w <= 0 || s->plot_h <= 0)
        return false;
    double left = s->x0, right = s->x0 + s->plot_w;
    double top = s->y0, bottom = s->y0 + s->plot_h;
    double x1 = std::clamp<double>(std::min(px1, px2), left, right);
    double x2 = std::clamp<double>(std::max(px1, px2), left, right);
    double y1 = std::clamp<double>(std::min(py1, py2), top, bottom);
    double y2 = std::clamp<double>(std::max(py1, py2), top, bottom);
    if (x2 - x1 < 2 || y2 - y1 < 2)
        return false;
    double xl = plot_x_value(s, x1);
    double xh = plot_x_value(s, x2);
    double yspan = s->y_hi_shown - s->y_lo_shown;
    double yl = s->y_hi_shown - (y2 - s->y0) / s->plot_h * yspan;
    double yh = s->y_hi_shown - (y1 - s->y0) / s->plot_h * yspan;
    if (!std::isfinite(xl) || !std::isfinite(xh) || !std::isfinite(yl) || !std::isfinite(yh))
        return false;
    s->x_lo = xl;
    s->x_hi = xh;
    s->y_lo = yl;
    s->y_hi = yh;
    return true;
}

XRectangle rubber_rect(int x1, int y1, int x2, int y2)
{
    XRectangle r;
    r.x = static_cast<short>(std::clamp(std::min(x1, x2), -32768, 32767));
    r.y = static_cast<short>(std::clamp(std::min(y1, y2), -32768, 32767));
    r.width = static_cast<unsigned short>(std::min(std::abs(x1 - x2), 65535));
    r.height = static_cast<unsigned short>(std::min(std::abs(y1 - y2), 65535));
    return r;
}

bool clip_segment(double *xa, double *ya, double *xb, double *yb, double xmin, double ymin,
                  double xmax, double ymax)
{
    // Liang-Barsky: the segment is xa + t dx, ya + t dy for t in [0, 1].
    double dx = *xb - *xa, dy = *yb - *ya;
    double t0 = 0.0, t1 = 1.0;
    double p[4] = {-dx, dx, -dy, dy};
    double q[4] = {*xa - xmin, xmax - *xa, *ya - ymin, ymax - *ya};
    for (int i = 0; i < 4; i++) {
        if (!std::isfinite(p[i]) || !std::isfinite(q[i]))
            return false;
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0) {
            if (t > t1)
                return false;
            if (t > t0)
                t0 = t;
        }
        else {
            if (t < t0)
                return false;
            if (t < t1)
                t1 = t;
        }
    }
    double x0 = *xa, y0 = *ya;
    if (t1 < 1.0) {
        *xb = x0 + t1 * dx;
        *yb = y0 + t1 * dy;
    }
    if (t0 > 0.0) {
        *xa = x0 + t0 * dx;
        *ya = y0 + t0 * dy;
    }
    return true;
}
