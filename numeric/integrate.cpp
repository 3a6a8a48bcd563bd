// Adaptive integration of matrix-valued functions.
#include "numeric/integrate.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/error.h"
#include "numeric/matrix.h"

namespace {

// Integrand calls that one integral may make. Ordinary tolerances need a
// tenth of this or less; tolerances that cannot be met (an absolute
// tolerance of 1e-300 on an entry whose integral is 0) would otherwise
// halve and retry for minutes. Once the calls are spent every step is
// accepted and the step doubles, so the integral ends in a few more steps,
// with a message, its tolerances not met.
constexpr long max_calls = 1000000;
long calls_left = 0;
bool spent = false;
int nesting = 0;

// Starts the budget for the outermost integral; true when it did.
bool budget_start()
{
    if (nesting++ > 0)
        return false;
    calls_left = max_calls;
    spent = false;
    return true;
}

void budget_end(bool outer)
{
    nesting--;
    if (outer && spent)
        error_text("Matrix integrate: tolerances not met within %ld evaluations.\n", max_calls);
}

matrix integrate_steps(mfunction f, int r, int c, double a, double b, double reltol, double abstol);

}  // namespace

matrix mintegrate(mfunction f, int r, int c, double a, double b, double reltol, double abstol)
{
    bool outer = budget_start();
    matrix s = integrate_steps(f, r, c, a, b, reltol, abstol);
    budget_end(outer);
    return s;
}

namespace {

matrix integrate_steps(mfunction f, int r, int c, double a, double b, double reltol, double abstol)
{
    if (r < 1 || c < 1) {
        fprintf(stderr, "Matrix integrate size error.\n");
        exit(1);
    }
    matrix s = newm(r, c);
    if (a == b)
        return s;
    bool swapped = b < a;
    double t = swapped ? b : a;
    double end = swapped ? a : b;
    double len = end - t;
    double h = len;
    if (reltol <= 0)
        reltol = 1e-6;
    if (abstol <= 0)
        abstol = 1e-6;
    const double floor = std::sqrt(DBL_EPSILON);
    // The smallest step whatever t is: halving stops here even at t = 0.
    const double hmin_abs = len * DBL_EPSILON * 64;
    // After a step that met neither tolerance at the smallest step, the
    // smallest step grows, so an integrand that never settles (or is not a
    // number) is crossed in a few dozen steps instead of creeping along.
    double hmin_forced = 0.0;

    const std::size_t n = static_cast<std::size_t>(r) * static_cast<std::size_t>(c);
    matrix fm[5];
    for (auto &m : fm)
        m = newm(r, c);

    bool last = false;
    while (!last) {
        bool retried = false;
        double t4 = t, hstep = h;
        for (;;) {
            last = t + h >= end;
            if (last)
                h = end - t;
            double q = h / 4;
            double tp = t;
            for (int k = 0; k < 5; k++) {
                if (k > 0)
                    tp += q;
                f(fm[k], tp);
            }
            calls_left -= 5;
            if (calls_left <= 0)
                spent = true;
            t4 = tp;
            double maxabs = 0.0, maxrel = 0.0;
            for (std::size_t k = 0; k < n; k++) {
                double f0 = fm[0].data[k], f1 = fm[1].data[k], f2 = fm[2].data[k], f3 = fm[3].data[k],
                       f4 = fm[4].data[k];
                double s1 = h * (f0 + 4 * f2 + f4) / 6;
                double s2 = h * (f0 + 4 * f1 + 2 * f2 + 4 * f3 + f4) / 12;
                double err = std::fabs(s1 - s2);
                double rel = s2 == 0 ? 1.0 : err / std::fabs(s2);
                // Comparisons with a NaN are false, so an entry that is not a
                // number does not count here.
                if (err > maxabs)
                    maxabs = err;
                if (rel > maxrel)
                    maxrel = rel;
            }
            double bound = std::fabs(h / len) * abstol;
            hstep = h;
            if (spent) {
                if (!last)
                    h *= 2;
                break;
            }
            if (maxrel > reltol && maxabs > bound) {
                double hmin = floor * std::fabs(t);
                if (hmin < hmin_abs)
                    hmin = hmin_abs;
                if (hmin < hmin_forced)
                    hmin = hmin_forced;
                if (h > hmin) {
                    h /= 2;
                    retried = true;
                    continue;
                }
                // Accepted although the tolerances are not met.
                h *= 2;
                hmin_forced = h;
                break;
            }
            hmin_forced = 0.0;
            if (!retried && !last && (maxrel < reltol / 64 || maxabs < bound / 64))
                h *= 2;
            break;
        }
        // The five-point estimate of the accepted step.
        for (std::size_t k = 0; k < n; k++) {
            double f0 = fm[0].data[k], f1 = fm[1].data[k], f2 = fm[2].data[k], f3 = fm[3].data[k],
                   f4 = fm[4].data[k];
            s.data[k] += hstep * (f0 + 4 * f1 + 2 * f2 + 4 * f3 + f4) / 12;
        }
        t = t4;
    }

    if (swapped)
        for (std::size_t k = 0; k < n; k++)
            s.data[k] = -s.data[k];
    for (auto &m : fm)
        freem(&m);
    return s;
}

}  // namespace

matrix mintegrate_inf(mfunction f, int r, int c, double reltol, double abstol)
{
    if (abstol <= 0)
        abstol = std::sqrt(DBL_MIN);
    const double limit = std::sqrt(DBL_MAX);
    bool outer = budget_start();
    matrix s = integrate_steps(f, r, c, 0, 10, reltol, abstol);
    if (reltol <= 0)
        reltol = 1e-6;
    const std::size_t n = static_cast<std::size_t>(r) * static_cast<std::size_t>(c);
    double lo = 10, hi = 100;
    for (;;) {
        matrix d = integrate_steps(f, r, c, lo, hi, reltol, abstol);
        double maxrel = 0.0, maxabs = 0.0;
        for (std::size_t k = 0; k < n; k++) {
            s.data[k] += d.data[k];
            double rel = std::fabs(d.data[k] / s.data[k]);
            double ab = std::fabs(d.data[k]);
            if (rel > maxrel)
                maxrel = rel;
            if (ab > maxabs)
                maxabs = ab;
        }
        freem(&d);
        lo = hi;
        hi = 10 * hi;
        if ((maxrel <= reltol && maxabs <= abstol) || !(hi < limit) || spent)
            break;
    }
    budget_end(outer);
    return s;
}
