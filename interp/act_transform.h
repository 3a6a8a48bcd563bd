// Actions of the items `do`, `scale`, `scalew` and `scalek` of `transform:`
// and of the statement's end.
#pragma once

struct expr_node;

void act_tr_do();
void act_tr_scale();
// The action owns the tree.
void act_tr_scalew(expr_node *kappa);
void act_tr_scalek(expr_node *kappa);
// The final ";" of `transform:`, after all its items ran.
void act_transform_end();
