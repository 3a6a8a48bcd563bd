// Equiripple group-delay approximation: an all-pole lowpass whose group
// delay ripples between equal extremes over 0 <= w <= 1.
//
// The poles are held in a root list closed under conjugation, entry n-1-k
// the conjugate of entry k and, for odd n, entry n/2 real. The iteration
// works on q = sqrt((p^2 + 1) / p^2) (the root with real part <= 0).
#pragma once

#include "filter/ss.h"
#include "numeric/types.h"

// The cascade of the n poles with group-delay ripple `ripple` seconds.
ss rgd_approx(int n, double ripple);
// Regular starting poles scaled to the wanted ripple.
rootlist initial_gd_poles(int n, double ripple);
// Scales the real parts of p so that the delay difference between the two
// frequencies of the starting set is `target`.
void group_delay_extremum(rootlist &p, int count, double target, int max_steps);
// Group delay of the poles at angular frequency x.
double pole_group_delay(const rootlist &p, int count, double x);
// Newton iteration on the equiripple equations, p changed in place.
// 0 when converged (then polished to the working precision); 1 otherwise
// (after the error message).
int ripple_iterate(rootlist &p, int n, double ripple);
// True when the group delay of the n poles has n extremes on 0 <= w <= 1.05
// (w = 0 among them), alternating, the maxima equal and the minima equal
// and ripple apart, each to 1e-3 of the ripple.
bool equiripple_delay(const rootlist &p, int n, double ripple);
// One Newton step in the real parameters; F is updated. The norm of F,
// or -1 when the Jacobian is singular or the step reaches transformed poles
// that the equations cannot take (q and F unchanged).
double ripple_step(rootlist &q, int count, double ripple, cmatrix &F);
// The same step in complex arithmetic; imaginary parts that are small
// against the real part are cleared.
double ripple_step_complex(rootlist &q, int count, double ripple, cmatrix &F);
// The equations F (n x 1) and their Jacobian dF_k/dq_j (n x n).
cmatrix upf(double ripple, const rootlist &q, int count);
cmatrix updf(double ripple, const rootlist &q, int count);
// The Jacobian by forward differences with the step 1e-6 in each q_k.
cmatrix updf_differences(double ripple, const rootlist &q, int count);
// Real forms: the Jacobian by the real parameters, -F, and the parameters
// x (x[k] = Re q_k, x[n-1-k] = Im q_k for k < n/2, x[n/2] = Re q_(n/2)
// for odd n) and back (restoring the symmetry).
matrix c_to_r_updf(const cmatrix &J);
matrix c_to_r_upf(const cmatrix &F);
matrix roots_to_real(const rootlist &q, int n);
void real_to_roots(const matrix &x, rootlist &q, int n);
