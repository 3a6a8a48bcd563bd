// Normalised lowpass approximations. Each routine gives a state-space
// record for the current filter; a record of order 0 means the routine
// reported an error and nothing is to be installed. Ripples and dampings
// are in dB; the passband edge (or reference frequency) is 1 rad/s.
#pragma once

#include "filter/ss.h"
#include "numeric/types.h"

// Chebyshev type I: ripple r dB up to 1 rad/s, unit gain at DC.
ss chebyshev(int n, double ripple);
// Maximally flat, as a doubly terminated tridiagonal ladder; unit gain at DC.
ss butterworth(int n);
// Elliptic: ripple r dB up to 1 rad/s, stopband from band_limit.
ss cauer(int n, double ripple, double band_limit);
// Bessel: maximally flat group delay, 1 s at DC.
ss bessel(int n);
// Gaussian: |H(jw)|^2 = 1 / (Taylor polynomial of order n of exp(2 w^2)).
ss gauss(int n);
// Gaussian with a Chebyshev ripple in the passband.
ss tgauss(int n, double ripple, double damping);
// Bessel with a Chebyshev ripple up to the frequency where the Bessel
// attenuation reaches damping dB.
ss bessel_chebyshev(int n, double ripple, double damping);
// Inverse Chebyshev: equiripple stopband from 1 rad/s, attenuation damping dB.
ss ic_approx(int n, double damping);
// Chebyshev poles placed directly in 2 x 2 blocks of a block-triangular A.
ss chebyshev_ladder(int n, double ripple);

// The cascade of the given poles without zeros (a root with positive
// imaginary part stands for its conjugate pair; those with negative
// imaginary part are skipped).
ss poly_to_filter(const rootlist &roots);
// x with p(x) = factor p(0), by Newton's method from x = 1.
double poly_solve_level(const poly &p, double factor);
