// Dynamic-range searches over similarity transformations T whose rows are
// unit vectors given by angles (in units of pi). Every candidate is judged
// by its noise cost after scaling (dr_of_filter). The searches report on the
// stream fp they are given.
#pragma once

#include <cstdio>

#include "filter/ss.h"
#include "numeric/types.h"

// Mode 0: full T of order n from n (n - 1) angles; row i runs over the
// columns i+1, i+2, ... (cyclically), each entry sin(b pi) times the cosines
// before it, the diagonal the product of all of its cosines.
matrix givens(int n, const vector &a);
// Mode 1: upper triangular T from n (n - 1) / 2 angles; row i fills the
// columns n-1 down to i+1, the last row is (0 .. 0 1).
matrix givens2(int n, const vector &a);
// Number of angles of T of order n in the mode.
int rotation_angles(int n, int mode);
// Cost of (T^-1 A T, T^-1 B, C T, D) with T from the angles in the mode;
// the largest double when T is singular, or so nearly singular (condition
// number above 1e10) that the cost would be rounding noise, or when the
// candidate cannot be costed.
double dr_rotated(const ss &s, const vector &a, int mode);
// Coordinate search over the angles from all zeros with the step h
// (0 < h < 1), divided by 4 whenever no move helps, down to 1e-6. Returns
// the best realisation found, scaled (L-infinity peak 1); order 0 when the
// start cost cannot be determined (reported as an error).
ss dr_optimize4(FILE *fp, const ss &s, double h, int mode);
// Every point of the grid of cell midpoints of [-1, 1] with `steps` cells
// per angle (mode 0), one report line per point; returns the best, scaled.
ss dr_optimize4_grid(FILE *fp, const ss &s, int steps);
// Gradient descent on the angles (mode 0) before a coordinate search.
ss dr_optimize5(FILE *fp, const ss &s, double step);
// Odometer of the grid, first counter fastest: grid_step4 advances from
// counter k on, grid_first4 from counter 0. Both return 1 when the odometer
// has wrapped around to all zeros, else 0.
int grid_step4(int *counter, int count, int steps, int k);
int grid_first4(int *counter, int count, int steps);
