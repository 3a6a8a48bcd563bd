// Eigenvalues of a real square matrix taken block by block: the rows and
// columns are ordered so that the matrix is block triangular with
// irreducible diagonal blocks (the strongly connected parts of the graph of
// its nonzero entries), and each block's eigenvalues are computed on their
// own, a block of one or two in closed form.
//
// The eigenvalues of a block-triangular matrix are those of its diagonal
// blocks, so nothing is lost; and a cascade of second-order sections, whose
// whole matrix is far from normal, has every pole computed from its own 2 x 2
// block to full accuracy, where an eigensolver run on the whole matrix can
// move poles by more than their distance to the imaginary axis.
#pragma once

#include <vector>

#include "numeric/types.h"

// The order of the rows and columns that makes a block lower triangular with
// irreducible diagonal blocks: place k holds the original index order[k],
// and block b takes the places start[b] .. start[b + 1] - 1 (start has one
// entry more than there are blocks). a(order[i], order[j]) is 0 whenever
// place j lies in a later block than place i.
struct block_order {
    std::vector<int> order;
    std::vector<int> start;
};
block_order irreducible_blocks(const matrix &a);

// n x 2 as evc: real parts in column 0, imaginary parts in column 1, ordered
// by block. Ends the program as evc does when an entry is not finite.
matrix evc_blocks(const matrix &a);
