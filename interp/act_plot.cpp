#include "interp/act_plot.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "filter/capdiv.h"
#include "filter/cmdtext.h"
#include "filter/current.h"
#include "filter/plotfile.h"
#include "filter/sweep.h"
#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "base/outfile.h"

// The stream of a `writesp` statement, open from its start to its final ";".
struct writesp_state {
    FILE *fp = nullptr;
};
static writesp_state wsp;

// W of the current filter for the columns that read it. Without a filter
// there is nothing to solve; the final action reports that case.
static void calc_w_item()
{
    if (fst.cur_filter.n > 0)
        ensure_w();
}

static void divide_item()
{
    if (fst.cur_filter.n > 0)
        divide_caps(&fst.cur_filter, fst.cur_W, ist.optc_flag);
}

void act_plot_start()
{
    init_plot_settings();
}

void act_plot_magn(int resp)
{
    if (resp == RESP_H)
        plot_h_magn();
    else if (resp == RESP_G)
        plot_g_magn();
    else
        plot_f_magn();
}

void act_plot_phase(int resp)
{
    if (resp == RESP_H)
        plot_h_phase();
    else if (resp == RESP_G)
        plot_g_phase();
    else
        plot_f_phase();
}

void act_plot_delay(int resp)
{
    if (resp == RESP_H)
        plot_h_delay();
    else if (resp == RESP_G)
        plot_g_delay();
    else
        plot_f_delay();
}

void act_plot_db(int resp)
{
    if (resp == RESP_H)
        plot_h_db();
    else if (resp == RESP_G)
        plot_g_db();
    else
        plot_f_db();
}

void act_plot_reim(int resp)
{
    if (resp == RESP_H)
        plot_h_reim();
    else if (resp == RESP_G)
        plot_g_reim();
    else
        plot_f_reim();
}

void act_plot_dropfact()
{
    plot_dropfact();
    calc_w_item();
}

void act_plot_drscfact()
{
    plot_drscfact();
    calc_w_item();
}

void act_plot_drfact()
{
    plot_drfact();
    calc_w_item();
}

void act_plot_relsens(int n) { plot_relsens(n); }
void act_plot_sens(int n) { plot_sens(n); }
void act_plot_abssens(int n) { plot_abssens(n); }

void act_plot_onoise()
{
    if (ist.optc_flag)
        calc_w_item();
    if (ist.evalc_flag)
        divide_item();
    plot_onoise();
}

void act_plot_dr()
{
    calc_w_item();
    if (ist.evalc_flag)
        divide_item();
    plot_dr();
}

void act_plot_outputcurrents()
{
    if (ist.optc_flag)
        calc_w_item();
    if (ist.evalc_flag)
        divide_item();
    plot_current();
}

void act_plot_impulse(int resp)
{
    if (resp == RESP_H)
        plot_h_impulse();
    else if (resp == RESP_G)
        plot_g_impulse();
    else
        plot_f_impulse();
}

void act_plot_step(int resp)
{
    if (resp == RESP_H)
        plot_h_step();
    else if (resp == RESP_G)
        plot_g_step();
    else
        plot_f_step();
}

void act_plot_name(char *name)
{
    plot_expression(name);
    free(name);
}

void act_plot_end()
{
    plot_cmd();
    clear_plot_columns();
}

static FILE *open_for_text(const char *name)
{
    FILE *fp = out_open(name);
    if (!fp) {
        perror(name);
        exit(1);
    }
    return fp;
}

void act_write(const char *file)
{
    if (!filter_defined())
        return;
    int per_line = cmdtext_line_length();
    FILE *fp = open_for_text(file);
    print_input(fp, fst.cur_filter, per_line, 0);
    write_freq_settings(fp);
    out_commit(fp);
}

void act_writesp_start()
{
    // A stream left open by a statement that never reached its end is
    // closed before the file is made anew.
    act_writesp_abort();
    std::string name = ist.base_name + ".ci";
    wsp.fp = open_for_text(name.c_str());
    int per_line = cmdtext_line_length();
    if (!getvar("ctot"))
        return;
    if (ist.optc_flag && fst.cur_filter.n < 1) {
        error("no filter defined");
        return;
    }
    if (ist.optc_flag)
        calc_w_item();
    if (ist.evalc_flag)
        divide_item();
    print_input(wsp.fp, fst.cur_filter, per_line, 1);
}

void act_writesp_string(const char *text)
{
    if (wsp.fp)
        fprintf(wsp.fp, "%s\n", text);
}

void act_writesp_end()
{
    if (!wsp.fp)
        return;
    write_freq_settings(wsp.fp);
    out_commit(wsp.fp);
    wsp.fp = nullptr;
}

void act_writesp_abort()
{
    // A statement cut short installs nothing: the old file stays.
    if (wsp.fp) {
        out_abort(wsp.fp);
        wsp.fp = nullptr;
    }
}
