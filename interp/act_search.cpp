// Search items of `transform:`: the rotation searches (do2, do3, do4) and the
// ladder searches (ladder, optladder, optladder2). Each item checks its
// options and the filter, runs its search and installs the result. Every
// search costs its candidates on the analysis copy, so each item ends by
// preparing the analysis data of the current filter again, whether it
// installed a filter or not.
#include "interp/act_search.h"

#include "dynrange/rotation_search.h"
#include "filter/current.h"
#include "interp/act_common.h"
#include "base/error.h"

namespace {

// Ladder item state kept between the pieces of one item.
struct search_state {
    int grid = 5;
    int weights_given = 0;
} sst;

bool step_ok(double step)
{
    if (!(step > 0)) {
        error("step size is negative");
        return false;
    }
    // a step of 1 turns every angle by a whole pi: the search refuses it
    if (step >= 1) {
        error("step size is too large");
        return false;
    }
    return true;
}

// Installs the result of a search, or keeps the current filter when there is
// none; either way the analysis data are those of the current filter after.
void take_result(ss r)
{
    if (r.n > 0)
        install_filter(r);
    else
        analysis_prep(fst.cur_filter);
}

void rotation_item(double step, int mode)
{
    if (step_ok(step) && filter_defined())
        take_result(dr_optimize4(fst.cur_filter, step, mode));
}

}  // namespace

void act_tr_do2(double step) { rotation_item(step, 0); }

void act_tr_do3(double step) { rotation_item(step, 1); }

void act_tr_do4(int steps)
{
    if (steps <= 1) {
        error("too few steps");
        return;
    }
    if (filter_defined())
        take_result(dr_optimize4_grid(fst.cur_filter, steps));
}

void act_ladder_start()
{
    sst.weights_given = 0;
}

void act_optladder_start()
{
    sst.weights_given = 0;
    sst.grid = 5;
}

void act_ladder_weight(double)
{
    sst.weights_given = 1;
}

void act_ladder_grid(int n)
{
    sst.grid = n;
}

void act_tr_ladder()
{
    if (filter_defined())
        act_not_built("transform: ladder");
}

void act_tr_optladder()
{
    if (filter_defined())
        act_not_built("transform: optladder");
}

void act_tr_optladder2(int)
{
    if (filter_defined())
        act_not_built("transform: optladder2");
}
