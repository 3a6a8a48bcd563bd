#include "interp/act_transform.h"

#include "interp/act_common.h"
#include "interp/expr.h"

void act_tr_do() { act_not_built("transform: do"); }
void act_tr_scale() { act_not_built("transform: scale"); }

void act_tr_scalew(expr_node *kappa)
{
    act_not_built("transform: scalew");
    free_expr(kappa);
}

void act_tr_scalek(expr_node *kappa)
{
    act_not_built("transform: scalek");
    free_expr(kappa);
}

void act_transform_end() {}
