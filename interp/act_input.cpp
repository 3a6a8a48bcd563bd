#include "interp/act_input.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "filter/capdiv.h"
#include "filter/current.h"
#include "base/error.h"
#include "base/globals.h"
#include "base/vars.h"
#include "numeric/matrix.h"

namespace {

// The `input:` statement builds its filter here and installs it at its
// final ";", so a statement that fails halfway leaves nothing half-built.
struct input_state {
    int in_progress = 0;  // an `input:` statement has begun and not ended
    ss building;          // the filter being entered
    // The number row being read.
    matrix row;
    int exp_rows = 0, exp_cols = 0;
    int i = 0, j = 0;
    int elem_error = 0;
    int row_made = 0;
    int not_finite = 0;  // the row held a number that is infinite or not a number
};
input_state inp;

void row_start(int rows, int cols)
{
    inp.row = matrix();
    inp.row_made = 0;
    inp.exp_rows = rows;
    inp.exp_cols = cols;
    inp.i = inp.j = 0;
    inp.elem_error = 0;
    inp.not_finite = 0;
}

// Releases the current filter with its caches and analysis data: the state
// of "no filter defined".
void release_current()
{
    free_ss(&fst.cur_filter);
    free_caps(&fst.cur_filter);
    drop_w();
    drop_k();
    analysis_free(fst.ana);
}

// The matrix of the row just read goes to *dst; input_error records a bad row.
void row_to(matrix *dst)
{
    if (inp.elem_error || fst.input_error)
        fst.input_error = 1;
    if (inp.row_made)
        *dst = inp.row;
    inp.row = matrix();
    inp.row_made = 0;
}

}  // namespace

void act_input_begin()
{
    inp.in_progress = 1;
    inp.building = ss();
    inp.building.D = fst.cur_filter.D;
}

void act_set_order(int n)
{
    inp.in_progress = 1;
    double D = fst.cur_filter.D;
    release_current();
    inp.building = ss();
    inp.building.D = D;
    if (n < 1) {
        fst.input_error = 1;
        error("order must be larger than zero");
        return;
    }
    if (!order_allowed(n)) {
        fst.input_error = 1;
        return;
    }
    fst.input_error = 0;
    inp.building.n = n;
}

void act_a_start() { row_start(inp.building.n, inp.building.n); }
void act_b_start() { row_start(inp.building.n, 1); }
void act_c_start() { row_start(1, inp.building.n); }

// A number that is infinite (an overflowing constant) makes the row
// unusable: no filter or capacitor value can be built from it.
static bool finite_or_refused(double x)
{
    if (std::isfinite(x))
        return true;
    error("matrix element not finite");
    inp.elem_error = 1;
    inp.not_finite = 1;
    return false;
}

void act_row_number(double x)
{
    if (!inp.row_made && !inp.elem_error) {
        if (!finite_or_refused(x))
            return;
        if (inp.exp_rows > 0 && inp.exp_cols > 0) {
            inp.elem_error = 0;
            inp.row = newm(inp.exp_rows, inp.exp_cols);
            inp.row_made = 1;
            inp.i = inp.j = 0;
            inp.row.data[0] = x;
        } else {
            inp.elem_error = 1;
        }
        return;
    }
    if (inp.elem_error)
        return;
    inp.j++;
    if (inp.j >= inp.exp_cols) {
        inp.j = 0;
        inp.i++;
    }
    if (inp.i >= inp.exp_rows) {
        error("too many matrix elements");
        inp.elem_error = 1;
        return;
    }
    if (!finite_or_refused(x))
        return;
    inp.row.data[inp.j * inp.exp_rows + inp.i] = x;
}

void act_row_end()
{
    if (inp.row_made && !inp.elem_error && (inp.j < inp.exp_cols - 1 || inp.i < inp.exp_rows - 1)) {
        error("too few matrix elements");
        inp.elem_error = 1;
    }
}

void act_a_end() { row_to(&inp.building.A); }
void act_b_end() { row_to(&inp.building.B); }
void act_c_end() { row_to(&inp.building.C); }

void act_d_part(double d)
{
    if (!std::isfinite(d)) {
        error("direct term not finite");
        fst.input_error = 1;
        return;
    }
    inp.building.D = d;
}

void act_input_end()
{
    inp.in_progress = 0;
    ss s = inp.building;
    inp.building = ss();
    bool complete = s.n > 0 && s.A.rows == s.n && s.B.rows == s.n && s.C.cols == s.n;
    if (fst.input_error == 0 && complete) {
        static_cast<ss &>(fst.cur_filter) = s;
        new_caps(&fst.cur_filter, s.n);
        analysis_prep(fst.ana, fst.cur_filter);
    } else {
        fst.input_error = 1;
        release_current();
        fst.cur_filter.D = s.D;
        error("state space representation not read");
    }
    drop_w();
    drop_k();
}

void act_input_abandon()
{
    if (!inp.in_progress)
        return;
    inp.in_progress = 0;
    double D = inp.building.D;
    inp.building = ss();
    inp.row = matrix();
    inp.row_made = 0;
    fst.input_error = 1;
    release_current();
    fst.cur_filter.D = D;
    error("state space representation not read");
}

int act_caps_start()
{
    if (!filter_defined())
        return 0;
    row_start(1, fst.cur_filter.n);
    return 1;
}

void act_caps_end()
{
    int n = fst.cur_filter.n;
    if (inp.not_finite) {
        // The values and ctot stay as they were.
        inp.row = matrix();
        inp.row_made = 0;
        return;
    }
    // Every value must be a capacitance; a missing one (too few numbers)
    // counts as 0. Otherwise the values and ctot stay as they were.
    std::vector<double> c(n, 0.0);
    if (inp.row_made) {
        const double *row = inp.row.data;
        std::copy(row, row + n, c.begin());
    }
    inp.row = matrix();
    inp.row_made = 0;
    int bad = bad_cap_index(c.data(), n);
    if (bad >= 0) {
        char text[32];
        snprintf(text, sizeof text, "%g", c[bad]);
        error("capacitor value c%d = %s is not positive; the capacitor values stay as they were", bad + 1, text);
        return;
    }
    new_caps(&fst.cur_filter, n);
    double sum = 0.0;
    for (int k = 0; k < n; k++) {
        fst.cur_filter.cap[k] = c[k];
        sum += c[k];
    }
    ist.evalc_flag = 0;
    set_var_number("ctot", sum);
}
