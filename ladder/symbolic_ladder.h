// The symbolic ladder: the ladder polynomial with the products b as the
// symbols B0 .. B(n-2), and the back substitution that solves a triangular
// (lexicographic Groebner) system of its coefficient equations for every
// real solution, one variable at a time.
//
// A second road eliminates the variables pairwise by cross-multiplication
// (g_ladder_eliminate); no statement of the program uses it.
#pragma once

#include <vector>

#include "algebra/imatrix.h"
#include "algebra/spoly.h"
#include "numeric/types.h"

// P_n(a, B) with numeric diagonal a[0..n-1]; coefficients of s^0..s^(n-1)
// are cleared of terms that are small for their degree.
spoly slpoly(int n, const double *a);

// The distinct real roots of eq in its one variable whose value is open,
// after putting in the known values (value[k] for k < nknown with flag[k]
// set). An empty vector when there is no real root, the equation is
// constant in that variable, or there is not exactly one open variable
// (reported as an error).
vector solve_poly_term(const termlist &eq, int nknown, const double *value, const int *flag, double scale);

// Row i: the highest power of each variable in equation i, then in the last
// column the number of variables that occur in it. Columns cover at least
// neq variables, and every variable that occurs.
i_matrix occurrence_matrix(int neq, const eq_array &E);

// Every real solution of the triangular system E (neq equations) in the
// n-1 variables B0..B(n-2): one column per solution, none when every branch
// died or the system is not triangular.
matrix solve_reduced_equations(int neq, const eq_array &E, int n);

// The elimination road: the ladder equations for the target p/f, reduced
// by pairwise elimination of the variables and back-substituted; a system
// that the elimination leaves non-triangular ends the run. One column per
// solution.
matrix g_ladder_eliminate(const double *a, const double *p, int n, double f);

// The pivot of a pairwise elimination: the equation not yet used as pivot
// (used[i] == 0) with the fewest variables not yet eliminated (per the
// occurrence matrix occ), the later one on a tie. Its index goes to *min_i;
// the result is that count (neq, with *min_i = neq - 1, when every equation
// has been used).
int fewest_open_variables(const i_matrix &occ, int neq, const std::vector<int> &used,
                          const std::vector<int> &eliminated, int *min_i);

// Eliminates Bk between P and Q: Q becomes the combination of the two in
// which the top power of Bk cancels, cleared of small terms and of common
// factors. Nothing changes when Bk is missing from either.
void eliminate_var(int k, const termlist &P, termlist *Q, double scale);
