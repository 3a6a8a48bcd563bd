#include "interp/act_xplot.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filter/columns.h"
#include "filter/current.h"
#include "filter/sweep.h"
#include "filter/timeresp.h"
#include "base/error.h"
#include "xplot/plot_array.h"
#include "xplot/xplot.h"

namespace {

const double two_pi = 6.283185307179586;
const double no_value = std::nan("");

// Appends one curve with its own copy of the label; returns its index.
int add_curve(plot_array *pa, const char *label)
{
    plot_array_add(pa, 1);
    int j = pa->ncurves - 1;
    pa->labels[j] = label;
    return j;
}

void frequency_window(int n)
{
    reset_phase();
    double factor = pst.hertz_flag ? two_pi : 1.0;
    if (pst.freq_log)
        freq_table_log();
    else
        freq_table_lin();
    plot_array pa = new_plot_array(pst.freq_last + 1);
    pa.xscale = pst.freq_log ? 'l' : 'f';
    for (int k = 0; k < pa.npoints; k++)
        pa.x[k] = pst.freq_values[k];

    // The curves, in the order of their legend: one per value of a cell.
    freq_eval e(fst, n, col_reader::window);
    std::vector<freq_cell> cells = e.select_cells();
    std::vector<int> first;  // the first curve of each cell
    for (const freq_cell &cell : cells) {
        first.push_back(pa.ncurves);
        for (const std::string &name : cell_names(cell))
            add_curve(&pa, name.c_str());
    }

    e.begin(cells);
    for (int k = 0; k < pa.npoints; k++) {
        e.at(k, factor * pa.x[k]);
        for (size_t c = 0; c < cells.size(); c++) {
            const freq_column &col = *cells[c].col;
            double v[2];
            bool ok = cell_value(cells[c], e, v);
            for (int j = 0; j < col.width; j++)
                pa.y[first[c] + j][k] = ok ? v[j] : no_value;
        }
    }
    e.finish();

    tevo_xplot(pa);
    free_plot_array(&pa);
}

void time_window(int n)
{
    time_table();
    plot_array pa = new_plot_array(pst.time_last + 1);
    pa.xscale = 't';
    for (int k = 0; k < pa.npoints; k++)
        pa.x[k] = pst.time_values[k];

    std::vector<time_cell> cells = selected_time_cells(n);
    int first = pa.ncurves;
    for (const time_cell &c : cells)
        add_curve(&pa, cell_name(*c.col, c.i).c_str());
    // One row evaluator for the whole table, so that the rows of an evenly
    // spaced table share one e^(A dt) on the matrix-exponential route.
    time_rows rows(fst.ana, pst.time_values.data(), pst.time_last + 1, pst.h_time, pst.f_time, pst.g_time);
    for (int k = 0; k < pa.npoints; k++) {
        rows.at(k);
        for (size_t c = 0; c < cells.size(); c++) {
            double v = cells[c].col->value(rows, cells[c].i);
            pa.y[first + (int)c][k] = std::isfinite(v) ? v : no_value;
        }
    }

    tevo_xplot(pa);
    free_plot_array(&pa);
}

}  // namespace

void xplot_cmd()
{
    if (filter_defined()) {
        int n = fst.cur_filter.n;
        if (pst.freq_requested) {
            if (!pst.freq_defined)
                error("plot requested without frequency specification");
            else
                frequency_window(n);
        }
        if (pst.time_requested) {
            if (!pst.time_defined)
                error("plot requested without time specification");
            else
                time_window(n);
        }
    }
    pst.freq_requested = 0;
    pst.time_requested = 0;
}

void act_xplot_start()
{
    init_plot_settings();
}

void act_xplot_end()
{
    xplot_cmd();
    clear_plot_columns();
}
