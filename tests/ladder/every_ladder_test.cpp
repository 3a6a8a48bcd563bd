// Every real ladder at orders 5 to 8 against all-solutions references of
// the ladder equations made by hand, and the choice of the cheapest one
// against costs from dense sweeps and GSL Lyapunov solves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/dynrange/search_reference.h"
#include "dynrange/cost.h"
#include "filter/approx.h"
#include "ladder/ladder.h"
#include "ladder/ladder_search.h"
#include "numeric/poly.h"
#include "numeric/vector.h"

using namespace drt;

namespace {

// One (target, weights) pair and the products b_0..b_(n-2) of every real
// ladder of its target normalised to unit frequency (roots divided by
// |d_0/d_n|^(1/n), so that b scales by that factor squared).
struct ladder_case {
    const char *name;
    ss (*make)();
    dvec w;
    std::vector<dvec> ladders;
};

// The products of record s, brought to unit frequency.
dvec unit_products(const ss &s, const poly &D)
{
    const int n = s.n;
    const double f = std::pow(std::fabs(D.coef[0] / D.coef[n]), 1.0 / n);
    dvec b(n - 1);
    for (int i = 0; i + 1 < n; i++)
        b[i] = at(s.A, i, i + 1) * at(s.A, i + 1, i) / (f * f);
    return b;
}

// The reference it equals to 1e-6 of its largest product, each reference
// taken once; -1 when none.
int match(const dvec &b, const std::vector<dvec> &refs, std::vector<bool> &used)
{
    for (std::size_t j = 0; j < refs.size(); j++) {
        double big = 0.0, diff = 0.0;
        for (std::size_t i = 0; i < b.size(); i++) {
            big = std::max(big, std::fabs(refs[j][i]));
            diff = std::max(diff, std::fabs(b[i] - refs[j][i]));
        }
        if (!used[j] && diff <= 1e-6 * big) {
            used[j] = true;
            return static_cast<int>(j);
        }
    }
    return -1;
}

struct transfer {
    poly N, D;
    explicit transfer(const ss &s)
    {
        analysis_prep(s);
        N = polycopy(fst.ana_num.coef, fst.ana_num.degree);
        D = polycopy(fst.ana_den.coef, fst.ana_den.degree);
    }
    ~transfer()
    {
        freepoly(&N);
        freepoly(&D);
    }
};

// The references: every solution of the ladder equations (the target
// scaled to unit frequency, the diagonal from the weights) by PHCpack's
// blackbox solver (phc -b) united with 40-digit Newton's method (mpmath)
// from 300 seeded random complex starts and, at orders 5 to 7, from
// Singular's solve (over the exact rationals of the doubles; its vdim, the
// number of solutions with their multiplicities, in the comments); each
// refined to a residual below 1e-30, the real ones (imaginary parts below
// 1e-25) taken once. Run once by hand. Singular's solve alone missed one
// real solution of butterworth(6) with (0.3, 0.2), and PHCpack alone left
// some paths failed at order 8: only the union is the reference.
const std::vector<ladder_case> &cases()
{
    static const std::vector<ladder_case> c = {
        // vdim 4, no real solution
        {"ic5_issue", [] { return ic_approx(5, 40.0); }, {0.166667, 0.166667, 0.333333, 0.333333}, {}},
        // vdim 8
        {"butterworth6",
         [] { return butterworth(6); },
         {0.3, 0.2},
         {{-0.611898593726846, -0.561150050063757, -0.663309969961744, -1.33135146000279e-15, -0.999999999999999},
          {-0.104307806183467, -1.17248596621755e-15, -0.577350269189625, -0.422649730810374, -1.73205080756888},
          {1.14362925836918, -4.03490617084271, 1.47628352559895, -0.0553398230933261, -1.36602540378444},
          {1.33789884045769, -5.43564363552511, 2.26138618131507, 4.0314617126228e-17, -0.999999999999998}}},
        // REFERENCE_TABLE
    };
    return c;
}

class EveryLadder : public testing::TestWithParam<ladder_case> {};

// The synthesis lists exactly the real ladders of the reference (and so
// says "no solution" with status 0 where it has none); each record
// realises the target.
TEST_P(EveryLadder, ListsEveryRealLadder)
{
    program p;
    const ladder_case &c = GetParam();
    ss s = c.make();
    transfer t(s);
    ladder_result r = ladder(t.N, t.D, static_cast<int>(c.w.size()), c.w.data(), 0.5, 0, nullptr);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.nsol, static_cast<int>(c.ladders.size()));
    std::vector<bool> used(c.ladders.size(), false);
    for (const ss &x : r.systems) {
        const dvec b = unit_products(x, t.D);
        EXPECT_GE(match(b, c.ladders, used), 0) << "a ladder that is no reference one, b_0 = " << b[0];
        expect_same_filter(s, x, "ladder record");
    }
    for (std::size_t j = 0; j < used.size(); j++)
        EXPECT_TRUE(used[j]) << "reference ladder " << j << " not listed, b_0 = " << c.ladders[j][0];
    for (ss &x : r.systems)
        free_ss(&x);
    free_ss(&s);
}

INSTANTIATE_TEST_SUITE_P(Orders5To8, EveryLadder, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<ladder_case> &i) { return std::string(i.param.name); });

// butterworth(7) with (0.6, 0.3): of the ten real ladders the ladder item
// installs the one of the lowest cost, by the costs of dense sweeps and GSL
// Lyapunov solves; it is the ladder with b = (-1.35831, -1.66743,
// -0.591535, -0.361303, -0.27802, -0.388412) (40-digit Newton, as above),
// which loses 0.012 dB against the cascade, where the one installed before
// lost 31.45 dB.
TEST(EveryLadderChoice, InstallsTheCheapestOfAll)
{
    program p;
    ss s = butterworth(7);
    ss keep = copy_ss(s);
    install(s);
    const double cost0 = filter_cost();
    transfer t(fst.cur_filter);
    const dvec w{0.6, 0.3};
    ladder_result all = ladder(t.N, t.D, 2, w.data(), 0.5, 0, nullptr);
    ASSERT_EQ(all.nsol, 10);
    vector pw = newvector(2), q = null_vector();
    pw.data[0] = 0.6;
    pw.data[1] = 0.3;
    ladder_result r = dr_solutions(t.N, t.D, pw, 0.5, q, cost0);
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.nsol, 1);
    EXPECT_NE(p.report().find("There are 10 solutions.\n"), std::string::npos);
    const double chosen = true_cost(r.systems[0]);
    for (const ss &x : all.systems)
        EXPECT_LE(chosen, true_cost(x) * (1 + 1e-3)) << "a cheaper ladder, b_0 = " << unit_products(x, t.D)[0];
    const dvec want = {-1.35830768295, -1.66742771943, -0.591534517055, -0.361302584104, -0.278019782807,
                       -0.388411666011};
    const dvec got = unit_products(r.systems[0], t.D);
    for (std::size_t i = 0; i < want.size(); i++)
        EXPECT_NEAR(got[i], want[i], 1e-9);
    EXPECT_NEAR(dr_change_db(true_cost(keep), chosen), -0.012, 2e-3);
    for (ss &x : all.systems)
        free_ss(&x);
    free_ss(&r.systems[0]);
    free_ss(&keep);
    freevector(&pw);
}

}  // namespace
