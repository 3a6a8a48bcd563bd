// Frequency responses of the filter of an analysis context (filter/analysis.h)
// on s = jw, w in rad/s: H, the F_i (input to integrator output i), the G_i (integrator
// input i to output), their derivatives and group delays, sensitivities and
// the dynamic-range figures of the frequency table.
//
// The values are computed by solving (jwI - A) x = b in complex arithmetic,
// not from the polynomials: with the Hessenberg form of A that the analysis
// data holds, one O(n^2) factorisation per frequency, which every response
// asked for at the same frequency shares. At a frequency exactly at a pole
// the resolvent does not exist: the values are infinite and the caller goes
// on.
#pragma once

#include <vector>

#include "filter/analysis.h"
#include "filter/ss.h"
#include "numeric/types.h"

// det(jwI - A).
complex den_jw(analysis_ctx &a, double w);

// A similarity view of the context's record: while one is set, F, G and their
// derivatives (f_jw, df_jw, g_jw, dg_jw, f_elem_jw, df_elem_jw, f_sq_at)
// are those of the record (T^-1 A T, T^-1 B, C T, D), found from the
// analysis copy's own as F = T^-1 F0 and G = G0 T without a factorisation
// of their own. H, dH/dw, the group delay of H and det(jwI - A) are the
// same for both records. Every other evaluator stays that of the analysis
// copy. The searches over similarity transformations cost each candidate
// this way; preparing the context's data drops the view.
void set_similarity_view(analysis_ctx &a, matrix T, matrix Ti);
void clear_similarity_view(analysis_ctx &a);

// F_k(jw) and dF_k/dw alone (infinite at a pole).
complex f_elem_jw(analysis_ctx &a, double w, int k);
complex df_elem_jw(analysis_ctx &a, double w, int k);
// |F_i(jw_j)|^2 of every integrator at every frequency of w, into
// sq[j * n + i] (infinite at a pole). The F of the analysis copy at the
// last few sets of frequencies are kept, so that a peak search that comes
// back with the same grid and walk (the candidates of a search under a
// similarity view) pays O(n^2) a frequency and no factorisation.
void f_sq_at(analysis_ctx &a, const std::vector<double> &w, std::vector<double> &sq);
// adj(jwI - A), n x n.
cmatrix adj_jw(analysis_ctx &a, double w);
// R(w) = (jwI - A)^-1, n x n.
cmatrix resolvent_jw(analysis_ctx &a, double w);
// dR/dw = -j R(w)^2.
cmatrix resolvent2_jw(analysis_ctx &a, double w);
// H(jw) = C R B + D, and dH/dw.
complex h_jw(analysis_ctx &a, double w);
complex dh_jw(analysis_ctx &a, double w);
// Group delay of H: -d(arg H)/dw.
double delay_h(analysis_ctx &a, double w);
// F = R B (n x 1) and dF/dw.
cmatrix f_jw(analysis_ctx &a, double w);
cmatrix df_jw(analysis_ctx &a, double w);
// Group delay of each F_i (1 x n), F from f_jw at the same w.
matrix delay_f(analysis_ctx &a, double w, const cmatrix &F);
// G = C R (1 x n) and dG/dw.
cmatrix g_jw(analysis_ctx &a, double w);
cmatrix dg_jw(analysis_ctx &a, double w);
// Group delay of each G_i (1 x n), G from g_jw at the same w.
matrix delay_g(analysis_ctx &a, double w, const cmatrix &G);
// Group delay of a value z with derivative dz = dz/dw:
// (Im z Re dz - Re z Im dz) / |z|^2, which is -Im(dz / z), taken so where
// |z|^2 would overflow or underflow.
double group_delay(complex z, complex dz);
// |z| and 10 log10 |z|^2 without forming a square that overflows or
// underflows (where the square is a normal double, the plain formulas).
double cmod_scaled(complex z);
double cdb_scaled(complex z);

// Sensitivity measures. The A term sums |G_i|^2 |F_j|^2 (dH/dA_ij = G_i F_j),
// weighted by A_ij^2 in sens and relsens; mode 1 adds the B and C terms.
// sens = sqrt(S), relsens = sqrt(S / |H|^2), abssens = sqrt(S) unweighted.
// These and the dynamic-range figures below are computed from the moduli
// where their squares would overflow or underflow, so that a figure that
// is a finite double comes out finite (infinite or NaN only at a pole, or
// where the figure itself is beyond the range of doubles).
double relsens_jw(analysis_ctx &a, double w, int mode);
double sens_jw(analysis_ctx &a, double w, int mode);
double abssens_jw(analysis_ctx &a, double w, int mode);

// Drop factor n |H|^2 / (sum sqrt(l_k))^2, l_k the eigenvalues of
// Re(X X^H), X = T1^-1 F, T1 = w_to_identity(W) kept from the last call with
// renew != 0 (or the first call).
double dropfact(analysis_ctx &a, double w, const matrix &W, double eps, int renew);
// |H|^2 / max_i |F_i|^2 / trace(W).
double drfact_jw(analysis_ctx &a, double w, const matrix &W);
// |H|^2 / sum_i |F_i|^2 W_ii.
double drscfact_jw(analysis_ctx &a, double w, const matrix &W);
// |H|^2 umax^2 / max_i |F_i|^2 / noise, noise the total output noise of the
// filter with W (noise_total, filter/report.h); W gives the order it needs.
double dr_jw(analysis_ctx &a, double w, double noise, const matrix &W, double umax);
// T1 = V D^-1/2 from W = V D V^T, so that T1^T W T1 = I.
matrix w_to_identity(const matrix &W);

// Element forms over the adjugate polynomials.
complex nmat_elem_jw(analysis_ctx &a, double w, int i, int j);   // adj(jwI - A)(i, j)
complex c_adj_jw(analysis_ctx &a, double w, int j);              // (C adj(jwI - A))_j
complex adj_b_jw(analysis_ctx &a, double w, int i);              // (adj(jwI - A) B)_i
// Re[(C adj(jw))_a (adj(jw) B)_b (C adj(-jw))_c (adj(-jw) B)_d] / |den(jw)|^4
// with a, b, c, d = tst.h_sq_sel[0..3].
double h_sq_integrand(analysis_ctx &a, double w);

// Program-wide state of the evaluators.
struct transfer_state {
    matrix dropfact_T1;     // transformation held by dropfact
    matrix dropfact_T1inv;
    int h_sq_sel[4] = {0, 0, 0, 0};
};
extern transfer_state tst;
