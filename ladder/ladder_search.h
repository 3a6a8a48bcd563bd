// Dynamic-range searches over ladder realisations: a ladder of N/D depends
// on a weight vector (the shares of the trace given to the diagonal) and
// usually has several solutions. Each realisation is judged by its noise
// cost after scaling (dr_of_filter); the change against the cost cost0 of
// the filter before the search is reported as 10 log10(cost0 / cost) dB.
#pragma once

#include "ladder/ladder.h"
#include "filter/ss.h"
#include "numeric/types.h"

// The report words of an evaluation status (" no convergence\n", ...).
const char *dr_status_text(int status);
// Costs of the solutions of the ladder for the weights p (split bd, guess q,
// which the synthesis overwrites with its solution) that could be costed,
// in order. *status: 0 when at least one was costed; 1 when the synthesis
// did not converge, 3 when it gave no solution; otherwise the status of
// the last failing solution.
vector dr_transform(const poly &N, const poly &D, const vector &p, double bd, vector &q, int *status);
// The smallest of those costs; the largest double when there is none.
double dr_eval(const poly &N, const poly &D, const vector &p, double bd, vector &q, int *status);
// The ladder for the weights with, among several solutions, only the one of
// the lowest cost (each solution reported with its products b_i and its
// change); at orders 6 to 8 among every real ladder (the homotopy solve of
// all solutions). No solution that can be costed: an empty result with
// status 0.
ladder_result dr_solutions(const poly &N, const poly &D, const vector &p, double bd, vector &q, double cost0);
// Coordinate search on the weights from the given ones (missing ones 0,
// extra ones ignored), steps 0.01 divided by 4 down to 1e-6 inside [-10, 10];
// for a third-order denominator also the split factor of the equal-ends
// case. The best ladder, scaled, goes to *result (order 0 when there is
// none); returns the status of the final synthesis.
int dr_optimize(ss *result, const poly &N, const poly &D, int ngiven, const double *given, double cost0);
// The best weight vector of the grid of all weights in {0, 1/Ngrid, ..., 1}
// with a sum not above 1.
vector dr_grid(const poly &N, const poly &D, int Ngrid, double cost0);
// dr_grid, then the best solution at its best point into *result (order 0
// when there is none); returns the status of that synthesis.
int dr_grid_solutions(ss *result, const poly &N, const poly &D, int Ngrid, double cost0);

// Grid counter: L non-negative entries with the sum Ngrid (a composition of
// Ngrid). grid_index sets the first, (0, ..., 0, Ngrid); count_grid moves
// to the next, one unit between two entries, and returns 0 after the last.
// Every composition is visited exactly once.
void grid_index(int *counter, int L, int Ngrid);
int count_grid(int *counter, int L);
// The two halves of count_grid, on the part [s, e) of the counter.
int grid_next(int *counter, int L, int s, int e, int dir);
int grid_next2(int *counter, int L, int s, int e, int dir);
