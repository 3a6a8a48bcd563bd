#include "interp/act_plot.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "filter/capdiv.h"
#include "filter/columns.h"
#include "filter/cmdtext.h"
#include "filter/current.h"
#include "filter/gramian.h"
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
        ensure_w(fst);
}

// False when the division was refused (its error said why).
static bool divide_item()
{
    if (fst.cur_filter.n < 1)
        return true;
    if (ist.optc_flag == 1 && getvar("ctot") && !w_for_division(fst))
        return false;
    return divide_caps(fst.cur_filter, fst.cur_W, ist.optc_flag);
}

void act_plot_start()
{
    init_plot_settings();
}

// An item selects its column after preparing what the column reads: W for
// the columns of the dynamic-range figures, and for those that read the
// capacitor values W under `optc` and the divided capacitance under `evalc`.
static void select_item(const char *item, char resp, int value = 1)
{
    const freq_column *c = find_freq_column(item, resp);
    if (!c) {
        select_column(*find_time_column(item, resp));
        return;
    }
    if ((c->needs & NEED_W) || ((c->needs & NEED_CAPS) && ist.optc_flag))
        calc_w_item();
    if ((c->needs & NEED_CAPS) && ist.evalc_flag)
        divide_item();
    select_column(*c, value);
}

// The response of an item: RESP_H, RESP_G or RESP_F.
static char resp_name(int resp)
{
    return "HGF"[resp];
}

void act_plot_magn(int resp) { select_item("magn", resp_name(resp)); }
void act_plot_phase(int resp) { select_item("phase", resp_name(resp)); }
void act_plot_delay(int resp) { select_item("delay", resp_name(resp)); }
void act_plot_db(int resp) { select_item("db", resp_name(resp)); }
void act_plot_reim(int resp) { select_item("", resp_name(resp)); }
void act_plot_dropfact() { select_item("dropfact", 0); }
void act_plot_drscfact() { select_item("drscfact", 0); }
void act_plot_drfact() { select_item("drfact", 0); }
void act_plot_relsens(int n) { select_item("relsens", 0, n); }
void act_plot_sens(int n) { select_item("sens", 0, n); }
void act_plot_abssens(int n) { select_item("abssens", 0, n); }
void act_plot_onoise() { select_item("onoise", 0); }
void act_plot_dr() { select_item("dr", 0); }
void act_plot_outputcurrents() { select_item("outputcurrents", 0); }
void act_plot_impulse(int resp) { select_item("impulse", resp_name(resp)); }
void act_plot_step(int resp) { select_item("step", resp_name(resp)); }

void act_plot_name(char *name)
{
    plot_expression(name);
    xfree(name);
}

void act_plot_end()
{
    plot_cmd(fst, ist.base_name);
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
    // The capacitor lines are written only for values that are set.
    bool divided = !ist.evalc_flag || divide_item();
    bool caps = caps_set(fst.cur_filter);
    if (divided && !caps)
        report_caps_not_set();
    print_input(wsp.fp, fst.cur_filter, per_line, caps ? 1 : 0);
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
