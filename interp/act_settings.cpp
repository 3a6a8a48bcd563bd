#include "interp/act_settings.h"

#include <cstdlib>
#include <cstring>

#include "interp/act_common.h"
#include "interp/error.h"
#include "interp/expr.h"
#include "interp/globals.h"
#include "interp/vars.h"

void act_start_reset() {}
void act_shutdown_free() {}

void act_set_optc() { ist.optc_flag = 1; }
void act_set_eqc() { ist.optc_flag = 0; }
void act_set_som() { ist.som_flag = 1; }
void act_set_nosom() { ist.som_flag = 0; }
void act_set_num() { ist.num_flag = 1; }
void act_set_sol() { ist.num_flag = 0; }
void act_set_sfr() { ist.sfr_flag = 1; }
void act_set_mfr() { ist.sfr_flag = 0; }
void act_set_evalc() { ist.evalc_flag = 1; }
void act_set_rps() { act_not_built("set: rps"); }
void act_set_hertz() { act_not_built("set: hertz"); }
void act_set_scale_inf() { ist.linf_flag = 1; }
void act_set_scale2() { ist.linf_flag = 0; }
void act_set_symbolic(int n) { ist.symbolic = n; }

void act_assign(char *name, expr_node *tree)
{
    if (define_var(name, tree)) {
        if (ist.debug_level != 0) {
            fputs("\nsi=", ist.out_fp);
            print_expr(ist.out_fp, ist.si_var->definition);
            fputs("\nso=", ist.out_fp);
            print_expr(ist.out_fp, ist.so_var->definition);
            fputs("\n", ist.out_fp);
        }
        // The cached Gramians that depend on si, so or fr are dropped here
        // once the filter state exists.
        if (strcmp(name, "ctot") == 0)
            ist.evalc_flag = 1;
    }
    free(name);
}

void act_freq_sweep(expr_node *e1, expr_node *e2, int, int)
{
    act_not_built("freq =");
    free_expr(e1);
    free_expr(e2);
}

void act_time_sweep(expr_node *e1, expr_node *e2, int)
{
    act_not_built("time =");
    free_expr(e1);
    free_expr(e2);
}

void act_debug(int n) { ist.debug_level = n; }

void act_scale_grid(int n)
{
    if (n > 1)
        ist.scale_grid = n;
    else
        error("scale grid parameter too small");
}

void act_bla(int n) { ist.verbosity = n; }
