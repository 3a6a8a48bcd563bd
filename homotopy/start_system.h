// The start system of total degree with its known roots, and the per-solve
// preparation of the homotopy.
#pragma once

// Degrees d_j, the homogenising exponents (slot n+1 of e, written), the
// optional scaling (mode 1, 11: coef rewritten when it succeeds, variable
// exponents into v), the projective coefficients c (modes 10, 11) and the
// start-system data q_j = s_j^d_j, p_j = t_j^d_j, r_j = t_j / s_j. The
// hundreds of mode (g) select the constants: g = 0 the fixed table, g > 0
// the table turned by angles drawn from g, the same for the same g. par and
// ipar are scratch of the evaluation-block lengths.
void hom_init(const int &mode, const int &n, const int *term_count, int *e, double *coef, const int &ld,
              const int &m, double *par, int *ipar, int *deg, double *v, double *c, double *q, double *p, double *r);

// Advances the odometer (first index fastest) and writes its start root
// x_j = r_j exp(2 pi i k_j / d_j) into x (n complex).
void hom_start_point(const int &n, int *odometer, const int *deg, const double *r, double *x);
// Advances the odometer only (a path that is skipped).
void hom_odometer_advance(const int &n, int *odometer, const int *deg);
