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

#include "numeric/types.h"

// n x 2 as evc: real parts in column 0, imaginary parts in column 1, ordered
// by block. Ends the program as evc does when an entry is not finite.
matrix evc_blocks(const matrix &a);
