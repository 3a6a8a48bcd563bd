// Program-wide state of the command interpreter: the two streams, the
// interactive flag, the exit status, the base name, the variable table and
// the switches of `set:`.
#pragma once

#include <cstdio>
#include <string>

struct varlist;
struct var;

// The report stream: ist.out_fp, or standard output before the run has set
// it (the routines that print reports are also called from tests and the
// probe, where no run has started).
FILE *report_stream();

struct interp_state {
    FILE *out_fp = nullptr;   // the report stream: standard output or NAME.out
    int interactive = 0;      // 1 while reading a terminal (not an included file)
    int exit_status = 0;      // 1 after any reported error; never goes back to 0
    int quiet = 0;            // above 0: error() and error_text() report nothing (candidates of a search)
    int line_no = 1;          // line of the input being read, for messages
    std::string base_name;    // "tevo" or the batch argument; NAME.plot, NAME.ci, ...
    varlist *vars = nullptr;  // the variable table

    // Entries of fr, si and so made when the run starts; an assignment
    // replaces their definitions in place, so these stay valid.
    var *fr_var = nullptr;
    var *si_var = nullptr;
    var *so_var = nullptr;

    // Switches of `set:` and the integer settings, with their values at start.
    int optc_flag = 0;    // capacitance divided optimally (1) or equally (0)
    int som_flag = 0;     // print the second-order modes during `transform: do`
    int num_flag = 0;     // Gramians by numerical integration (1) or by solving (0)
    int sfr_flag = 0;     // K at the single frequency fr (1) or over all frequencies (0)
    int evalc_flag = 1;   // capacitor values derived from ctot before use
    int linf_flag = 1;    // scaling L-infinity (1) or L2 (0)
    int debug_level = 0;  // `.debug = n;`
    int verbosity = 0;    // `bla = n;`
    int scale_grid = 50;  // grid points of the L-infinity peak search
    int symbolic = 0;     // `set: symbolic n;` (nothing reads it)
};

extern interp_state ist;
