#include "filter/capdiv.h"

#include <cmath>
#include <vector>

#include "base/error.h"
#include "base/getvar.h"

void divide_caps(cap_ss &filter, const matrix &W, int optimal)
{
    double *v = getvar("ctot");
    if (!v)
        return;
    double ctot = *v;
    int n = filter.n;
    if (n < 1 || !filter.cap)
        return;
    if (optimal == 0) {
        for (int i = 0; i < n; i++)
            filter.cap[i] = ctot / n;
        return;
    }
    if (W.rows != n || W.cols != n) {
        error("optimal capacitance division needs the Gramian W");
        return;
    }
    std::vector<double> c(n);
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
        return;
    }
    for (int i = 0; i < n; i++)
        filter.cap[i] = ctot * c[i] / S;
}
