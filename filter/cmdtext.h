// The current filter written back as text of the command language: an
// `input:` statement with the order and the matrices, optionally the
// capacitor values, and the unit switch with the frequency sweep, so that
// `read "file";` (or a later batch run) enters the same filter again. The
// matrices go through print_matrix_e (numeric/matrix.h).
#pragma once

#include <cstdio>

struct cap_ss;

// Writes the `input:` statement of the filter with percount + 1 numbers per
// line; the lines "C%d = %e ;" of the capacitor values only when capflag != 0.
void print_input(FILE *out, const cap_ss &filter, int percount, int capflag);
// "set: hertz;" under the hertz switch, then the frequency sweep when one is
// defined. The time sweep is not written.
void write_freq_settings(FILE *out);
// Numbers per line of the saved text and of the reports: the integer part
// of fmax, or 8 when fmax is not a usable number.
int cmdtext_line_length();
