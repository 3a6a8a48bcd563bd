// Recording versions of every statement action the parser calls.
#include "recorder.h"

#include <cstdio>
#include <cstdlib>

#include "interp/act_approx.h"
#include "interp/act_control.h"
#include "interp/act_input.h"
#include "interp/act_output.h"
#include "interp/act_plot.h"
#include "interp/act_realise.h"
#include "interp/act_search.h"
#include "interp/act_settings.h"
#include "interp/act_transform.h"
#include "interp/act_xplot.h"
#include "base/error.h"
#include "base/expr.h"
#include "base/globals.h"
#include "interp/lineedit.h"
#include "interp/scanner.h"

std::vector<std::string> calls;
bool abandon_caps = false;

namespace {

void rec(const std::string &what)
{
    calls.push_back(std::to_string(ist.line_no) + " " + what);
}

std::string num(double x)
{
    char b[64];
    snprintf(b, sizeof b, "%g", x);
    return b;
}

std::string tree(expr_node *t)
{
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    print_expr(f, t);
    fclose(f);
    std::string s(buf, len);
    free(buf);
    free_expr(t);
    return s;
}

std::string take(char *name)
{
    std::string s = name;
    xfree(name);
    return s;
}

}  // namespace

#define REC0(fn) \
    void fn() { rec(#fn); }
#define REC_I(fn) \
    void fn(int n) { rec(std::string(#fn) + " " + std::to_string(n)); }
#define REC_D(fn) \
    void fn(double x) { rec(std::string(#fn) + " " + num(x)); }
#define REC_E(fn) \
    void fn(expr_node *e) { rec(std::string(#fn) + " " + tree(e)); }
#define REC_S(fn) \
    void fn(const char *s) { rec(std::string(#fn) + " \"" + s + "\""); }

// Filter definitions.
REC0(act_input_begin)
REC_I(act_set_order)
REC0(act_a_start) REC0(act_b_start) REC0(act_c_start)
REC_D(act_row_number)
REC0(act_row_end) REC0(act_a_end) REC0(act_b_end) REC0(act_c_end)
REC_D(act_d_part)
REC0(act_input_end) REC0(act_input_abandon) REC0(act_caps_end)
int act_caps_start()
{
    rec("act_caps_start");
    return abandon_caps ? 0 : 1;
}
void act_chebyshev(int n, double r) { rec("act_chebyshev " + std::to_string(n) + " " + num(r)); }
REC_I(act_butterworth)
void act_cauer(int n, double a, double b) { rec("act_cauer " + std::to_string(n) + " " + num(a) + " " + num(b)); }
REC_I(act_bessel) REC_I(act_gauss)
void act_tgauss(int n, double a, double b) { rec("act_tgauss " + std::to_string(n) + " " + num(a) + " " + num(b)); }
void act_bessel_chebyshev(int n, double a, double b)
{
    rec("act_bessel_chebyshev " + std::to_string(n) + " " + num(a) + " " + num(b));
}
void act_ic(int n, double a) { rec("act_ic " + std::to_string(n) + " " + num(a)); }
void act_rgd(int n, double a) { rec("act_rgd " + std::to_string(n) + " " + num(a)); }
REC0(act_cascade_start) REC0(act_cascade_end)
void act_pole(double re, double im) { rec("act_pole " + num(re) + " " + num(im)); }
void act_zero(double re, double im) { rec("act_zero " + num(re) + " " + num(im)); }

// Output.
REC0(act_out_w) REC0(act_out_k) REC0(act_out_poles) REC0(act_out_zeros) REC0(act_out_dr)
REC0(act_out_filter) REC0(act_out_caps) REC0(act_out_denominator) REC0(act_out_numerator)
REC0(act_out_top_h) REC0(act_out_top_f) REC0(act_out_bias)
void act_out_name(char *name) { rec("act_out_name " + take(name)); }
REC_S(act_out_string)

// Transform.
REC0(act_tr_do) REC0(act_tr_scale) REC_E(act_tr_scalew) REC_E(act_tr_scalek) REC0(act_transform_end)
void act_tr_bandpass(expr_node *a, expr_node *b)
{
    std::string s = tree(a);
    rec("act_tr_bandpass " + s + " " + tree(b));
}
REC_E(act_tr_lowpass) REC0(act_tr_orthogonal) REC0(act_tr_transpose)
REC_D(act_tr_do2) REC_D(act_tr_do3) REC_I(act_tr_do4)
REC0(act_ladder_start) REC0(act_optladder_start) REC_D(act_ladder_weight) REC_I(act_ladder_grid)
REC0(act_tr_ladder) REC0(act_tr_optladder) REC_I(act_tr_optladder2)

// Plots and files.
REC0(act_plot_start) REC0(act_plot_end) REC0(act_xplot_start) REC0(act_xplot_end)
REC_I(act_plot_magn) REC_I(act_plot_phase) REC_I(act_plot_delay) REC_I(act_plot_db) REC_I(act_plot_reim)
REC0(act_plot_dropfact) REC0(act_plot_drscfact) REC0(act_plot_drfact)
REC_I(act_plot_relsens) REC_I(act_plot_sens) REC_I(act_plot_abssens)
REC0(act_plot_onoise) REC0(act_plot_dr) REC0(act_plot_outputcurrents)
REC_I(act_plot_impulse) REC_I(act_plot_step)
void act_plot_name(char *name) { rec("act_plot_name " + take(name)); }
REC_S(act_write) REC0(act_writesp_start) REC_S(act_writesp_string) REC0(act_writesp_end) REC0(act_writesp_abort)

// Settings.
REC0(act_start_reset) REC0(act_shutdown_free)
REC0(act_set_optc) REC0(act_set_eqc) REC0(act_set_som) REC0(act_set_nosom) REC0(act_set_num)
REC0(act_set_sol) REC0(act_set_sfr) REC0(act_set_mfr) REC0(act_set_evalc) REC0(act_set_rps)
REC0(act_set_hertz) REC0(act_set_scale_inf) REC0(act_set_scale2) REC_I(act_set_symbolic)
void act_assign(char *name, expr_node *t)
{
    std::string n = take(name);
    rec("act_assign " + n + " " + tree(t));
}
void act_freq_sweep(expr_node *a, expr_node *b, int n, int lg)
{
    std::string s = tree(a);
    rec("act_freq_sweep " + s + " " + tree(b) + " " + std::to_string(n) + " " + std::to_string(lg));
}
void act_time_sweep(expr_node *a, expr_node *b, int n)
{
    std::string s = tree(a);
    rec("act_time_sweep " + s + " " + tree(b) + " " + std::to_string(n));
}
REC_I(act_debug) REC_I(act_scale_grid) REC_I(act_bla)

// Control: read really opens the file.
void act_read(const char *file)
{
    rec(std::string("act_read \"") + file + "\"");
    push_input(file);
}
REC0(act_history)
