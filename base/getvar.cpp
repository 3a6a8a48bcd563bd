// Reading settings and expression arguments from the variable table.
#include "base/getvar.h"

#include <cmath>
#include <string>

#include "base/error.h"
#include "base/eval.h"
#include "base/expr.h"
#include "base/globals.h"

double *getvar(const char *name)
{
    static double value;
    var **v = varlist_find(ist.vars, name);
    if (!v)
        return nullptr;
    expr_node *r = eval_expr(ist.vars, (*v)->definition);
    double *res = nullptr;
    if (is_number(r)) {
        // A setting that came out infinite or NaN (an overflow, (-1)^0.5)
        // cannot serve as a count, a tolerance or a level: it is refused
        // here, once for every reader, who then takes its own fallback.
        if (std::isfinite(r->value)) {
            value = r->value;
            res = &value;
        } else {
            // Said once per line and name, not at every frequency point
            // that reads the setting again.
            static std::string last_name;
            static int last_line = -1;
            if (last_line != ist.line_no || last_name != name) {
                error("the value of %s is not finite", name);
                last_name = name;
                last_line = ist.line_no;
            }
        }
    }
    free_expr(r);
    return res;
}

double *expr_value(expr_node *tree)
{
    static double value;
    expr_node *r = eval_expr(ist.vars, tree);
    double *res = nullptr;
    if (is_number(r) && std::isfinite(r->value)) {
        value = r->value;
        res = &value;
    } else if (is_number(r)) {
        error("expression %m is not finite", tree);
    } else if (r) {
        error("expression %m is not resolved", tree);
    }
    free_expr(r);
    return res;
}

bool take_arg_value(expr_node *tree, double *out)
{
    double *v = expr_value(tree);
    free_expr(tree);
    if (!v)
        return false;
    *out = *v;
    return true;
}

int bla_level()
{
    double *v = getvar("bla");
    return v ? static_cast<int>(*v) : 0;
}
