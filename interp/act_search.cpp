// Search items of `transform:`: the rotation searches (do2, do3, do4) and the
// ladder searches (ladder, optladder, optladder2). Each item checks its
// options and the filter, runs its search and installs the result. Every
// search costs its candidates on analysis data of its own: the current
// filter's stay as they are unless a result is installed.
#include "interp/act_search.h"

#include <gsl/gsl_errno.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "dynrange/cost.h"
#include "dynrange/rotation_search.h"
#include "filter/current.h"
#include "filter/transform_check.h"
#include "ladder/ladder_search.h"
#include "base/error.h"
#include "base/globals.h"
#include "numeric/poly.h"
#include "numeric/vector.h"

namespace {

// Ladder item state kept between the pieces of one item.
struct search_state {
    std::vector<double> weights;  // the ladder weight vector
    int weights_given = 0;        // 1 once a weight list was written
    int grid = 5;                 // grid size of optladder
    int grid_refused = 0;         // 1 when `grid = n` was written with n below 1
} sst;

constexpr double min_step = 0.001;

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
    // The search moves by the step until no move helps, then quarters it
    // down to 1e-6: a smaller start only makes it crawl (step 1e-5 on a
    // sixth-order filter runs for minutes), so it is refused.
    if (step < min_step) {
        error("step size is too small (at least 0.001)");
        return false;
    }
    return true;
}

// The weight grid of optladder and optladder2 has one point per composition
// of the grid size N into n parts (the n - 1 weights and the rest):
// C(N + n - 1, n - 1) points, each a ladder synthesis; beyond this many it is
// refused.
constexpr double max_grid_points = 200000;

// The grid of do4 visits steps^(n (n - 1)) points, each a cost evaluation
// and a printed line: 3^12 = 531441 at order 4 with the default 3 steps
// (some seconds), 4^12 or 3^20 beyond any useful time; refused above this.
constexpr double max_do4_points = 1e7;

bool ladder_grid_ok(int N, int n)
{
    double points = 1;
    for (int i = 1; i < n && points <= max_grid_points; i++)
        points = points * (N + (double)i) / i;
    if (points > max_grid_points) {
        error("too many grid points: grid %d on order %d (at most 200000 points)", N, n);
        return false;
    }
    return true;
}

// A weight that is infinite or not a number (1e400 reads as infinity) has no
// ladder; the item is refused as `input:` refuses such an element.
bool weights_finite()
{
    for (double w : sst.weights)
        if (!std::isfinite(w)) {
            error("ladder weight not finite");
            return false;
        }
    return true;
}

bool grid_ok(int steps, int n)
{
    double points = std::pow((double)steps, (double)n * (n - 1));
    if (points > max_do4_points) {
        error("too many grid points: %d steps on order %d (at most 10000000 points)", steps, n);
        return false;
    }
    return true;
}

// Installs the result of a search when it realises the current filter, or
// keeps the current filter when there is none or the check refuses it.
void take_result(const char *item, ss r)
{
    if (r.n > 0)
        install_checked(item, r);
}

void rotation_item(double step, int mode)
{
    if (step_ok(step) && filter_defined())
        take_result(mode == 0 ? "do2" : "do3", dr_optimize4(ist.out_fp, fst.cur_filter, step, mode));
}

void grid_size_error() { error("the grid size must be 1 or more"); }

// The checks and the reference cost of a ladder item: the filter is scaled
// by filter_cost, and its numerator and denominator are copied for the
// search.
bool ladder_start_cost(double *cost0, poly *N, poly *D)
{
    if (!filter_defined())
        return false;
    *cost0 = filter_cost(fst);
    // the scaling carried the cached K and W along: they must stay those of
    // the filter, which stays scaled when no ladder is installed
    settle_gramians(fst);
    if (!usable_cost(*cost0)) {
        error("cannot optimize: the noise cost of this filter cannot be determined");
        return false;
    }
    nmat_ready(fst.ana);
    *N = polycopy(fst.ana.ana_num.coef, fst.ana.ana_num.degree);
    *D = polycopy(fst.ana.ana_den.coef, fst.ana.ana_den.degree);
    return true;
}

