#include "homotopy/hermite.h"

double hom_divdiff(double f0, double f1, double h)
{
    return (f1 - f0) / h;
}

double hom_divdiff_left(double f0, double g0, double f1, double h)
{
    return (hom_divdiff(f0, f1, h) - g0) / h;
}

double hom_divdiff_right(double f0, double f1, double g1, double h)
{
    return (g1 - hom_divdiff(f0, f1, h)) / h;
}

double hom_divdiff3(double f0, double g0, double f1, double g1, double h)
{
    return (hom_divdiff_right(f0, f1, g1, h) - hom_divdiff_left(f0, g0, f1, h)) / h;
}

double hom_hermite(double f0, double g0, double f1, double g1, double h, double t)
{
    return ((hom_divdiff3(f0, g0, f1, g1, h) * (t - h) + hom_divdiff_left(f0, g0, f1, h)) * t + g0) * t + f0;
}
