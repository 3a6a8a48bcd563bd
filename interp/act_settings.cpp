#include "interp/act_settings.h"

#include <cstdlib>
#include <cstring>

#include "filter/current.h"
#include "filter/sweep.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "base/vars.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

void act_start_reset()
{
    filter_start();
    clear_sweeps();
    ist.scale_grid = 50;
    ist.verbosity = 0;
}

void act_shutdown_free()
{
    free_filter();
    analysis_free(fst.ana);
    freem(&tst.dropfact_T1);
    freem(&tst.dropfact_T1inv);
    clear_plot_columns();
    pst.time_values = std::vector<double>();
}

void act_set_optc() { ist.optc_flag = 1; }
void act_set_eqc() { ist.optc_flag = 0; }
void act_set_som() { ist.som_flag = 1; }
void act_set_nosom() { ist.som_flag = 0; }

// The Gramians depend on the integration and frequency switches: changing
// (or re-stating) one drops both.
static void drop_gramians()
{
    drop_w();
    drop_k();
}

void act_set_num() { ist.num_flag = 1; drop_gramians(); }
void act_set_sol() { ist.num_flag = 0; drop_gramians(); }
void act_set_sfr() { ist.sfr_flag = 1; drop_gramians(); }
void act_set_mfr() { ist.sfr_flag = 0; drop_gramians(); }
void act_set_evalc() { ist.evalc_flag = 1; }
void act_set_rps() { set_hertz_off(); }
void act_set_hertz() { set_hertz_on(); }
void act_set_scale_inf() { ist.linf_flag = 1; }
void act_set_scale2() { ist.linf_flag = 0; }
void act_set_symbolic(int n) { ist.symbolic = n; }

static const expr_node *definition_of(var *v) { return v ? v->definition : nullptr; }

void act_assign(char *name, expr_node *tree)
{
    if (define_var(name, tree)) {
        const expr_node *si = definition_of(ist.si_var);
        const expr_node *so = definition_of(ist.so_var);
        const expr_node *fr = definition_of(ist.fr_var);
        if (ist.debug_level != 0) {
            fputs("\nsi=", ist.out_fp);
            print_expr(ist.out_fp, si);
            fputs("\nso=", ist.out_fp);
            print_expr(ist.out_fp, so);
            fputs("\n", ist.out_fp);
        }
        // K depends on si (and, at a single frequency, on fr); W on so.
        if (strcmp(name, "si") == 0 || expr_uses_var(name, si))
            drop_k();
        if (strcmp(name, "so") == 0 || expr_uses_var(name, so))
            drop_w();
        if (ist.sfr_flag == 1 && (strcmp(name, "fr") == 0 || expr_uses_var(name, fr)))
            drop_k();
        if (strcmp(name, "ctot") == 0)
            ist.evalc_flag = 1;
    }
    xfree(name);
}

// The two bounds of a sweep; false (after the evaluator's message) when one
// of them is not a number. Both trees are freed.
static bool sweep_bounds(expr_node *e1, expr_node *e2, double *a, double *b)
{
    if (!take_arg_value(e1, a)) {
        free_expr(e2);
        return false;
    }
    return take_arg_value(e2, b);
}

void act_freq_sweep(expr_node *e1, expr_node *e2, int n, int log_sweep)
{
    double a, b;
    if (sweep_bounds(e1, e2, &a, &b))
        set_freq_sweep(a, b, n, log_sweep ? 1 : 0);
}

void act_time_sweep(expr_node *e1, expr_node *e2, int n)
{
    double a, b;
    if (sweep_bounds(e1, e2, &a, &b))
        set_time_sweep(a, b, n);
}

void act_debug(int n)
{
    ist.debug_level = n;
    nst.debug_level = n;
}

// Every L-infinity peak search evaluates the filter at this many points per
// integrator, and the searches of `transform:` run a peak search for every
// candidate: 200 times the default grid is the most that keeps them usable
// (a grid of 2^31 points never ends).
constexpr int max_scale_grid = 10000;

void act_scale_grid(int n)
{
    if (n > max_scale_grid)
        error("scale grid parameter too large (at most 10000)");
    else if (n > 1)
        ist.scale_grid = n;
    else
        error("scale grid parameter too small");
}

void act_bla(int n) { ist.verbosity = n; }
