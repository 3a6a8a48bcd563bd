// The response columns of the plot file and the plot window, described once:
// for every column its name, the selection of the plot settings that turns it
// on, what it needs and how its values are computed at one frequency or time.
// The plot file (filter/plotfile.cpp), the plot window (interp/act_xplot.cpp)
// and the items of `plot:` and `xplot:` (interp/act_plot.cpp) all read these
// tables; a new column is one more row.
#pragma once

#include <string>
#include <vector>

#include "filter/sweep.h"
#include "numeric/types.h"

class freq_eval;
struct filter_state;
class time_rows;
struct var;
struct expr_node;

// How many cells a column has: one, one per integrator, or one per entry of
// the named columns (plot_vars).
enum col_shape { ONE_CELL, PER_INTEGRATOR, PER_NAMED };

// What a column reads. The responses are computed once per point, in the
// order H, F, G, delays of F, delays of G; the Gramians once per table.
enum col_need {
    NEED_H = 1,
    NEED_F = 2,
    NEED_G = 4,
    NEED_DELAY_F = 8,
    NEED_DELAY_G = 16,
    NEED_W = 32,       // the cached W, n x n; without it the cell has no value
    NEED_CAPS = 64,    // the capacitor values (divided under `evalc`)
    NEED_EPSREL = 128, // the variable epsrel
    NEED_UMAX = 256,   // the variables ctot and umax
    NEED_K_PAIR = 512, // K of the pair columns, cached or solved for them
    NEED_W_PAIR = 1024,
    NEED_K_INV = 2048,
    NEED_W_INV = 4096,
    NEED_FR = 8192     // the variable fr, set to every w in turn
};

// Who reads the values: the plot file writes "*" for a missing value, the
// window holds NaN.
enum class col_reader { file, window };

struct freq_column {
    const char *item;   // the word of the plot item ("magn", "dropfact"; "" for H, F, G alone)
    char resp;          // 'H', 'F', 'G', or 0 for a column of no response
    int plot_settings::*sel;  // the selection in the plot settings
    int bit;            // its bit, or 0 when the field is a flag or a selector
    col_shape shape;
    int width;          // values per cell: 1, or 2 for a pair (real and imaginary part)
    std::string names[2];  // full names of a one-cell column, else the prefixes of "%s%1d)"
    int needs;          // col_need bits
    bool in_window;     // the window shows it (the pair and named columns are file only)
    // Writes the width values of cell i at the current point; false when the
    // cell has no value there.
    bool (*value)(const freq_column &c, freq_eval &e, int i, double *out);
};

struct time_column {
    const char *item;   // "impulse" or "step"
    char resp;
    int plot_settings::*sel;
    int bit;
    col_shape shape;    // ONE_CELL for H, PER_INTEGRATOR for F and G
    const char *name;   // the full name, or the prefix of "%s%1d)"
    // The value at integrator i of the row that rows holds.
    double (*value)(const time_rows &rows, int i);
};

extern const std::vector<freq_column> freq_columns;
extern const std::vector<time_column> time_columns;

// One cell: a column at integrator (or named entry) i, counted from 0.
struct freq_cell {
    const freq_column *col;
    int i;
};

struct time_cell {
    const time_column *col;
    int i;
};
// The selected time cells in table order (column by column).
std::vector<time_cell> selected_time_cells(int n);

// The width values of a cell at the current point of e; false when the
// cell has no value there or one of them is not finite (infinite at a pole,
// a zero's group delay, a figure beyond the range of doubles): the plot
// file writes "*" and the window leaves a gap for it.
bool cell_value(const freq_cell &cell, freq_eval &e, double *out);

// Whether the current plot settings select the column.
bool column_selected(const freq_column &c);
bool column_selected(const time_column &c);
// The names of a cell (width of them).
std::vector<std::string> cell_names(const freq_cell &cell);
std::string cell_name(const time_column &c, int i);
// Number of cells of a column for a filter of order n.
int cell_count(const freq_column &c, int n);

// The item of `plot:` or `xplot:` of the word item and the response resp
// ('H', 'F', 'G', or 0): its column, or null.
const freq_column *find_freq_column(const char *item, char resp);
const time_column *find_time_column(const char *item, char resp);
// An item's selection: sets the bit, or the flag or selector to value, and
// marks the statement as a frequency or time request.
void select_column(const freq_column &c, int value);
void select_column(const time_column &c);

// The values of the selected frequency columns along one table.
class freq_eval {
public:
    // The table of the filter f (its record, analysis data, Gramians and
    // capacitor values) for n integrators.
    freq_eval(filter_state &f, int n, col_reader reader) : fs(f), n(n), reader(reader) {}
    ~freq_eval();
    freq_eval(const freq_eval &) = delete;
    freq_eval &operator=(const freq_eval &) = delete;

    // The selected cells in table order: within the F and G responses the
    // plot file goes integrator by integrator, the window column by column.
    // A column whose settings are missing is left out: the window says so
    // ("epsrel is not defined", "ctot is not defined", "umax is not
    // defined"); the file leaves out dr without a word and writes "*" for
    // dropfact. Only the window's columns are offered to the window.
    std::vector<freq_cell> select_cells();
    // Everything the cells need once per table: the Gramians of the pair
    // columns, and fr for the named columns (its own definition comes back
    // in finish).
    void begin(const std::vector<freq_cell> &cells);
    // The responses the cells need at point k, angular frequency w.
    void at(int k, double w);
    // Puts back what begin changed.
    void finish();

    filter_state &fs;
    const int n;
    const col_reader reader;
    int needs = 0;              // of the cells begun
    int k = 0;                  // the point
    double w = 0.0;
    complex h{0.0, 0.0};
    cmatrix F, G;
    matrix delay_F, delay_G;
    bool have_w = false;        // W is n x n
    double umax = 0.0;
    double epsrel = 0.0;        // the window's, read once
    matrix K_pair, W_pair, K_inv, W_inv;
    var *fr = nullptr;
    expr_node *fr_saved = nullptr;
    bool caps_reported = false;  // "the capacitor values ... are not set" said

private:
    bool settings_ready(const freq_column &c);
    void free_point();
};

// Continuous phase along a frequency table: the branch of atan2 nearest to
// the previous phase turned by the angle between the two values.
struct phase_state {
    int phase_started = 0;
    complex prev{0.0, 0.0};
    double prev_phase = 0.0;
    double prev_mod = 0.0;  // |prev|
};
extern phase_state phase_st;
// Starts the unwrapping of the phase of H anew (at the start of a table).
void reset_phase();
// The phase of z on the branch nearest to that of the previous value.
double unwrap_phase(complex z);
