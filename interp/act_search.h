// Actions of the search items of `transform:`.
#pragma once

// do2 / do3 [step = x]: x is 0.1 when no step is written.
void act_tr_do2(double step);
void act_tr_do3(double step);
// do4 [steps = n]: n is 3 when no steps are written.
void act_tr_do4(int steps);
// ladder [(w1, ...) | (grid = n)] and optladder [...]: the start action runs
// before the options, each weight as it is read, the grid option as read,
// then the item itself.
void act_ladder_start();
void act_optladder_start();
void act_ladder_weight(double w);
void act_ladder_grid(int n);
void act_tr_ladder();
void act_tr_optladder();
void act_tr_optladder2(int n);
