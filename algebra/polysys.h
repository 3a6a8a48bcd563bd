// The polynomial-system driver: all roots of a square system in B0 ..
// B(n-1) by the homotopy continuation solver, printed to the report stream.
#pragma once

#include "algebra/spoly.h"

// Prints the system, its total degree and every finite root that a path
// reaches, refined by Newton's method and printed once under the first
// path that reached it. A system the solver refuses, or one whose
// variables or sizes do not fit, is reported through the error routine.
void polysys(const eq_array &E);
