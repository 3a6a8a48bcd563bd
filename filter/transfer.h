// Frequency responses of the analysis filter (fst.ana_ss) on s = jw, w in
// rad/s: H, the F_i (input to integrator output i), the G_i (integrator
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

#include "filter/ss.h"
#include "numeric/types.h"

// det(jwI - A).
complex den_jw(double w);
// adj(jwI - A), n x n.
cmatrix adj_jw(double w);
// R(w) = (jwI - A)^-1, n x n.
cmatrix resolvent_jw(double w);
// dR/dw = -j R(w)^2.
cmatrix resolvent2_jw(double w);
// H(jw) = C R B + D, and dH/dw.
complex h_jw(double w);
complex dh_jw(double w);
// Group delay of H: -d(arg H)/dw.
double delay_h(double w);
// F = R B (n x 1) and dF/dw.
cmatrix f_jw(double w);
cmatrix df_jw(double w);
// Group delay of each F_i (1 x n), F from f_jw at the same w.
matrix delay_f(double w, cmatrix F);
// G = C R (1 x n) and dG/dw.
cmatrix g_jw(double w);
cmatrix dg_jw(double w);
// Group delay of each G_i (1 x n), G from g_jw at the same w.
matrix delay_g(double w, cmatrix G);
// Group delay of a value z with derivative dz = dz/dw:
// (Im z Re dz - Re z Im dz) / |z|^2.
double group_delay(complex z, complex dz);

// Sensitivity measures. The A term sums |G_i|^2 |F_j|^2 (dH/dA_ij = G_i F_j),
// weighted by A_ij^2 in sens and relsens; mode 1 adds the B and C terms.
// sens = sqrt(S), relsens = sqrt(S / |H|^2), abssens = sqrt(S) unweighted.
double relsens_jw(double w, int mode);
double sens_jw(double w, int mode);
double abssens_jw(double w, int mode);

// Drop factor n |H|^2 / (sum sqrt(l_k))^2, l_k the eigenvalues of
// Re(X X^H), X = T1^-1 F, T1 = w_to_identity(W) kept from the last call with
// renew != 0 (or the first call).
double dropfact(double w, matrix W, double eps, int renew);
// |H|^2 / max_i |F_i|^2 / trace(W).
double drfact_jw(double w, matrix W);
// |H|^2 / sum_i |F_i|^2 W_ii.
double drscfact_jw(double w, matrix W);
// |H|^2 umax^2 / max_i |F_i|^2 / total output noise of filter with W.
double dr_jw(double w, const cap_ss &filter, matrix W, double umax);
// T1 = V D^-1/2 from W = V D V^T, so that T1^T W T1 = I.
matrix w_to_identity(matrix W);

// Element forms over the adjugate polynomials.
complex nmat_elem_jw(double w, int i, int j);   // adj(jwI - A)(i, j)
complex c_adj_jw(double w, int j);              // (C adj(jwI - A))_j
complex adj_b_jw(double w, int i);              // (adj(jwI - A) B)_i
// Re[(C adj(jw))_a (adj(jw) B)_b (C adj(-jw))_c (adj(-jw) B)_d] / |den(jw)|^4
// with a, b, c, d = tst.h_sq_sel[0..3].
double h_sq_integrand(double w);

// Program-wide state of the evaluators.
struct transfer_state {
    matrix dropfact_T1;     // transformation held by dropfact
    matrix dropfact_T1inv;
    int h_sq_sel[4] = {0, 0, 0, 0};
};
extern transfer_state tst;
