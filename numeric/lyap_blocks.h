// Lyapunov equations solved down the block-triangular structure of A, with
// an error estimate for every entry of the solution; and where the poles of
// A lie, each judged against its own accuracy.
//
// The rows and columns of A are ordered so that it is block lower
// triangular with irreducible diagonal blocks (numeric/block_eigen.h), and
// balanced by powers of 2. Each diagonal block has its own real Schur form,
// and the solution is found block by block, a small Sylvester equation for
// each pair of diagonal blocks, from the corner where the blocks that feed
// no other lie. A cascade of sections, whose whole A is far from normal and
// whose Gramians span tens of decades, thus keeps its small entries: the
// Schur form of the whole matrix mixes them with the large ones. A matrix
// with one irreducible block is solved by the Schur method on the whole.
//
// The solution is refined with residuals computed in twice the working
// precision (error-free products and sums), each correction solved with the
// same factors. The size of the last correction, once the corrections are
// seen to shrink, is the error estimate of every entry.
#pragma once

#include <vector>

#include "numeric/types.h"

// Where the poles of A lie. Each pole is judged against its own accuracy:
// the pole of a block of one is the entry itself, and a block of two is
// stable exactly when its trace is negative and its determinant positive
// (both found without rounding error that could change their signs); a pole
// of a larger block is known to within its error bound (the precision times
// the norm of the block over the pole's reciprocal condition number).
enum pole_verdict {
    poles_stable = 0,
    poles_right,       // a pole lies in the open right half-plane
    poles_axis,        // a pole lies on the jw axis, or at 0, within its accuracy
    poles_unresolved,  // a pole's error bound reaches across the axis (A is
                       // defective or nearly so): the side cannot be told
};

// The factors of A for its Lyapunov equations.
struct lyap_plan {
    struct entry {
        int r, c;  // row and column, as places
        double v;
    };
    int n = 0;
    std::vector<int> order;   // place k holds the original index order[k]
    std::vector<int> start;   // block b takes the places start[b] .. start[b + 1] - 1
    int largest = 0;          // the places of the largest block
    std::vector<double> d;    // balancing factor of each place: M = D^-1 A D
    std::vector<entry> all;   // every nonzero entry of M
    // Block b: the nonzero entries of M in its columns and in rows of later
    // blocks (below), and in its rows and columns of earlier blocks (left).
    std::vector<std::vector<entry>> below, left;
    std::vector<std::vector<double>> t, z;  // Schur form T and vectors Z of each block: M_bb = Z T Z^T
    std::vector<double> norm;                // Frobenius norm of each block
    std::vector<double> wr, wi;  // the poles, place by place
    pole_verdict poles = poles_stable;
};

// Prepares the plan of a square, finite a. False when a Schur form cannot
// be computed.
bool lyap_plan_make(const matrix &a, lyap_plan *p);
// X with a X + X a^T + q = 0 (k_form) or a^T X + X a + q = 0, q symmetric,
// refined; err gets the bound of the error of every entry (n x n), or the
// empty matrix when the corrections did not shrink. The empty X when the
// equation is singular or nearly so (two poles with l_i + l_j at 0 within
// the accuracy of the solver), or the solution is not finite.
matrix lyap_plan_solve(const lyap_plan &p, const matrix &q, bool k_form, matrix *err);
// Refines x, a solution of the same equation from elsewhere (a Gramian
// carried through a transformation), in place, and gives its error bounds
// as above. False, with x unchanged and err empty, when the corrections do
// not shrink or cannot be solved.
bool lyap_plan_refine(const lyap_plan &p, const matrix &q, bool k_form, matrix &x, matrix *err);
// lyap_plan_make and lyap_plan_solve in one; the empty matrix also when the
// plan cannot be made.
matrix lyap_solve_refined(const matrix &a, const matrix &q, bool k_form, matrix *err);
