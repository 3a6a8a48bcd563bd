// Every isolated solution of the ladder equations P_n(a, b) = p (the
// diagonal a fixed, p monic and scaled to roots of about unit size) by the
// homotopy continuation solver, with every path accounted for: each end
// point is refined by Newton's method on the equations and taken as a
// regular root, a singular root, a path to infinity or a failure; paths
// that failed or met another at a regular root are tracked again with
// tighter tolerances, and all paths again under other homotopies (other
// random constants of the start system and the projective chart) until one
// homotopy's paths are all explained by the roots found in all of them.
#pragma once

#include <vector>

// The real solutions found and what the paths showed.
struct every_ladder_result {
    std::vector<std::vector<double>> real;  // real solutions b_0..b_(n-2), refined
    // true when one run explained every path by the roots of all runs
    // (each regular root counted once), isolated singular roots and
    // infinity, and found no root that the runs before it had not: then
    // `real` holds every real ladder of this diagonal.
    bool complete = false;
    int paths = 0;          // the total degree
    int runs = 0;           // homotopies tracked
    int regular = 0;        // distinct regular roots over all runs
    int singular = 0;       // distinct singular roots
    int complex_roots = 0;  // of the regular and singular roots, those not real
    // the run that explained the most paths: its paths to singular roots,
    // to infinity, and the rest (failed, or a repeat of a root that another
    // path of the run reached)
    int best_singular_paths = 0, best_infinite = 0, best_unexplained = 0;
};

// The highest order solved this way: 144 paths at order 8, 576 at 9.
int every_ladder_max_order();

// The solve for a[0..n-1], p[0..n] (monic), 2 <= n <= every_ladder_max_order().
every_ladder_result every_real_ladder(const double *a, const double *p, int n);


// Whether the real solution b[0..n-2] is a regular root of the ladder
// equations (their Jacobian there is well conditioned). A singular one
// is a multiple root or a point of a curve of solutions.
bool ladder_regular(const double *a, const double *p, int n, const double *b);

// The largest residual of the ladder equations at the real b[0..n-2],
// each relative to the sum of the magnitudes of its terms.
double ladder_residual(const double *a, const double *p, int n, const double *b);
