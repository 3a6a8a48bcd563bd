#include "interp/act_xplot.h"

#include "interp/act_common.h"

void act_xplot_start() {}
void act_xplot_end() { act_not_built("xplot:"); }
