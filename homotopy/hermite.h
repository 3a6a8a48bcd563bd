// Divided differences and the Hermite cubic through two points with their
// slopes, used by the predictor and the end game.
#pragma once

double hom_divdiff(double f0, double f1, double h);
double hom_divdiff_left(double f0, double g0, double f1, double h);
double hom_divdiff_right(double f0, double f1, double g1, double h);
double hom_divdiff3(double f0, double g0, double f1, double g1, double h);
// The cubic with values f0, f1 and slopes g0, g1 at 0 and h, at t.
double hom_hermite(double f0, double g0, double f1, double g1, double h, double t);
