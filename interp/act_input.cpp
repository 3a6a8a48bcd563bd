#include "interp/act_input.h"

#include "interp/act_common.h"

void act_set_order(int) { act_not_built("input:"); }
void act_a_start() {}
void act_b_start() {}
void act_c_start() {}
void act_row_number(double) {}
void act_row_end() {}
void act_a_end() {}
void act_b_end() {}
void act_c_end() {}
void act_d_part(double) {}
void act_input_end() {}

int act_caps_start()
{
    act_not_built("caps =");
    return 0;
}
void act_caps_end() {}
