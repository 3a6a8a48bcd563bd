// The items do, scale, scalew and scalek of `transform:` on the current
// filter: the caches that follow, the capacitance division and the errors.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/dynrange/dr_helpers.h"
#include "interp/act_transform.h"
#include "base/error.h"

using namespace drt;

namespace {

TEST(TransformDo, CachesFollowAndMatchFreshSolves)
{
    program p;
    ss s = companion({1, 2, 2, 1}, {1, -0.4, 0.3});
    ss keep = copy_ss(s);
    install(s);
    act_tr_do();
    ASSERT_EQ(ist.exit_status, 0);
    const int n = 3;
    dvec K = gram_k(fst.cur_filter), W = gram_w(fst.cur_filter);
    dvec modes = modes_of(keep);
    double mean = (modes[0] + modes[1] + modes[2]) / 3;
    for (int i = 0; i < n; i++) {
        EXPECT_NEAR(K[i * n + i], mean, 1e-9);
        for (int j = 0; j < n; j++) {
            EXPECT_NEAR(at(fst.cur_K, i, j), K[i * n + j], 1e-9);
            EXPECT_NEAR(at(fst.cur_W, i, j), W[i * n + j], 1e-9);
            EXPECT_NEAR(K[i * n + j], W[i * n + j], 1e-9);
        }
    }
    for (double w : {0.0, 0.8, 3.0})
        EXPECT_LT(std::abs(H_of(fst.cur_filter, w) - H_of(keep, w)), 1e-9);
    // the analysis data is that of the new filter
    EXPECT_EQ(fst.ana.ana_ss.A.data, fst.cur_filter.A.data);
    // again, from the cached Gramians: the realisation stays balanced
    act_tr_do();
    K = gram_k(fst.cur_filter);
    for (int i = 0; i < n; i++)
        EXPECT_NEAR(K[i * n + i], mean, 1e-9);
}

TEST(TransformDo, DividesTheCapacitanceAgain)
{
    struct cap_case {
        bool ctot;
        int evalc;
        double want;  // each of the two capacitor values afterwards
    };
    for (cap_case c : {cap_case{true, 1, 5e-13}, cap_case{false, 1, 0.0}, cap_case{true, 0, 0.0}}) {
        for (int item : {0, 1}) {
            program p;
            install(butter2());
            if (c.ctot)
                set_var_number("ctot", 1e-12);
            ist.evalc_flag = c.evalc;
            if (item == 0) {
                act_tr_do();
            } else {
                ensure_w(fst);  // divided only when W is cached
                act_tr_scale();
            }
            EXPECT_EQ(fst.cur_filter.cap[0], c.want);
            EXPECT_EQ(fst.cur_filter.cap[1], c.want);
        }
    }
    // L-infinity scale without a cached W leaves the values alone
    program p;
    install(butter2());
    set_var_number("ctot", 1e-12);
    act_tr_scale();
    EXPECT_EQ(fst.cur_W.cols, 0);
    EXPECT_EQ(fst.cur_filter.cap[0], 0.0);
}

TEST(TransformScale, ArgumentsAndMissingFilter)
{
    program p;
    // the argument is evaluated first: an unresolved one is reported alone
    act_tr_scalew(new_varnode(xstrdup("nothing")));
    EXPECT_EQ(ist.exit_status, 1);
    // with a value but no filter: "no filter defined", nothing else happens
    program q;
    act_tr_scalek(new_numb(2.0));
    act_tr_do();
    act_tr_scale();
    EXPECT_EQ(ist.exit_status, 1);
    EXPECT_EQ(fst.cur_filter.n, 0);
    // scalew computes W when it is not cached
    program r;
    install(make_ss(1, {-1}, {1}, {1}));
    act_tr_scalew(new_numb(2.0));
    ASSERT_EQ(fst.cur_W.rows, 1);
    EXPECT_NEAR(fst.cur_W.data[0], 2.0, 1e-12);
    EXPECT_EQ(fst.cur_K.rows, 0);
    act_tr_scalek(new_numb(3.0));
    EXPECT_NEAR(fst.cur_K.data[0], 3.0, 1e-12);
    EXPECT_NEAR(fst.cur_W.data[0], 2.0 / 24, 1e-12);
    EXPECT_EQ(ist.exit_status, 0);
}

}  // namespace
