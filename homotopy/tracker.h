// The path tracker: follows one zero curve of the homotopy from lambda = 0
// to lambda = 1 by arc length with predictor-corrector steps and step-size
// control, and ends it with the end game.
#pragma once

// Tracks the curve through y = (lambda, x) (N + 1 reals). flag -2 starts a
// path of the polynomial homotopy (-1 and 0 the fixed-point homotopies, with
// the start point as the parameter vector); a return of 2 (tolerances were
// raised) or 3 (step limit used up) may be continued by calling again with
// that flag. Results: 1 converged at lambda = 1, 2, 3 as above, 4 singular
// Jacobian, 5 lambda below 0, 6 corrector or end game failed, 7 invalid
// input (8: see hom_track_entry1_until). trace > 0 writes a record of every
// step to the report stream.
// Entry 1 also turns the tangent back when lambda starts to decrease.
void hom_track_entry1(const int &N, double *y, int &flag, double &arcre, double &arcae, double &ansre,
                      double &ansae, const int &trace, double *p, int &nfe, double &arclen, double *yp,
                      double *yold, double *ypold, double *qr, double *alpha, double *tz, int *pivot, double *w,
                      double *wp, double *z0, double *z1, double *sspar, double *par, int *ipar);
// Entry 1 that ends the path with flag 8, short of the end game, at the
// first point with lambda_stop <= lambda < 1, for a caller that ends the
// paths itself (where many paths meet at a singular end, the steps to it
// cost more than all the path before).
void hom_track_entry1_until(const double &lambda_stop, const int &N, double *y, int &flag, double &arcre,
                            double &arcae, double &ansre, double &ansae, const int &trace, double *p, int &nfe,
                            double &arclen, double *yp, double *yold, double *ypold, double *qr, double *alpha,
                            double *tz, int *pivot, double *w, double *wp, double *z0, double *z1, double *sspar,
                            double *par, int *ipar);
void hom_track_entry0(const int &N, double *y, int &flag, double &arcre, double &arcae, double &ansre,
                      double &ansae, const int &trace, double *p, int &nfe, double &arclen, double *yp,
                      double *yold, double *ypold, double *qr, double *alpha, double *tz, int *pivot, double *w,
                      double *wp, double *z0, double *z1, double *sspar, double *par, int *ipar);

// One predictor-corrector step along the curve.
void hom_step(const int &N, int &nfe, int &flag, int &start, int &crash, double &hold, double &h, double &relerr,
              double &abserr, double &s, double *y, double *yp, double *yold, double *ypold, const double *p,
              double *qr, double *alpha, double *tz, int *pivot, double *w, double *wp, double *z0, double *z1,
              const double *sspar, double *par, int *ipar);

// Unit tangent at y oriented like ypold (into yp) and the minimum-norm
// Newton step (into tz), by Householder QR with column pivoting of the
// Jacobian. A negative rholen receives |H(y)|. flag 4 when the Jacobian has
// lost rank.
void hom_tangent(double &rholen, const double *y, double *yp, const double *ypold, const double *p, double *qr,
                 double *alpha, double *tz, int *pivot, int &nfe, const int &N, int &flag, double *par, int *ipar);

// The map f and its Jacobian column K of the fixed-point homotopies (tangent
// flags 0 and -1). The system defines no such map: both give zeros.
void hom_fixed_point_map(const double *x, double *v, double *par, int *ipar);
void hom_fixed_point_jacobian(const double *x, double *v, const int &K, double *par, int *ipar);
