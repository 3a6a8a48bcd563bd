// The one current filter with its capacitor values, the cached Gramians and
// the analysis data that the frequency and time evaluators work on.
#pragma once

#include <vector>

#include "filter/gramian.h"
#include "filter/ss.h"
#include "numeric/types.h"

// The switches of `set:` (optc_flag, num_flag, sfr_flag, evalc_flag, ...)
// live in `ist` (base/globals.h).

struct filter_state {
    cap_ss cur_filter;   // the current filter; order 0 at start
    matrix cur_K;        // cached Gramian K of cur_filter; cached when it has columns
    matrix cur_W;        // cached Gramian W; cached when it has columns
    // The error bounds of cur_K and cur_W and what they were made for
    // (filter/gramian.h): the figures printed from the Gramians read them.
    gramian_accuracy acc_K, acc_W;
    int input_error = 0; // 1 while the filter being entered by `input:` is invalid

    // Analysis data, prepared from the record last handed to analysis_prep
    // (normally the current filter). ana_ss shares that record's matrices.
    ss ana_ss;
    // The adjugate data below (nmat .. ana_num) cost n^4 to prepare and n^3
    // to hold: above nmat_eager_order they are prepared on demand, by
    // nmat_ready, while nmat_pending is 1.
    int nmat_pending = 0;
    std::vector<matrix> nmat;     // adjugate coefficients N_0 .. N_(n-1) of sI - A
    std::vector<double> ana_coef; // trace coefficients c_1 .. c_n (element 0 stays 0)
    poly ana_den;                 // det(sI - A), monic, degree n
    poly ana_cadjb;               // C adj(sI - A) B, degree n-1
    poly ana_num;                 // numerator of H = ana_num / ana_den (trimmed)
    // A of ana_ss reduced to upper Hessenberg form by an orthogonal
    // similarity, A = Q Hs Q^T (or A^T = Q Hs Q^T when hess_transposed), with
    // B and C taken into the same basis. The frequency evaluators solve with
    // jwI - Hs, O(n^2) per frequency. An A that is upper or lower Hessenberg
    // already (a ladder, a cascade of sections) is kept as it is (Q = I), so
    // that the elimination keeps its zeros.
    matrix hess_A;   // Hs, n x n, zero below the subdiagonal
    matrix hess_Q;   // Q, n x n orthogonal
    matrix hess_B;   // Q^T B, n x 1
    matrix hess_C;   // C Q, 1 x n
    int hess_plain = 0;       // 1: Q is the identity
    int hess_transposed = 0;  // 1: Hs is the form of A^T
    int hess_sparse = 0;      // 1: A has zero couplings that Q mixes away
    // States that the input reaches through no chain of couplings of A
    // (F_i = 0 at every frequency), and states from which no chain leads to
    // the output (G_i = 0): 1 for such a state.
    std::vector<char> ana_unreached, ana_unobserved;
    // Counts every preparation and release of the adjugate data and the
    // Hessenberg form: values that the evaluators keep for the frequency
    // they were last asked about belong to one count.
    unsigned ana_generation = 0;

    // Eigen cache of A of ana_ss: A = V diag(l) V^-1.
    cmatrix expat_eigval;  // n x n diagonal of the eigenvalues
    cmatrix expat_V;       // eigenvectors, column k for eigenvalue k
    cmatrix expat_Vinv;    // V^-1 (empty when V is singular)
    // The eigenvectors folded with B and C, for time responses in O(n) (H)
    // and O(n^2) (F, G) per point; made with the eigen cache.
    cmatrix expat_CV;      // C V, 1 x n
    cmatrix expat_ViB;     // V^-1 B, n x 1 (empty with expat_Vinv)
    cmatrix expat_CViB;    // (C V)_k (V^-1 B)_k, n x 1: the residues of H
    int expat_defective = 0;  // 1: V is singular or badly conditioned, so the
                              // time responses use the matrix exponential
    unsigned expat_generation = 0;  // counts the preparations of the eigen cache
};
extern filter_state fst;

// Start state: no filter, no capacitor array, K and W empty.
void filter_start();
// 1 when a filter is defined; otherwise the error "no filter defined" and 0.
int filter_defined();
// The `order = n` item of `input:`.
void set_order(int n);
// The largest order of a filter. The solved Gramians cost about n^3 and the
// adjugate data, when asked for, n^4 (a second at this order), so larger
// orders, which no filter design needs, are refused before any work.
constexpr int max_filter_order = 200;
// True when 1 <= n <= max_filter_order (an order below 1 is left to the
// caller's own message); otherwise "order %d is too large (at most %d)".
bool order_allowed(int n);
// Makes s the current filter (its matrices pass over), zeroed capacitor
// values, fresh analysis data, K and W dropped. Order 0: nothing happens.
// An order above max_filter_order is refused (s is freed).
void install_filter(ss s);
// Makes s the current filter in place of the old record, as a transform of
// it: the capacitor array and the cached K and W stay (the caller carries
// them over), and the analysis data are taken as they are, prepared for s
// already (transformed_realises, filter/transform_check.h, leaves them so).
void take_realisation(ss s);
// Releases the current filter, its capacitor values and the cached K and W.
void free_filter();

// Drop the cached Gramians (freed, left empty).
void drop_k();
void drop_w();
// Compute the Gramian of the current filter with the switches of `set:`
// (num_flag, sfr_flag) when it is not cached. An undetermined Gramian stays
// empty.
void ensure_k();
void ensure_w();

// nmat_prep then expat_prep.
void analysis_prep(ss s);
// The Hessenberg form and the reached states of s, and (up to
// nmat_eager_order, else on demand) the adjugate coefficients, trace
// coefficients and polynomials; ana_ss := s.
void nmat_prep(ss s);
// Orders up to this have their adjugate data prepared with the rest (a
// fraction of a millisecond); above it, where the n^4 preparation takes
// from some 5 ms (order 33) to over a second (order 200), only when read.
constexpr int nmat_eager_order = 32;
// Prepares the adjugate data of ana_ss when they are pending: every reader
// of nmat, ana_coef, ana_den, ana_cadjb or ana_num calls it first.
void nmat_ready();
// Eigen-decomposition of A of s, and the eigenvectors folded with B and C.
void expat_prep(ss s);
void nmat_free();
void expat_free();
// nmat_free then expat_free; ana_ss becomes order 0.
void analysis_free();
