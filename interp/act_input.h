// Actions of the filter definition statements `input:` and `caps =`.
//
// The parser calls these in the order the pieces are read:
//   input : order = n ;            act_set_order(n)
//   A = <row> ;                    act_a_start(), act_row_number(x) per number,
//                                  act_row_end() at the row's ";", act_a_end()
//   B = ..., C = ...               the same with act_b_* and act_c_*
//   [D = x]                        act_d_part(x)
//   final ;                        act_input_end()
//   caps = <row> ;                 act_caps_start(), numbers and row end as
//                                  above, act_caps_end()
//
// Abandoning a statement: an action declared to return int returns 0 to
// abandon its statement after it has printed its own error. The parser then
// skips everything up to and including the next ";" exactly as after a
// syntax error, but without a "parse error" message. act_caps_start is such
// an action (no filter defined).
#pragma once

// Right after "input :", before the order is read: the statement has begun,
// so a syntax error from here on gives up the filter (act_input_abandon).
void act_input_begin();
void act_set_order(int n);
void act_a_start();
void act_b_start();
void act_c_start();
// One number of the row being read, and the ";" that closes the row.
void act_row_number(double x);
void act_row_end();
void act_a_end();
void act_b_end();
void act_c_end();
void act_d_part(double d);
void act_input_end();
// An `input:` statement abandoned by a syntax error: no filter is left and
// "state space representation not read" is reported. Nothing happens when no
// `input:` statement is in progress.
void act_input_abandon();

// Returns 0 to abandon the `caps =` statement (see above), 1 to go on.
int act_caps_start();
void act_caps_end();
