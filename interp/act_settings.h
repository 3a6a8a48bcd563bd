// Actions of `set:`, the assignments, the sweeps and the integer settings,
// and the filter state reset when a run starts and freed when it ends.
#pragma once

struct expr_node;

// Start of a run, before the default variables are seeded: no filter, K and
// W empty, no sweeps.
void act_start_reset();
// Shutdown, after the variable table and the expression caches are freed:
// the current filter with its capacitor values, K and W, and the analysis data.
void act_shutdown_free();

// Options of `set:`, each run as soon as it is read.
void act_set_optc();
void act_set_eqc();
void act_set_som();
void act_set_nosom();
void act_set_num();
void act_set_sol();
void act_set_sfr();
void act_set_mfr();
void act_set_evalc();
void act_set_rps();
void act_set_hertz();
void act_set_scale_inf();
void act_set_scale2();
void act_set_symbolic(int n);

// NAME = expr ; the action owns the name (free it) and the tree (store or free it).
void act_assign(char *name, expr_node *tree);
// freq = lin|log (e1, e2, n) ; log_sweep is 1 for log. The action owns e1 and e2.
void act_freq_sweep(expr_node *e1, expr_node *e2, int n, int log_sweep);
// time = lin (e1, e2, n) ; the action owns e1 and e2.
void act_time_sweep(expr_node *e1, expr_node *e2, int n);
// .debug = n ;   scale_grid = n ;   bla = n ;
void act_debug(int n);
void act_scale_grid(int n);
void act_bla(int n);