void free_copies(poly *N, poly *D)
{
    if (N->degree >= 0)
        freepoly(N);
    if (D->degree >= 0)
        freepoly(D);
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
    if (filter_defined() && grid_ok(steps, fst.cur_filter.n))
        take_result("do4", dr_optimize4_grid(ist.out_fp, fst.cur_filter, steps));
}

void act_ladder_start()
{
    sst.weights.assign(1, 0.5);
    sst.weights_given = 0;
    sst.grid_refused = 0;
}

void act_optladder_start()
{
    sst.weights.assign(1, 1.0);
    sst.weights_given = 0;
    sst.grid = 5;
    sst.grid_refused = 0;
}

void act_ladder_weight(double w)
{
    // the first value written replaces the default, the others follow it
    if (!sst.weights_given)
        sst.weights.clear();
    sst.weights.push_back(w);
    sst.weights_given = 1;
}

void act_ladder_grid(int n)
{
    sst.grid = n;
    sst.grid_refused = n < 1;
}

void act_tr_ladder()
{
    double cost0;
    poly N, D;
    if (sst.grid_refused)
        grid_size_error();
    else if (weights_finite() && ladder_start_cost(&cost0, &N, &D)) {
        FILE *fp = ist.out_fp;
        dr_scale_from_sf();
        vector p = newvector((int)sst.weights.size());
        for (int i = 0; i < p.n; i++)
            p.data[i] = sst.weights[i];
        vector no_guess;
        ladder_result r = dr_solutions(N, D, p, 0.5, no_guess, cost0);
        if (r.status != 0) {
            fprintf(fp, "Ladder transformation did not converge, filter is not transformed.\n");
        } else if (r.nsol == 0) {
            fprintf(fp, "There is no solution, filter is not transformed.\n");
        } else {
            install_filter(r.systems[0]);
            r.systems[0] = ss();
        }
        for (ss &s : r.systems)
            free_ss(&s);
        freevector(&p);
        free_copies(&N, &D);
    }
    sst.weights.clear();
}

void act_tr_optladder()
{
    double cost0;
    poly N, D;
    bool grid_fits = sst.weights_given || fst.cur_filter.n < 1 || ladder_grid_ok(sst.grid, fst.cur_filter.n);
    if (sst.grid_refused || sst.grid < 1)
        grid_size_error();
    else if (weights_finite() && grid_fits && ladder_start_cost(&cost0, &N, &D)) {
        FILE *fp = ist.out_fp;
        ss res;
        int status;
        if (sst.weights_given) {
            status = dr_optimize(&res, N, D, (int)sst.weights.size(), sst.weights.data(), cost0);
        } else {
            vector g = dr_grid(N, D, sst.grid, cost0);
            status = dr_optimize(&res, N, D, g.n, g.data, cost0);
            freevector(&g);
        }
        if (res.n >= 1) {
            install_filter(res);
        } else {
            if (status != 0)
                fprintf(fp, "%s\n", gsl_strerror(status));
            fprintf(fp, "Filter not transformed.");
        }
        free_copies(&N, &D);
    }
    sst.weights.clear();
}

void act_tr_optladder2(int n)
{
    double cost0;
    poly N, D;
    if (n < 1) {
        grid_size_error();
        return;
    }
    if (fst.cur_filter.n > 0 && !ladder_grid_ok(n, fst.cur_filter.n))
        return;
    if (!ladder_start_cost(&cost0, &N, &D))
        return;
    ss res;
    int status = dr_grid_solutions(&res, N, D, n, cost0);
    if (res.n >= 1) {
        install_filter(res);
    } else {
        if (status != 0)
            error("%s\nfilter not transformed", gsl_strerror(status));
        else
            error("no solution found\nfilter not transformed");
    }
    free_copies(&N, &D);
}
