#include "interp/act_search.h"

#include "interp/act_common.h"

void act_tr_do2(double) { act_not_built("transform: do2"); }
void act_tr_do3(double) { act_not_built("transform: do3"); }
void act_tr_do4(int) { act_not_built("transform: do4"); }
void act_ladder_start() {}
void act_optladder_start() {}
void act_ladder_weight(double) {}
void act_ladder_grid(int) {}
void act_tr_ladder() { act_not_built("transform: ladder"); }
void act_tr_optladder() { act_not_built("transform: optladder"); }
void act_tr_optladder2(int) { act_not_built("transform: optladder2"); }
