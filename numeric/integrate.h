// Adaptive integration of matrix-valued functions of one real variable.
#pragma once

#include <functional>

#include "numeric/types.h"

// The integrand fills the r x c matrix out (allocated by the integrator) at t.
using mfunction = std::function<void(matrix &out, double t)>;

// The r x c integral of f from a to b.
matrix mintegrate(mfunction f, int r, int c, double a, double b, double reltol, double abstol);
// The r x c integral of f from 0 to infinity.
matrix mintegrate_inf(mfunction f, int r, int c, double reltol, double abstol);
