// The program's variable table: default settings and definitions.
#include "base/vars.h"

#include "base/error.h"
#include "base/expr.h"
#include "base/globals.h"

void seed_default_vars()
{
    static const struct {
        const char *name;
        double value;
    } defaults[] = {
        {"epsrel", 1e-6}, {"epsabs", 1e-6}, {"epsabs2", 1e-7}, {"noisefactor", 1},
        {"bla", 0},       {"itmax", 0},     {"itmax2", 1000},  {"fmax", 8},
        {"fr", 0},        {"si", 1},        {"so", 1},         {"smootha", 0.001},
        {"pi", 3.141592653589793},
    };
    for (const auto &d : defaults) {
        var *v = new_var(d.name, new_numb(d.value));
        varlist_add(ist.vars, v);
    }
    ist.fr_var = *varlist_find(ist.vars, "fr");
    ist.si_var = *varlist_find(ist.vars, "si");
    ist.so_var = *varlist_find(ist.vars, "so");
}

int define_var(const char *name, expr_node *tree)
{
    if (expr_uses_var(name, tree)) {
        error("definition of %s refers to itself, %s keeps its old value", name, name);
        free_expr(tree);
        return 0;
    }
    var **v = varlist_find(ist.vars, name);
    if (v)
        var_redefine(ist.vars, *v, tree);
    else {
        varlist_add(ist.vars, new_var(name, tree));
    }
    return 1;
}

void set_var_number(const char *name, double value)
{
    var **v = varlist_find(ist.vars, name);
    if (v)
        var_redefine(ist.vars, *v, new_numb(value));
    else {
        varlist_add(ist.vars, new_var(name, new_numb(value)));
    }
}
