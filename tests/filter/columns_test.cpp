// The table of response columns: the items select the settings the Parts of
// the plot file and window name, and the two readers lay out the cells in
// their own orders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/columns.h"
#include "filter/sweep.h"
#include "fixture.h"

namespace {

TEST(Columns, EveryItemSelectsItsSetting)
{
    const struct {
        const char *item;
        char resp;
        int value;
        int plot_settings::*field;
        int expect;
    } cases[] = {
        {"magn", 'H', 1, &plot_settings::h_cols, COL_MAGN},
        {"phase", 'G', 1, &plot_settings::g_cols, COL_PHASE},
        {"delay", 'F', 1, &plot_settings::f_cols, COL_DELAY},
        {"db", 'F', 1, &plot_settings::f_cols, COL_DB},
        {"", 'G', 1, &plot_settings::g_cols, COL_REIM},
        {"relsens", 0, 3, &plot_settings::relsens_col, 3},
        {"sens", 0, 0, &plot_settings::sens_col, 0},
        {"abssens", 0, 2, &plot_settings::abssens_col, 2},
        {"outputcurrents", 0, 1, &plot_settings::current_col, 1},
        {"dr", 0, 1, &plot_settings::dr_col, 1},
    };
    fx::setup_vars();
    for (auto &c : cases) {
        SCOPED_TRACE(std::string(c.item) + c.resp);
        init_plot_settings();
        pst.freq_requested = 0;
        const freq_column *col = find_freq_column(c.item, c.resp);
        ASSERT_NE(col, nullptr);
        select_column(*col, c.value);
        EXPECT_EQ(pst.*c.field, c.expect);
        EXPECT_EQ(pst.freq_requested, 1);  // a selector 0 still asks for the table
    }
    init_plot_settings();
    pst.time_requested = 0;
    select_column(*find_time_column("step", 'G'));
    EXPECT_EQ(pst.g_time, COL_STEP);
    EXPECT_EQ(pst.time_requested, 1);
    // The pair columns have no item; "" alone is no item either.
    EXPECT_EQ(find_freq_column("", 0), nullptr);
    EXPECT_EQ(find_freq_column("magn", 0), nullptr);
    clear_plot_columns();
}

std::vector<std::string> names_of(col_reader reader, int n)
{
    freq_eval e(fst, n, reader);
    std::vector<std::string> names;
    for (const freq_cell &cell : e.select_cells())
        for (const std::string &s : cell_names(cell))
            names.push_back(s);
    return names;
}

TEST(Columns, FileGoesByIntegratorWindowByColumn)
{
    // a filter of order 2 with capacitor values, which the currents read
    fx::use(fx::make_ss(2, {-1, 0, 0, -2}, {1, 1}, {1, 1}));
    fst.cur_filter.cap[0] = fst.cur_filter.cap[1] = 1e-12;
    init_plot_settings();
    pst.h_cols = COL_REIM;
    pst.f_cols = COL_MAGN | COL_REIM;
    pst.current_col = 1;
    pst.fkinvf_col = 1;
    using v = std::vector<std::string>;
    EXPECT_EQ(names_of(col_reader::file, 2),
              (v{"real(H)", "imag(H)", "magn(F1)", "real(F1)", "imag(F1)", "magn(F2)", "real(F2)",
                 "imag(F2)", "current(1)", "current(2)", "re(F*KinvF)/2", "im(F*KinvF)/2"}));
    EXPECT_EQ(names_of(col_reader::window, 2),
              (v{"real(H)", "imag(H)", "magn(F1)", "magn(F2)", "real(F1)", "imag(F1)", "real(F2)",
                 "imag(F2)", "current(1)", "current(2)"}));
    pst.h_time = COL_STEP;
    pst.f_time = COL_IMPULSE | COL_STEP;
    v time;
    for (const time_cell &c : selected_time_cells(2))
        time.push_back(cell_name(*c.col, c.i));
    EXPECT_EQ(time, (v{"step(H)", "impulse(F1)", "impulse(F2)", "step(F1)", "step(F2)"}));
    clear_plot_columns();
}

}  // namespace
