// The bias level of an integrator at one frequency: the current it drives
// into the capacitors it feeds, per unit input signal.
#include "filter/bias_level.h"

#include <cmath>

#include "filter/transfer.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/matrix.h"

namespace {

// S_j = sum over i of |A_ij| c_i: the capacitance that integrator j drives
// through the couplings of column j of A.
double coupled_cap(const cap_ss &f, int j)
{
    double s = 0.0;
    for (int i = 0; i < f.n; i++)
        s += std::fabs(elem(f.A, i, j)) * f.cap[i];
    return s;
}

}  // namespace

// |F_j(jw)|^2 (S_j^2 + w^2 c_j^2), the square of the bias level.
double bias_level_sq(analysis_ctx &a, const cap_ss &f, double w, int j)
{
    if (j < 0 || j >= f.n || !f.cap || j >= a.ana_ss.n)
        return 0.0;
    cmatrix F = f_jw(a, w);
    double fj2 = cmod2(celem(F, j, 0));
    cfreem(&F);
    double s = coupled_cap(f, j);
    double c = f.cap[j];
    return fj2 * (s * s + c * c * w * w);
}

double bias_level(analysis_ctx &a, const cap_ss &f, double w, int j)
{
    return std::sqrt(bias_level_sq(a, f, w, j));
}

