// Scaling of a polynomial system by powers of ten, and the map of a path's
// end point back to affine, unscaled coordinates.
#pragma once

// Chooses a decimal exponent f_j for every equation and v_i for every
// variable so that the scaled coefficients coef(j,k) 10^(f_j + sum_i
// e(j,i,k) v_i) are as close to 1 in magnitude as possible (least squares on
// log10). coef is ld x m, e is ld x (ld+1) x m; terms with |coef| <= zero_tol
// take no part. Scratch: kept_count[n], kept_e[n x n x m], kept_coef[n x m],
// M[2n x 2n], b[2n], R[n(2n+1)], work[2n]. Out: v[n], f[n], scaled[n x m]
// (leading dimension n). With reuse != 0 the M and R of an earlier call are
// used again. fail is 1 when the least-squares problem is (nearly) singular:
// then v and f are 0 and scaled holds the given coefficients.
void hom_scale(const int &n, const int &ld, const int &m, const int *term_count, const int *e, const int &reuse,
               const double &zero_tol, const double *coef, int *kept_count, int *kept_e, double *kept_coef,
               double *M, double *b, double *R, double *work, double *v, double *f, double *scaled, int &fail);

// Householder QR of the order x order matrix M without pivoting: R packed by
// rows (row K holds R(K,K..order)), the transpose of the orthogonal factor
// left in M. flag 4 on a zero column or a zero last diagonal.
void hom_qr_factor(double *M, double *R, const int &order, int &flag);

// Solves R x = M b for the factors of hom_qr_factor; x overwrites b.
void hom_qr_solve(const double *M, const double *R, double *b, double *work, const int &order);

// x (n complex) from the projective chart to affine coordinates, and from
// scaled to given variables: x_j / x_(n+1) times 10^v_j. c holds the n + 1
// projective coefficients, scratch 2n doubles; x_(n+1) = c_(n+1) + sum c_j x_j
// comes back in xnp1.
void hom_to_affine(const int &n, const double *c, const double *v, double *scratch, double *x, double *xnp1);
