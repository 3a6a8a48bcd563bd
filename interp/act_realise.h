// Actions of the realisation items of `transform:`.
#pragma once

struct expr_node;

// The actions own the trees.
void act_tr_bandpass(expr_node *w0, expr_node *bw);
void act_tr_lowpass(expr_node *f);
void act_tr_orthogonal();
void act_tr_transpose();
