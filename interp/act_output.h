// Actions of the items of `output:`, each run as soon as it is read.
#pragma once

void act_out_w();
void act_out_k();
void act_out_poles();
void act_out_zeros();
void act_out_dr();
void act_out_filter();
// A variable name: the action owns the string and frees it.
void act_out_name(char *name);
void act_out_caps();
// A string: the text stays the scanner's (valid until the next string).
void act_out_string(const char *text);
void act_out_denominator();
void act_out_numerator();
void act_out_top_h();
void act_out_top_f();
void act_out_bias();
