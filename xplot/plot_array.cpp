#include "xplot/plot_array.h"

#include "base/error.h"

// Every curve and the x values count against the numeric bound, at least
// one double each.
static unsigned long column_bytes(int npoints)
{
    return (npoints > 0 ? npoints : 1) * sizeof(double);
}

plot_array new_plot_array(int n)
{
    plot_array pa;
    pa.npoints = n > 0 ? n : 0;
    reserve_numeric(column_bytes(pa.npoints), "plot array");
    pa.reserved = column_bytes(pa.npoints);
    checked_resize(pa.x, pa.npoints, "plot array");
    return pa;
}

void plot_array_add(plot_array *pa, int k)
{
    if (k <= 0)
        return;
    int total = pa->ncurves + k;
    checked_resize(pa->labels, total, "plot array");
    checked_resize(pa->y, total, "plot array");
    for (int j = pa->ncurves; j < total; j++) {
        reserve_numeric(column_bytes(pa->npoints), "plot array");
        pa->reserved += column_bytes(pa->npoints);
        checked_resize(pa->y[j], pa->npoints, "plot array");
    }
    pa->ncurves = total;
}

void free_plot_array(plot_array *pa)
{
    release_numeric(pa->reserved);
    *pa = plot_array{};
    pa->xscale = 0;
}
