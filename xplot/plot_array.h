// The plot array: the curves handed to the plot window, one per window,
// owned by the caller.
#pragma once

#include <string>
#include <vector>

struct plot_array {
    int npoints = 0;                  // number of points of every curve
    int ncurves = 0;                  // number of curves
    std::vector<std::string> labels;  // one label per curve (empty until set)
    char xscale = 'f';                // 'l' logarithmic frequency, 'f' linear frequency, 't' time
    std::vector<double> x;            // the npoints x values
    std::vector<std::vector<double>> y;  // ncurves curves of npoints values
    unsigned long reserved = 0;       // bytes counted against the numeric bound
};

// A plot array with room for n x values and no curves.
plot_array new_plot_array(int n);
// Appends k curves of npoints values each, with unset labels.
void plot_array_add(plot_array *pa, int k);
// Releases everything and its share of the numeric bound; all fields
// become 0 or empty.
void free_plot_array(plot_array *pa);
