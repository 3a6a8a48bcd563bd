#include "filter/capdiv.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "base/error.h"
#include "base/getvar.h"

int bad_cap_index(const double *c, int n)
{
    for (int i = 0; i < n; i++)
        if (!(c[i] > 0.0) || !std::isfinite(c[i]))
            return i;
    return -1;
}

bool caps_set(const cap_ss &filter)
{
    return filter.n > 0 && filter.cap && bad_cap_index(filter.cap, filter.n) < 0;
}

void report_caps_not_set()
{
    error("the capacitor values of this filter are not set");
}

namespace {

// The divided values become the filter's when each is a capacitance: a
// value of 0 (an integrator without noise, or a share of ctot below the
// smallest double) is none, and the division is refused.
bool take_caps(cap_ss &filter, const std::vector<double> &c)
{
    int bad = bad_cap_index(c.data(), filter.n);
    if (bad >= 0) {
        error("capacitance division impossible: integrator %d would get no capacitance", bad + 1);
        return false;
    }
    for (int i = 0; i < filter.n; i++)
        filter.cap[i] = c[i];
    return true;
}

}  // namespace

bool divide_caps(cap_ss &filter, const matrix &W, int optimal)
{
    double *v = getvar("ctot");
    if (!v)
        return true;
    double ctot = *v;
    int n = filter.n;
    if (n < 1 || !filter.cap)
        return true;
    if (!(ctot > 0.0)) {
        char text[32];
        snprintf(text, sizeof text, "%g", ctot);
        error("ctot = %s is not positive; the capacitor values stay as they were", text);
        return false;
    }
    std::vector<double> c(n);
    if (optimal == 0) {
        for (int i = 0; i < n; i++)
            c[i] = ctot / n;
        return take_caps(filter, c);
    }
    if (W.rows != n || W.cols != n) {
        error("optimal capacitance division needs the Gramian W");
        return false;
    }
    double S = 0.0;
    for (int i = 0; i < n; i++) {
        double g = std::fabs(filter.B.data[i]);
        for (int j = 0; j < n; j++)
            g += std::fabs(filter.A.data[j * n + i]);
        double t = W.data[i * n + i] * g;
        c[i] = std::sqrt(t > 0.0 ? t : 0.0);
        S += c[i];
    }
    if (!(S > 0.0) || !std::isfinite(S)) {
        error("optimal capacitance division impossible: no integrator contributes noise");
        return false;
    }
    for (int i = 0; i < n; i++)
        c[i] = ctot * c[i] / S;
    return take_caps(filter, c);
}
