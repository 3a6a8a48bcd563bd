// Search items of `transform:`. The rotation and ladder searches themselves
// are not part of this build: each item makes its own checks, then reports
// that the search is not available and leaves the filter as it is.
#include "interp/act_search.h"

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
    if (step > 1) {
        error("step size is too large");
        return false;
    }
    return true;
}

}  // namespace

void act_tr_do2(double step)
{
    if (step_ok(step) && filter_defined())
        act_not_built("transform: do2");
}

void act_tr_do3(double step)
{
    if (step_ok(step) && filter_defined())
        act_not_built("transform: do3");
}

void act_tr_do4(int steps)
{
    if (steps <= 1) {
        error("too few steps");
        return;
    }
    if (filter_defined())
        act_not_built("transform: do4");
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
