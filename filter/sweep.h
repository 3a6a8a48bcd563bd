// The frequency and time sweeps, the unit switch and the column selections of
// the current `plot:` or `xplot:` statement.
#pragma once

#include <vector>

struct varlist;

struct plot_settings {
    int freq_defined = 0;    // a frequency sweep has been given
    int freq_requested = 0;  // the current statement selected a frequency column
    int drfact_col = 0, dropfact_col = 0, drscfact_col = 0;
    int sens_col = 0, abssens_col = 0, relsens_col = 0;  // 0 off, else the selector
    int onoise_col = 0, dr_col = 0;
    int fkinvf_col = 0, gwinvg_col = 0, fwf_col = 0, gkg_col = 0;
    int current_col = 0;
    double freq_start = 0, freq_stop = 0;  // as typed (Hz under hertz_flag)
    int h_cols = 0, f_cols = 0, g_cols = 0;  // 1 magn, 2 phase, 4 delay, 8 dB, 16 re/im
    int freq_points = 0;     // linear: intervals; logarithmic: points per decade
    varlist *plot_vars = nullptr;  // named columns (entries shared with the variable table)
    int time_defined = 0, time_requested = 0;
    int h_time = 0, f_time = 0, g_time = 0;  // 1 impulse, 2 step
    double time_start = 0, time_stop = 0;
    int time_points = 0;     // intervals of the time sweep
    int freq_last = 0, time_last = 0;  // index of the last built point
    std::vector<double> time_values;   // built time sweep
    int freq_log = 0;        // the frequency sweep is logarithmic
    int hertz_flag = 0;      // sweep values in Hz, evaluated at w = 2 pi f
    std::vector<double> freq_values;   // built frequency sweep
};
extern plot_settings pst;

// Bit values of h_cols, f_cols, g_cols and of h_time, f_time, g_time.
enum {
    COL_MAGN = 1, COL_PHASE = 2, COL_DELAY = 4, COL_DB = 8, COL_REIM = 16,
    COL_IMPULSE = 1, COL_STEP = 2
};

// Store a sweep (the `freq =` and `time =` statements). A point count below
// 1, or a logarithmic sweep with a bound not above 0, is refused with an
// error and the old sweep stays. Return 1 when stored.
int set_freq_sweep(double start, double stop, int points, int log);
int set_time_sweep(double start, double stop, int points);
// No sweep defined, nothing requested.
void clear_sweeps();
// Clears the column selections and makes a new empty plot_vars.
void init_plot_settings();
// Releases the plot_vars list (not its variables) and the built frequency sweep.
void clear_plot_columns();
// Build freq_values / time_values from the stored sweep.
void freq_table_lin();
void freq_table_log();
void time_table();
// "%d\t%e\n" for each point of the built frequency sweep, on standard output.
void print_freq_array();

void set_hertz_on();
void set_hertz_off();

// Selection setters of the items of `plot:` and `xplot:`.
void plot_h_magn();
void plot_f_magn();
void plot_g_magn();
void plot_h_phase();
void plot_f_phase();
void plot_g_phase();
void plot_h_delay();
void plot_f_delay();
void plot_g_delay();
void plot_h_db();
void plot_f_db();
void plot_g_db();
void plot_h_reim();
void plot_f_reim();
void plot_g_reim();
void plot_dropfact();
void plot_drscfact();
void plot_drfact();
void plot_relsens(int sel);
void plot_sens(int sel);
void plot_abssens(int sel);
void plot_onoise();
void plot_dr();
void plot_current();
void plot_h_impulse();
void plot_f_impulse();
void plot_g_impulse();
void plot_h_step();
void plot_f_step();
void plot_g_step();
void plot_expression(const char *name);
void plot_fkinvf();
void plot_gwinvg();
void plot_fwf();
void plot_gkg();
