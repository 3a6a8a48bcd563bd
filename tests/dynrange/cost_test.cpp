// The noise cost of a realisation: the closed form of the sum, the cost of
// the current filter (which scales it), and the cost of a candidate record,
// checked against scaling by dense sweeps and Lyapunov solves with GSL.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "search_reference.h"
#include "dynrange/cost.h"
#include "dynrange/peaks.h"
#include "filter/approx.h"
#include "filter/gramian.h"
#include "filter/transfer.h"
#include "base/vars.h"
#include "numeric/complex.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"

using namespace drt;

namespace {

matrix from_rows(int n, const dvec &rows)
{
    matrix M = newm(n, n);
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            M.data[j * n + i] = rows[i * n + j];
    return M;
}

TEST(FilterCostSum, ClosedForms)
{
    struct row {
        const char *name;
        ss s;
        dvec W;
        double eqc, optc;
    };
    // g = |B_i| + sum_j |A_ij|; t_i = W_ii g_i; eqc: sum t_i, optc: (sum sqrt t_i)^2
    std::vector<row> rows = {
        {"A = 0, B = (1, 1), W = I", make_ss(2, {0, 0, 0, 0}, {1, 1}, {1, 1}), {1, 0, 0, 1}, 2.0, 4.0},
        {"signs do not count", make_ss(2, {-1, 2, -3, 0}, {-1, 0}, {0, 1}), {4, 7, 7, 9}, 4 * 4 + 9 * 3, std::pow(4.0 + std::sqrt(27.0), 2)},
        {"off-diagonal W unused", make_ss(3, {0, 1, 0, 0, 0, 1, -1, -2, -2}, {0, 0, 1}, {1, 0, 0}), {2, 5, 5, 5, 3, 5, 5, 5, 0.5},
         2 * 1 + 3 * 1 + 0.5 * 6, std::pow(std::sqrt(2.0) + std::sqrt(3.0) + std::sqrt(3.0), 2)},
    };
    for (auto &r : rows) {
        program p;
        matrix W = from_rows(r.s.n, r.W);
        EXPECT_DOUBLE_EQ(filter_cost_sum(r.s, W), r.eqc) << r.name;
        ist.optc_flag = 1;
        EXPECT_DOUBLE_EQ(filter_cost_sum(r.s, W), r.optc) << r.name;
        freem(&W);
        free_ss(&r.s);
    }
}

// filter_cost scales the current filter (sf from the variable) and costs it;
// a second call finds it scaled already and returns the same cost.
TEST(FilterCost, ScalesTheCurrentFilterAndCostsIt)
{
    for (double sf : {1.0, 0.5}) {
        program p;
        if (sf != 1.0)
            set_var_number("sf", sf);
        ss s = butterworth(3);
        ss keep = copy_ss(s);
        install(s);
        double want = true_cost(keep, sf);
        double c = filter_cost(fst);
        EXPECT_NEAR(c, want, 1e-6 * want) << "sf " << sf;
        // the filter stays scaled: every top is sf now, with W cached for it
        dvec t = true_tops(fst.cur_filter);
        for (double x : t)
            EXPECT_NEAR(x, sf, 1e-6) << "sf " << sf;
        dvec W = gram_w(fst.cur_filter);
        ASSERT_EQ(fst.cur_W.rows, 3);
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(at(fst.cur_W, i, i), W[i * 3 + i], 1e-9 * W[i * 3 + i]);
        expect_same_filter(keep, fst.cur_filter, "filter_cost");
        EXPECT_NEAR(filter_cost(fst), c, 1e-8 * c);
        free_ss(&keep);
    }
}

TEST(FilterCost, FailuresGiveZero)
{
    program p;
    EXPECT_EQ(filter_cost(fst), 0.0);  // no filter
    // a pole pair on the j-axis: F has no finite peak, the filter cannot be scaled
    install(make_ss(2, {0, 1, -1, 0}, {0, 1}, {1, 0}));
    EXPECT_EQ(filter_cost(fst), 0.0);
    EXPECT_EQ(ist.exit_status, 1);  // scaling reports its failure
}

TEST(DrOfFilter, CandidateCostAgainstReference)
{
    std::vector<std::pair<const char *, ss>> cases = {
        {"butterworth 3", butterworth(3)},
        {"chebyshev 4, 1 dB", chebyshev(4, 1.0)},
        {"third order with zeros", companion({1, 2, 2, 1}, {1, -0.4, 0.3})},
    };
    for (auto &c : cases) {
        for (double target : {1.0, 2.0}) {
            program p;
            pks.dr_scale = target;
            ss keep = copy_ss(c.second);
            ss cand = copy_ss(c.second);
            int status = -1;
            double cost = dr_of_filter(cand, &status);
            EXPECT_EQ(status, dr_ok) << c.first;
            double want = true_cost(keep, target);
            EXPECT_NEAR(cost, want, 1e-6 * want) << c.first << " target " << target;
            // the candidate itself is scaled, the transfer function kept
            expect_same_filter(keep, cand, c.first);
            // the cost from Gramians handed in equals the solved one
            ss cand2 = copy_ss(keep);
            matrix W = calc_w(fst.ana, cand2, 0);
            double cost2 = dr_of_filter_with(cand2, W, matrix(), &status);
            EXPECT_EQ(status, dr_ok);
            EXPECT_NEAR(cost2, cost, 1e-9 * cost) << c.first;
            pks.dr_scale = 1.0;
            free_ss(&keep);
            free_ss(&cand);
            free_ss(&cand2);
        }
        free_ss(&c.second);
    }
}

// The cost of a candidate, alone or seen through a similarity view, is found
// on analysis data of its own: the current filter's stay as they were, the
// same preparation, and answer for the current filter (butterworth(3):
// |H(jw)|^2 = 1 / (1 + w^6)).
TEST(DrOfFilter, CandidatesLeaveTheCurrentFilterAlone)
{
    program p;
    install(butterworth(3));
    unsigned stamp = fst.ana.ana_generation;
    ss cand = chebyshev(4, 1.0);
    int status = -1;
    dr_of_filter(cand, &status);
    EXPECT_EQ(status, dr_ok);
    ss base = butterworth(4);
    matrix T = mid(4, 4);
    T.data[1] = 0.5;  // T(1, 0)
    matrix Ti = minv(T);
    analysis_ctx search;
    dr_of_similar(search, base, T, Ti, matrix(), matrix(), &status);
    EXPECT_EQ(status, dr_ok);
    EXPECT_EQ(fst.ana.ana_generation, stamp);
    EXPECT_EQ(fst.ana.ana_ss.A.data, fst.cur_filter.A.data);
    for (double w : {0.0, 0.7, 1.0, 3.0})
        EXPECT_NEAR(cmod2(h_jw(fst.ana, w)), 1.0 / (1.0 + std::pow(w, 6)), 1e-12) << w;
    freem(&T);
    freem(&Ti);
    free_ss(&cand);
    free_ss(&base);
}

TEST(DrOfFilter, FailuresByStatus)
{
    program p;
    int status = -1;
    // poles on the j-axis: no finite peak, cannot scale; no message for a candidate
    ss osc = make_ss(2, {0, 1, -1, 0}, {0, 1}, {1, 0});
    EXPECT_EQ(dr_of_filter(osc, &status), DBL_MAX);
    EXPECT_EQ(status, dr_no_scale);
    // C = 0: W = 0 and a cost of 0 is no cost at all
    ss mute = make_ss(2, {0, 1, -1, -1}, {0, 1}, {0, 0});
    EXPECT_EQ(dr_of_filter(mute, &status), DBL_MAX);
    EXPECT_EQ(status, dr_no_w);
    EXPECT_EQ(ist.exit_status, 0);
    EXPECT_EQ(p.report(), "");
    free_ss(&osc);
    free_ss(&mute);
}

TEST(DrChange, DecibelsOfTheCostRatio)
{
    EXPECT_DOUBLE_EQ(dr_change_db(10.0, 1.0), 10.0);
    EXPECT_DOUBLE_EQ(dr_change_db(1.0, 100.0), -20.0);
    EXPECT_TRUE(usable_cost(1e-30));
    EXPECT_FALSE(usable_cost(0.0));
    EXPECT_FALSE(usable_cost(DBL_MAX));
    EXPECT_FALSE(usable_cost(NAN));
    EXPECT_FALSE(usable_cost(-1.0));
}

}  // namespace
