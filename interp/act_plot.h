// Actions of `plot:` (and the items shared with `xplot:`), `write` and `writesp`.
#pragma once

// Response selector of the plot items magn(r), phase(r), ..., r alone.
enum { RESP_H = 0, RESP_G = 1, RESP_F = 2 };

// After "plot :", before the first item.
void act_plot_start();
// Items, for `plot:` and `xplot:` alike, each run as soon as it is read.
void act_plot_magn(int resp);
void act_plot_phase(int resp);
void act_plot_delay(int resp);
void act_plot_db(int resp);
void act_plot_reim(int resp);
void act_plot_dropfact();
void act_plot_drscfact();
void act_plot_drfact();
// relsens, sens, abssens [n]: n is 1 when omitted.
void act_plot_relsens(int n);
void act_plot_sens(int n);
void act_plot_abssens(int n);
void act_plot_onoise();
void act_plot_dr();
void act_plot_outputcurrents();
void act_plot_impulse(int resp);
void act_plot_step(int resp);
// A named column: the action owns the string.
void act_plot_name(char *name);
// The final ";" of `plot:`.
void act_plot_end();

// write "file" ; the text stays the scanner's.
void act_write(const char *file);
// writesp "line" ... ; start before the first string, each string as read
// (the text stays the scanner's), end at the final ";".
void act_writesp_start();
void act_writesp_string(const char *text);
void act_writesp_end();
// Closes the stream of a `writesp` statement that was abandoned by a parse
// error before its final ";", so nothing of it is written later.
void act_writesp_abort();
