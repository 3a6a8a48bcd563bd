// Real solutions of the ladder equations P_n(a, b) = p (a fixed, p monic
// and scaled to roots of about unit size) when the numeric road from its
// single start finds none: Newton's method on all n-1 equations from many
// deterministic starts, then every isolated solution by the homotopy
// continuation solver (every_real_ladder), as far as the
// order keeps that fast.
#pragma once

#include "numeric/types.h"

// The real solutions found, one column of b_0..b_(n-2) each (no column when
// there is none). *complete is true when every isolated solution was
// computed (the homotopy ran and every path ended), so that no column
// means that no real ladder exists for this diagonal. restarts: the number
// of starts of each Newton search; homotopy_order: the highest order at
// which the homotopy solver runs (at most every_ladder_max_order()).
matrix ladder_real_roots(const double *a, const double *p, int n, bool *complete, int restarts,
                         int homotopy_order);

// Newton's method on P_n(a, b) = p in all n-1 values b from b[0..n-2];
// true, with the solution in b, when the coefficients of s^0 .. s^(n-2)
// match to 1e-10 relative.
bool ladder_newton(const double *a, const double *p, int n, double *b);

// A solution b[0..n-2] made accurate: for a diagonal that reads the same
// both ways and a b close to its own mirror image, the mirror-symmetric
// ladder nearby (such a ladder is often a multiple root, which Newton's
// method on all equations pins only to a few digits); otherwise Newton's
// method. false, with b unchanged, when neither converges.
bool ladder_polish(const double *a, const double *p, int n, double *b);
