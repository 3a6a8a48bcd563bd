// The rotation items do2, do3 and do4 of `transform:` on the current filter:
// what they install, the caches they drop, and the analysis data they leave.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/dynrange/search_reference.h"
#include "interp/act_search.h"
#include "filter/approx.h"
#include "base/vars.h"

using namespace drt;

namespace {

TEST(RotationItems, InstallTheResultAndDropTheCaches)
{
    struct item {
        const char *name;
        void (*run)();
    };
    item items[] = {
        {"do2", [] { act_tr_do2(0.1); }},
        {"do3", [] { act_tr_do3(0.1); }},
        {"do4", [] { act_tr_do4(2); }},
    };
    for (const item &it : items) {
        program p;
        ss s = butterworth(3);
        ss keep = copy_ss(s);
        install(s);
        set_var_number("ctot", 1e-12);
        ensure_k();
        ensure_w();
        fst.cur_filter.cap[0] = 1e-13;
        double *old_a = fst.cur_filter.A.data;
        it.run();
        EXPECT_EQ(ist.exit_status, 0) << it.name;
        EXPECT_NE(fst.cur_filter.A.data, old_a) << it.name;
        expect_same_filter(keep, fst.cur_filter, it.name);
        EXPECT_EQ(fst.cur_K.cols, 0) << it.name;
        EXPECT_EQ(fst.cur_W.cols, 0) << it.name;
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(fst.cur_filter.cap[i], 0.0) << it.name;
        EXPECT_EQ(fst.ana_ss.A.data, fst.cur_filter.A.data) << it.name;
        free_ss(&keep);
    }
}

// A search that cannot start leaves the filter, its caches and its
// analysis data as they were, after evaluating candidates of its own.
TEST(RotationItems, RefusedSearchLeavesTheFilterAndItsAnalysisData)
{
    program p;
    install(make_ss(2, {0, 1, -1, 0}, {0, 1}, {1, 0}));
    double *a = fst.cur_filter.A.data;
    act_tr_do2(0.1);
    EXPECT_EQ(ist.exit_status, 1);
    EXPECT_EQ(fst.cur_filter.A.data, a);
    EXPECT_EQ(fst.ana_ss.A.data, a);
    ASSERT_EQ(fst.ana_den.degree, 2);
    EXPECT_DOUBLE_EQ(fst.ana_den.coef[0], 1.0);
    EXPECT_DOUBLE_EQ(fst.ana_den.coef[1], 0.0);
}

}  // namespace
