// Actions of `xplot:` (its items are those of `plot:`, see act_plot.h).
#pragma once

// After "xplot :", before the first item.
void act_xplot_start();
// The final ";": shows the plot window.
void act_xplot_end();
// Turns the column selections into curves and shows them: one window for
// the frequency curves, then one for the time curves.
void xplot_cmd();
