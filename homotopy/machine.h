// Machine constants of double precision for the continuation solver.
#pragma once

// Constant i (1 <= i <= 5): 1 the smallest positive normalised number,
// 2 the largest finite number, 3 the smallest and 4 the largest relative
// spacing, 5 log10(2). Any other i prints a line on standard output and
// ends the program with status 1.
double D1MACH(const int &i);
