#include "filter/plotfile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "filter/columns.h"
#include "filter/current.h"
#include "filter/sweep.h"
#include "filter/timeresp.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/globals.h"
#include "base/outfile.h"
#include "numeric/complex.h"

static const double two_pi = 6.283185307179586;

// A value that cannot be computed (infinite or NaN) is written "*".
static void num_col(FILE *fp, double x)
{
    if (std::isfinite(x))
        fprintf(fp, "%15e", x);
    else
        fprintf(fp, "%15s", "*");
}

void write_freq_table(FILE *fp, filter_state &f)
{
    reset_phase();
    freq_eval e(f, f.cur_filter.n, col_reader::file);
    std::vector<freq_cell> cells = e.select_cells();

    fprintf(fp, "#%14s", pst.hertz_flag ? "freq.(Hz)" : "freq.(rps)");
    for (const freq_cell &cell : cells)
        for (const std::string &name : cell_names(cell))
            fprintf(fp, "%15s", name.c_str());
    fprintf(fp, "\n");

    if (pst.freq_log)
        freq_table_log();
    else
        freq_table_lin();

    e.begin(cells);
    for (int k = 0; k <= pst.freq_last; k++) {
        double f = pst.freq_values[k];
        e.at(k, pst.hertz_flag ? f * two_pi : f);
        num_col(fp, f);
        for (const freq_cell &cell : cells) {
            double v[2];
            bool ok = cell_value(cell, e, v);
            for (int j = 0; j < cell.col->width; j++)
                num_col(fp, ok ? v[j] : NAN);
        }
        fprintf(fp, "\n");
    }
    fprintf(fp, "\n");
    e.finish();
}

void write_time_table(FILE *fp, filter_state &f)
{
    int n = f.cur_filter.n;
    std::vector<time_cell> cells = selected_time_cells(n);
    fprintf(fp, "#%14s", "time");
    for (const time_cell &c : cells)
        fprintf(fp, "%15s", cell_name(*c.col, c.i).c_str());
    fprintf(fp, "\n");

    time_table();
    time_rows rows(f.ana, pst.time_values.data(), pst.time_last + 1, pst.h_time, pst.f_time, pst.g_time);
    for (int k = 0; k <= pst.time_last; k++) {
        rows.at(k);
        num_col(fp, pst.time_values[k]);
        for (const time_cell &c : cells)
            num_col(fp, c.col->value(rows, c.i));
        fprintf(fp, "\n");
    }
    fprintf(fp, "\n");
}

void plot_cmd(filter_state &f, const std::string &base_name)
{
    if (!filter_defined())
        return;
    int want_freq = pst.freq_requested && pst.freq_defined;
    int want_time = pst.time_requested && pst.time_defined;
    if (!want_freq && !want_time) {
        error("plot requested without frequency or time specification");
        return;
    }
    std::string name = base_name + ".plot";
    FILE *fp = out_open(name.c_str());
    if (!fp) {
        perror(name.c_str());
        exit(1);
    }
    if (want_freq)
        write_freq_table(fp, f);
    if (want_time)
        write_time_table(fp, f);
    out_commit(fp);
    pst.freq_requested = 0;
    pst.time_requested = 0;
}
