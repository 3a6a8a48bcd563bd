// The Gramians K (from A and B) and W (from A and C) of a filter: solved from
// the Lyapunov equations, integrated over frequency with the weights si and
// so, or (K only) taken at the single frequency fr.
#pragma once

#include <memory>

#include "filter/analysis.h"
#include "filter/ss.h"
#include "numeric/lyap_blocks.h"
#include "numeric/types.h"

// K of s: sfr != 0 gives Re(F F^H) at w = fr; else num != 0 integrates over
// frequency; else solves. a is the analysis data of s: the integration and
// the single frequency evaluate it, the solving reads s itself. The empty matrix when it
// cannot be determined: over all frequencies when s has a pole in the closed
// right half-plane (reported, naming the cause), or an entry that is not
// finite (reported).
matrix calc_k(analysis_ctx &a, const ss &s, int num, int sfr);
// W of s: integrated (num != 0) or solved; empty as for K.
matrix calc_w(analysis_ctx &a, const ss &s, int num);
// Why K and W over all frequencies do not exist for s: "the filter is not
// stable ..." (a pole in the open right half-plane), "the filter has a pole
// on the jw axis" (its real part 0 within the pole's own accuracy), or that
// the poles cannot be located accurately enough to tell (a defective A);
// else null. The poles are taken block by block from the irreducible
// diagonal blocks of A, each judged against its own accuracy
// (numeric/lyap_blocks.h): exactly for the sections of a cascade, and a slow
// pole beside a fast one is as stable as it is.
const char *gramian_obstacle(const ss &s);
// True when s has its Gramians over all frequencies; otherwise false after an
// error naming the cause ("..., so its Gramians over all frequencies do not
// exist", or "..., so its Gramians cannot be determined" when the poles
// cannot be located).
bool gramians_exist(const ss &s);
// A K + K A^T + B B^T = 0, solved down the irreducible blocks of A by the
// Schur method on each (numeric/lyap_blocks.h) and refined; empty (after
// "inv3c: error") when the equation is singular or nearly so.
matrix k_algebraic(const ss &s);
// A^T W + W A + C^T C = 0; empty as for K.
matrix w_algebraic(const ss &s);
// The same with the bound of the error of every entry in err (n x n): the
// solution is refined with residuals in twice the working precision
// (numeric/lyap_blocks.h); err is empty when the refinement does not
// converge, and the plain solution is returned then.
matrix k_algebraic_est(const ss &s, matrix *err);
matrix w_algebraic_est(const ss &s, matrix *err);
// Refines X, a K (k) or W of s from elsewhere (carried through a
// transformation), in place, with its error bounds in err. False, with X
// unchanged and err empty, when s has no Gramians or the refinement does
// not converge.
bool gramian_refine(const ss &s, bool k, matrix &X, matrix *err);
// Cross Gramian: A X + X A + B C = 0; empty as for K.
matrix x_algebraic(const ss &s);
// (1/pi) times the integral over w >= 0 of si(w) Re(F F^H), or so(w) Re(G^H G),
// on the filter of a. While the integration runs `fr` holds the
// frequency; afterwards it holds its earlier definition again.
matrix k_by_integration(analysis_ctx &a, double epsrel, double epsabs);
matrix w_by_integration(analysis_ctx &a, double epsrel, double epsabs);
// Value of si (or so) with fr set to w.
double eval_si(double w);
double eval_so(double w);
// Integrands: out (n x n) filled in place.
void k_integrand(analysis_ctx &a, matrix &out, double w);
void w_integrand(analysis_ctx &a, matrix &out, double w);

// How far a Gramian of the current filter can be trusted: err bounds the
// error of every entry of X while the filter's A, its B (for K) or C (for
// W), and the cached Gramian are still the ones it was made for (all
// compared entry by entry, so that a cache carried through a transformation
// is checked again).
struct gramian_accuracy {
    matrix A;
    matrix V;
    matrix X;
    matrix err;
    std::shared_ptr<const lyap_plan> plan;  // the factors of A it was solved with
};
// A figure from the Gramians is printed only when its error bound is below
// this, relative to the figure.
constexpr double gramian_figure_tol = 1e-6;
enum gramian_check {
    gram_none,       // no Gramian: the cause is reported
    gram_unsure,     // a Gramian without a usable error estimate
    gram_checked,    // the Gramian with its error bounds
    gram_unchecked,  // integrated (set: num) or taken at one frequency (set: sfr):
                     // the integrator's tolerances are its accuracy
};
// The same for a record that is not the current filter (nothing cached):
// *X solved when empty, else refined in place.
gramian_check record_gramian(const ss &s, bool k, matrix *X, matrix *err);
// K (k) or W of s on the plan p of its A, whose poles are stable: solved
// when *X is empty, else refined in place.
gramian_check gramian_on_plan(const ss &s, const lyap_plan &p, bool k, matrix *X, matrix *err);
// The plan of s.A when its Gramians over all frequencies exist; otherwise
// false after an error naming the cause.
bool plan_if_stable(const ss &s, lyap_plan *p);
// The same size and the same entries, bit for bit (not NaN).
bool same_entries(const matrix &a, const matrix &b);
// Releases what acc holds.
void forget(gramian_accuracy &acc);
// The largest error bound of an entry of X relative to the geometric mean
// of the sizes of its two diagonal entries (a bound on |X_ij| for a
// Gramian); infinite when an entry of scale 0 has an error.
double gramian_entry_error(const matrix &X, const matrix &err);
// The largest error bound of a diagonal entry of X relative to the entry;
// infinite when one is negative, or one of 0 has an error.
double gramian_diagonal_error(const matrix &X, const matrix &err);
