// One-dimensional minimiser without derivatives (golden section combined
// with parabolic interpolation).
#pragma once

#include <functional>

// Minimise f over [min(a0, c0), max(a0, c0)] from the start point x0 with the
// relative tolerance tol (not above 0: sqrt of the machine epsilon) and at
// most maxit iterations. Stores the best point and its value; returns 0 when
// the convergence test was met, 1 when maxit iterations passed without it.
int bracket_min(double a0, double x0, double c0, const std::function<double(double)> &f, double tol, int maxit,
                double *xmin, double *fmin);
// Parabola through (a, ya), (b, yb), (c, yc): stores its vertex; returns 0
// when the fit is degenerate, -1 when it opens upward, 1 otherwise.
int bracket_step(double *res, double a, double b, double c, double ya, double yb, double yc);
// The same, storing the step from the middle point b to the vertex.
int bracket_step2(double *res, double a, double b, double c, double ya, double yb, double yc);
