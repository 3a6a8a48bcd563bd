// The analysis data of one filter: the record the frequency and time
// evaluators work on, with what is prepared from it (Hessenberg form,
// adjugate data and polynomials, eigen cache) and the similarity view through
// which a search sees a transformed record. Every evaluator takes the context
// it evaluates as its first argument: the session holds the one of the
// current filter (fst.ana, filter/current.h), and a search builds its own for
// its candidates.
#pragma once

#include <memory>
#include <vector>

#include "filter/ss.h"
#include "numeric/types.h"

// What the frequency evaluators keep for one context between calls: the
// factors at the last frequency, the F at the last sets of frequencies and
// a memo of F by frequency (filter/transfer.cpp).
struct freq_memo;

struct analysis_ctx {
    // The record, prepared by analysis_prep; it shares that record's
    // matrices, so changes made to them in place are seen at once, while
    // the data below stay as prepared until the next preparation.
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
    // Stamp of the adjugate data and the Hessenberg form, new at every
    // preparation and release: values that the evaluators keep for the
    // frequency they were last asked about belong to one stamp. Stamps are
    // never handed out twice, so values kept for one context are never
    // taken for another's.
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
    unsigned expat_generation = 0;  // stamp of the eigen cache, as ana_generation

    // The similarity view, when view_T has columns: T and T^-1
    // (set_similarity_view, filter/transfer.h).
    matrix view_T;
    matrix view_Ti;

    // The evaluators' kept values, made at the first evaluation; they
    // belong to the stamps above.
    std::shared_ptr<freq_memo> memo;

    analysis_ctx() = default;
    // One context per record: the kept values of the evaluators are found
    // by its stamps, so a copy would share them without sharing their use.
    // A context moves (analysis_take) with its stamps.
    analysis_ctx(const analysis_ctx &) = delete;
    analysis_ctx &operator=(const analysis_ctx &) = delete;
    analysis_ctx(analysis_ctx &&) = default;
    analysis_ctx &operator=(analysis_ctx &&) = default;
};

// nmat_prep then expat_prep.
void analysis_prep(analysis_ctx &a, ss s);
// The Hessenberg form and the reached states of s, and (up to
// nmat_eager_order, else on demand) the adjugate coefficients, trace
// coefficients and polynomials; a.ana_ss := s. The similarity view is
// dropped (it belongs to the record released).
void nmat_prep(analysis_ctx &a, ss s);
// Orders up to this have their adjugate data prepared with the rest (a
// fraction of a millisecond); above it, where the n^4 preparation takes
// from some 5 ms (order 33) to over a second (order 200), only when read.
constexpr int nmat_eager_order = 32;
// Prepares the adjugate data of a.ana_ss when they are pending: every reader
// of nmat, ana_coef, ana_den, ana_cadjb or ana_num calls it first.
void nmat_ready(analysis_ctx &a);
// Eigen-decomposition of A of s, and the eigenvectors folded with B and C.
void expat_prep(analysis_ctx &a, ss s);
void nmat_free(analysis_ctx &a);
void expat_free(analysis_ctx &a);
// nmat_free then expat_free; a.ana_ss becomes order 0.
void analysis_free(analysis_ctx &a);
// to takes the data of from, which is left order 0.
void analysis_take(analysis_ctx &to, analysis_ctx &from);
// True when a was prepared from a record with the matrices and D of s.
bool analysis_of(const analysis_ctx &a, const ss &s);
