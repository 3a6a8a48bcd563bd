// The plot array: the curves handed to the plot window, one per window,
// owned by the caller.
#pragma once

struct plot_array {
    int npoints = 0;         // number of points of every curve
    int ncurves = 0;         // number of curves
    char **labels = nullptr; // one allocated label per curve (null until set)
    char xscale = 'f';       // 'l' logarithmic frequency, 'f' linear frequency, 't' time
    double *x = nullptr;     // the npoints x values
    double **y = nullptr;    // ncurves arrays of npoints values
};

// A plot array with room for n x values and no curves.
plot_array new_plot_array(int n);
// Appends k curves of npoints values each, with unset labels.
void plot_array_add(plot_array *pa, int k);
// Frees everything; all fields become 0 or null.
void free_plot_array(plot_array *pa);
