// Program-wide state of the command interpreter: the two streams, the
// interactive flag, the exit status, the base name and the variable table.
#pragma once

#include <cstdio>
#include <string>

struct varlist;

struct interp_state {
    FILE *out_fp = nullptr;   // the report stream: standard output or NAME.out
    int interactive = 0;      // 1 while reading a terminal (not an included file)
    int exit_status = 0;      // 1 after any reported error; never goes back to 0
    int line_no = 1;          // line of the input being read, for messages
    std::string base_name;    // "tevo" or the batch argument; NAME.plot, NAME.ci, ...
    varlist *vars = nullptr;  // the variable table
};

extern interp_state ist;
