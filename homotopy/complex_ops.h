// Complex arithmetic of the continuation solver on (re, im) pairs of doubles.
#pragma once

// c = a b. c may be a or b.
void hom_cmul(const double *a, const double *b, double *c);
// c = z^k for an integer k (0^0 = 1, 0^k = 0 otherwise).
void hom_cpow(const int &k, const double *z, double *c);
// c = a / b guarded against overflow: a part that would overflow is set to
// the largest double and flag to 1; flag is 0 otherwise.
void hom_cdiv(const double *a, const double *b, double *c, int &flag);
