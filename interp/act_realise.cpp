#include "interp/act_realise.h"

#include "interp/act_common.h"
#include "interp/expr.h"

void act_tr_bandpass(expr_node *w0, expr_node *bw)
{
    act_not_built("transform: bandpass");
    free_expr(w0);
    free_expr(bw);
}

void act_tr_lowpass(expr_node *f)
{
    act_not_built("transform: lowpass");
    free_expr(f);
}

void act_tr_orthogonal() { act_not_built("transform: orthogonal"); }
void act_tr_transpose() { act_not_built("transform: transpose"); }
