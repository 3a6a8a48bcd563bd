#include "interp/act_output.h"

#include <cstdlib>

#include "interp/act_common.h"
#include "interp/eval.h"
#include "interp/expr.h"
#include "interp/globals.h"

void act_out_w() { act_not_built("output: W"); }
void act_out_k() { act_not_built("output: K"); }
void act_out_poles() { act_not_built("output: poles"); }
void act_out_zeros() { act_not_built("output: zeros"); }
void act_out_dr() { act_not_built("output: dr"); }
void act_out_filter() { act_not_built("output: filter"); }

void act_out_name(char *name)
{
    var **v = varlist_find(ist.vars, name);
    if (v) {
        expr_node *r = eval_expr(ist.vars, (*v)->definition);
        print_expr(ist.out_fp, r);
        free_expr(r);
    } else {
        fprintf(ist.out_fp, "%s is undefined.", name);
    }
    fputs("\n", ist.out_fp);
    free(name);
}

void act_out_caps() { act_not_built("output: caps"); }

void act_out_string(const char *text)
{
    fprintf(ist.out_fp, "%s\n", text);
}

void act_out_denominator() { act_not_built("output: denominator"); }
void act_out_numerator() { act_not_built("output: numerator"); }
void act_out_top_h() { act_not_built("output: top(H)"); }
void act_out_top_f() { act_not_built("output: top(F)"); }
void act_out_bias() { act_not_built("output: bias"); }
