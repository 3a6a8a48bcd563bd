// The ladder equations through exact rational arithmetic, and the ladder
// equations written out as a script for a computer-algebra system. No
// statement of the program reaches them; they print to the report stream.
#pragma once

// The ladder equations of P_n(a, B) = q, converted to nearby rationals,
// inter-reduced and turned into their exact Groebner basis, converted back
// and solved; every stage is printed.
void rational_pipeline(const double *a, const double *q, int n);

// The ladder equations of P_n(a, B) = p as a script that computes their
// lexicographic Groebner basis in a computer-algebra system.
void write_cas_script(const double *a, const double *p, int n);
