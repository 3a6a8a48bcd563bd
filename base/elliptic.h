// Jacobi elliptic functions and complete elliptic integrals.
#pragma once

// sn, cn and dn of argument u and parameter m = k^2 (0 <= m <= 1; otherwise
// the program ends with "jacobi_elliptic: modulus out of range").
void jacobi_elliptic(double u, double m, double *sn, double *cn, double *dn);
// The functions of argument u and modulus k >= 0 (k < 0 ends the program).
double sn(double u, double k);
double cn(double u, double k);
double dn(double u, double k);
// Complete elliptic integral of the first kind K(m), by the arithmetic-
// geometric mean; ellint_k(k) = ellint(k*k).
double ellint(double m);
double ellint_k(double k);
// log(x + sqrt(x^2 - 1)); x < 1 ends the program.
double arccosh(double x);
