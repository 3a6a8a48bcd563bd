// Impulse and step responses of the filter of an analysis context, t in
// seconds. From the eigen-decomposition of A when its eigenvectors are well
// conditioned (with the eigenvectors folded with B and C: O(n) a time for
// H, O(n^2) for F and G), otherwise from the matrix exponential by scaling
// and squaring.
#pragma once

#include <vector>

#include "filter/analysis.h"
#include "numeric/types.h"

// e^(A t), n x n.
matrix expAt(analysis_ctx &a, double t);
// Integral of e^(A tau) over tau from 0 to t, n x n.
matrix int_expAt(analysis_ctx &a, double t);
// Impulse responses (0 for t < 0): C e^(At) B (no Dirac term), e^(At) B
// (n x 1), C e^(At) (1 x n).
double h_t(analysis_ctx &a, double t);
matrix f_t(analysis_ctx &a, double t);
matrix g_t(analysis_ctx &a, double t);
// Step responses (0 for t < 0): C (integral) B + D, (integral) B, C (integral).
double hs_t(analysis_ctx &a, double t);
matrix fs_t(analysis_ctx &a, double t);
matrix gs_t(analysis_ctx &a, double t);

// The responses of a time table, row after row: the impulse and step
// responses of H, F and G at the times t[0 .. count-1]. The bit sets say
// which are wanted (1 impulse, 2 step; as the time columns of the plot
// file). On the eigen route each row is evaluated at its own time, as the
// routines above do. On the matrix-exponential route a table of evenly
// spaced times carries the responses from row to row with one e^(A dt) and
// its integral, O(n^2) a row, instead of an exponential at every row.
class time_rows {
public:
    time_rows(analysis_ctx &a, const double *t, int count, int h_bits, int f_bits, int g_bits);
    // Evaluates row k; rows are visited in order 0, 1, 2, ...
    void at(int k);
    double h = 0.0, hs = 0.0;          // impulse and step response of H
    std::vector<double> f, fs, g, gs;  // of F (e^(At) B ...) and G (C e^(At) ...)

private:
    analysis_ctx &a_;
    const double *t_;
    int count_, h_bits_, f_bits_, g_bits_;
    bool stepping_ = false;  // carry the state from row to row
    int next_ = -1;          // the row the carried state belongs to
    double dt_ = 0.0;
    matrix E1_, I1_;         // e^(A dt) and its integral over [0, dt]
    // e^(At) B, (int e^(At)) B, C e^(At), C (int e^(At)) at row next_
    std::vector<double> xf_, xfs_, xg_, xgs_;
    void start(int k);
    void step();
    void publish();
};
