#include "ladder/side_drivers.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "algebra/polysys.h"
#include "algebra/spoly.h"
#include "base/error.h"
#include "ladder/ladder_drivers.h"

bool ladder_preamble(int nweights, const double *weights, const double *p, int n, double *q, double *a)
{
    if (n < 2) {
        error("ladder driver: the target has order %d; a ladder needs order 2 or more", n);
        return false;
    }
    const double lead = p[n];
    if (lead == 0.0 || !std::isfinite(lead)) {
        error("ladder driver: the leading coefficient of the target is 0 or not finite");
        return false;
    }
    for (int k = 0; k <= n; k++)
        q[k] = p[k] / lead;
    double sc = std::pow(std::fabs(q[0]), 1.0 / n);
    if (q[0] == 0.0 || !std::isfinite(q[0]) || !(sc > 0.0) || !std::isfinite(sc))
        sc = 1.0;
    double div = sc;
    for (int k = n - 1; k >= 0; k--) {
        q[k] /= div;
        div *= sc;
    }

    std::fill(a, a + n, 0.0);
    double rest = -q[n - 1];
    if (nweights > 0) {
        const int used = std::min(nweights, n - 1);
        for (int i = 0; i < used; i++) {
            a[i] = weights[i] * rest;
            rest -= a[i];
        }
    } else {
        a[0] = rest / 2;
        rest -= a[0];
    }
    a[n - 1] = rest;
    return true;
}

void ladder_by_polysys(int nweights, const double *weights, const double *p, int n)
{
    std::vector<double> q, a;
    sp_resize(&q, std::max(n + 1, 1), "ladder data");
    sp_resize(&a, std::max(n, 1), "ladder data");
    if (!ladder_preamble(nweights, weights, p, n, q.data(), a.data()))
        return;
    eq_array E = ladder_eq_array(a.data(), q.data(), n);
    polysys(E);
    free_eq_array(&E);
}
