// The Gramians K (from A and B) and W (from A and C) of a filter: solved from
// the Lyapunov equations, integrated over frequency with the weights si and
// so, or (K only) taken at the single frequency fr.
#pragma once

#include "filter/ss.h"
#include "numeric/types.h"

// K of s: sfr != 0 gives Re(F F^H) at w = fr; else num != 0 integrates over
// frequency (on the analysis filter); else solves. The empty matrix when it
// cannot be determined: over all frequencies when s has a pole in the closed
// right half-plane (reported, naming the cause), or an entry that is not
// finite (reported).
matrix calc_k(const ss &s, int num, int sfr);
// W of s: integrated (num != 0) or solved; empty as for K.
matrix calc_w(const ss &s, int num);
// Why K and W over all frequencies do not exist for s: "the filter is not
// stable ..." (a pole in the open right half-plane) or "the filter has a pole
// on the jw axis" (real part within 1e-10 of the largest |pole|); else null.
// The poles are taken block by block from the irreducible diagonal blocks of
// A (numeric/block_eigen.h), exactly for the sections of a cascade.
const char *gramian_obstacle(const ss &s);
// True when s has its Gramians over all frequencies; otherwise false after an
// error naming the cause.
bool gramians_exist(const ss &s);
// A K + K A^T + B B^T = 0 by the Schur method; empty (after "inv3c: error")
// when the equation is singular or nearly so.
matrix k_algebraic(const ss &s);
// A^T W + W A + C^T C = 0; empty as for K.
matrix w_algebraic(const ss &s);
// Cross Gramian: A X + X A + B C = 0; empty as for K.
matrix x_algebraic(const ss &s);
// (1/pi) times the integral over w >= 0 of si(w) Re(F F^H), or so(w) Re(G^H G),
// on the analysis filter. While the integration runs `fr` holds the
// frequency; afterwards it holds its earlier definition again.
matrix k_by_integration(double epsrel, double epsabs);
matrix w_by_integration(double epsrel, double epsabs);
// Value of si (or so) with fr set to w.
double eval_si(double w);
double eval_so(double w);
// Integrands: out (n x n) filled in place.
void k_integrand(matrix &out, double w);
void w_integrand(matrix &out, double w);
