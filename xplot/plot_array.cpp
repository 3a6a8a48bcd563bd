#include "xplot/plot_array.h"

#include <cstdlib>

#include "base/error.h"

plot_array new_plot_array(int n)
{
    plot_array pa;
    pa.npoints = n > 0 ? n : 0;
    reserve_numeric((pa.npoints > 0 ? pa.npoints : 1) * sizeof(double), "plot array");
    pa.x = static_cast<double *>(calloc(pa.npoints > 0 ? pa.npoints : 1, sizeof(double)));
    check_alloc(pa.x, "plot array");
    return pa;
}

void plot_array_add(plot_array *pa, int k)
{
    if (k <= 0)
        return;
    int total = pa->ncurves + k;
    auto **y = static_cast<double **>(realloc(pa->y, total * sizeof(double *)));
    check_alloc(y, "plot array");
    pa->y = y;
    auto **labels = static_cast<char **>(realloc(pa->labels, total * sizeof(char *)));
    check_alloc(labels, "plot array");
    pa->labels = labels;
    for (int j = pa->ncurves; j < total; j++) {
        pa->labels[j] = nullptr;
        pa->y[j] = nullptr;
    }
    for (int j = pa->ncurves; j < total; j++) {
        reserve_numeric((pa->npoints > 0 ? pa->npoints : 1) * sizeof(double), "plot array");
        pa->y[j] = static_cast<double *>(calloc(pa->npoints > 0 ? pa->npoints : 1, sizeof(double)));
        check_alloc(pa->y[j], "plot array");
    }
    pa->ncurves = total;
}

void free_plot_array(plot_array *pa)
{
    unsigned long column = (pa->npoints > 0 ? pa->npoints : 1) * sizeof(double);
    if (pa->x)
        release_numeric(column * (1 + pa->ncurves));
    free(pa->x);
    for (int j = 0; j < pa->ncurves; j++) {
        free(pa->y[j]);
        free(pa->labels[j]);
    }
    free(pa->y);
    free(pa->labels);
    *pa = plot_array{};
    pa->xscale = 0;
}
