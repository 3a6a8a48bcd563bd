// All isolated complex roots of a square polynomial system by tracking the
// paths of a total-degree homotopy, one after the other.
//
// Every argument goes by reference; arrays are column-major and owned by the
// caller, and the solver takes all its storage from the two work arrays.
// Equation j (0-based below) has term_count[j] terms; term k is
// coef(j,k) x_1^e(j,0,k) ... x_n^e(j,n-1,k) with coef ld x max_terms and e
// ld x (ld+1) x max_terms (slot n of the second index is written by the
// solver). The number of paths is the total degree T, the product of the
// equation degrees.
#pragma once

// Minimum lengths of the two work arrays for n equations and term capacity m.
long long hom_real_work_length(long long n, long long m);
long long hom_int_work_length(long long n, long long m);

// mode in: 0, 1 (scale by powers of ten), 10 (projective transformation)
// or 11 (both), plus 100 g for g = 1 .. 99 to take the g-th other set of
// start-system constants and projective coefficients (the paths of another
// random homotopy, to track again those that failed), plus 10000 to stop
// a path at its first point with 1 - 1e-4 <= lambda < 1 (result 8), short
// of the end game, for a caller that ends the paths itself (a path that
// steps past lambda = 1 from below ends as without); out: unchanged, or a
// refusal before anything is written:
// -1 ld < n (or n < 1), -2 max_terms below a term count (or a negative term
// count), -3 total_degree < T (or a negative exponent), -4 real work too
// short, -5 integer work too short, -6 an unknown mode.
// path_flag[k] in: -2 tracks path k, any other value skips it (its outputs
// stay as they were); out: the tracker's result, 1 for a converged path.
// Outputs per tracked path: lambda, roots (2 x (ld+1) x total_degree: re, im
// of x_1..x_n and of the homogenising coordinate), arc_length, eval_count.
// max_restarts <= 0 is replaced by 1; step_param entries <= 0 take defaults.
void hom_solve(const int &n, const int *term_count, double *coef, int *e, int &mode, int *path_flag,
               const double &track_tol, const double &end_tol, const double *step_param, int &max_restarts,
               const int &ld, const int &max_terms, const int &total_degree, const int &real_work_len,
               const int &int_work_len, double *lambda, double *roots, double *arc_length, int *eval_count,
               double *real_work, int *int_work);

// Runs the T paths on the partitioned work arrays; the tracker stops a
// path at lambda_stop (above 1: never).
void hom_driver(const int &n, const int *term_count, double *coef, int *e, const int &mode, int *path_flag,
                const double &track_tol, const double &end_tol, int &max_restarts, const int &ld, const int &m,
                double *lambda, double *roots, double *arc_length, int *eval_count, const int &T, double *q,
                double *pconst, double *r, double *v, double *c, double *y, double *yp, double *yold, double *ypold,
                double *qr, double *alpha, double *tz, double *w, double *wp, double *z0, double *z1,
                double *sspar, double *par, int *deg, int *odometer, int *pivot, int *ipar,
                const double &lambda_stop);
