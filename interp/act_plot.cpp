#include "interp/act_plot.h"

#include <cstdlib>

#include "interp/act_common.h"

void act_plot_start() {}
void act_plot_magn(int) {}
void act_plot_phase(int) {}
void act_plot_delay(int) {}
void act_plot_db(int) {}
void act_plot_reim(int) {}
void act_plot_dropfact() {}
void act_plot_drscfact() {}
void act_plot_drfact() {}
void act_plot_relsens(int) {}
void act_plot_sens(int) {}
void act_plot_abssens(int) {}
void act_plot_onoise() {}
void act_plot_dr() {}
void act_plot_outputcurrents() {}
void act_plot_impulse(int) {}
void act_plot_step(int) {}
void act_plot_name(char *name) { free(name); }
void act_plot_end() { act_not_built("plot:"); }

void act_write(const char *) { act_not_built("write"); }
void act_writesp_start() {}
void act_writesp_string(const char *) {}
void act_writesp_end() { act_not_built("writesp"); }
