// Ladder dynamic-range searches: the grid counter against a plain
// enumeration of compositions, and the searches checked for what they keep
// (the transfer function), for the changes they report (against costs from
// dense sweeps and GSL Lyapunov solves) and for never ending worse than
// they started.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/dynrange/search_reference.h"
#include "dynrange/cost.h"
#include "dynrange/peaks.h"
#include "filter/approx.h"
#include "ladder/ladder.h"
#include "ladder/ladder_search.h"
#include "base/vars.h"
#include "numeric/poly.h"
#include "numeric/vector.h"

using namespace drt;

namespace {

// Every composition of N into L parts, by brute force.
std::set<std::vector<int>> compositions(int L, int N)
{
    std::set<std::vector<int>> out;
    std::vector<int> c(L, 0);
    for (;;) {
        int sum = 0;
        for (int x : c)
            sum += x;
        if (sum == N)
            out.insert(c);
        int k = 0;
        while (k < L && c[k] == N) {
            c[k] = 0;
            k++;
        }
        if (k == L)
            break;
        c[k]++;
    }
    return out;
}

TEST(GridCounter, VisitsEveryCompositionOnce)
{
    for (int L = 1; L <= 6; L++)
        for (int N = 1; N <= 6; N++) {
            std::vector<int> c(L);
            grid_index(c.data(), L, N);
            std::vector<int> first(L, 0);
            first[L - 1] = N;
            EXPECT_EQ(c, first);
            std::set<std::vector<int>> seen{c};
            size_t steps = 1;
            while (count_grid(c.data(), L)) {
                steps++;
                seen.insert(c);
                ASSERT_LE(steps, 100000u) << "L " << L << " N " << N;
            }
            EXPECT_EQ(steps, seen.size()) << "a point visited twice, L " << L << " N " << N;
            EXPECT_EQ(seen, compositions(L, N)) << "L " << L << " N " << N;
        }
}

// With one unit over three entries the weights (entries 2 and 3) are
// visited as (0, 1), (1, 0), (0, 0).
TEST(GridCounter, OrderOfTheSmallestGrid)
{
    int c[3];
    grid_index(c, 3, 1);
    std::vector<std::pair<int, int>> w{{c[1], c[2]}};
    while (count_grid(c, 3))
        w.push_back({c[1], c[2]});
    EXPECT_EQ(w, (std::vector<std::pair<int, int>>{{0, 1}, {1, 0}, {0, 0}}));
}

TEST(GridCounterDeath, NegativeEntryEndsTheProgram)
{
    int c[3] = {0, -1, 2};
    EXPECT_EXIT(count_grid(c, 3), testing::ExitedWithCode(1), "count_grid: element is negative");
}

// The transfer function of a filter as two program polynomials.
struct target {
    poly N, D;
    explicit target(const ss &s)
    {
        analysis_prep(fst.ana, s);
        N = polycopy(fst.ana.ana_num.coef, fst.ana.ana_num.degree);
        D = polycopy(fst.ana.ana_den.coef, fst.ana.ana_den.degree);
    }
    ~target()
    {
        freepoly(&N);
        freepoly(&D);
    }
};

vector vec(const dvec &v)
{
    vector r = newvector((int)v.size());
    for (size_t i = 0; i < v.size(); i++)
        r.data[i] = v[i];
    return r;
}

// The records of one synthesis, each checked to realise the filter.
std::vector<ss> ladders_of(const ss &s, const target &t, const dvec &w, double bd = 0.5)
{
    ladder_result r = ladder(t.N, t.D, (int)w.size(), w.data(), bd, 0, nullptr);
    for (const ss &x : r.systems)
        expect_same_filter(s, x, "ladder record");
    return r.systems;
}

TEST(DrTransform, CostsOfEverySolution)
{
    program p;
    ss s = cauer(5, 0.5, 40);
    target t(s);
    for (const dvec &w : {dvec{0.5}, dvec{0.6, 0.0}}) {
        std::vector<ss> recs = ladders_of(s, t, w);
        ASSERT_GE(recs.size(), 2u);
        vector pw = vec(w), q = null_vector();
        int status = -1;
        vector costs = dr_transform(t.N, t.D, pw, 0.5, q, &status);
        EXPECT_EQ(status, dr_ok);
        ASSERT_EQ(costs.n, (int)recs.size());
        double least = DBL_MAX;
        for (int k = 0; k < costs.n; k++) {
            double want = true_cost(recs[k]);
            EXPECT_NEAR(costs.data[k], want, 1e-6 * want) << "solution " << k;
            least = std::min(least, costs.data[k]);
        }
        EXPECT_EQ(dr_eval(t.N, t.D, pw, 0.5, q, &status), least);
        for (ss &x : recs)
            free_ss(&x);
        freevector(&costs);
        freevector(&pw);
    }
    free_ss(&s);
}

TEST(DrTransform, FailedSynthesisIsStatusOne)
{
    program p;
    ss s = butterworth(11);
    target t(s);
    // the synthesis does not converge for these weights
    vector pw = vec({0.3, 0.2}), q = null_vector();
    int status = -1;
    vector costs = dr_transform(t.N, t.D, pw, 0.5, q, &status);
    EXPECT_EQ(status, dr_no_convergence);
    EXPECT_EQ(costs.n, 0);
    EXPECT_EQ(dr_eval(t.N, t.D, pw, 0.5, q, &status), DBL_MAX);
    EXPECT_EQ(std::string(dr_status_text(status)), " no convergence\n");
    freevector(&pw);
    free_ss(&s);
}

// Every solution of chebyshev(4, 1) with the weights (0.4, 0.1) is complex
// (SymPy, lex Groebner basis in exact rationals, run once by hand): no
// solution, status 3.
TEST(DrTransform, NoRealLadderIsStatusThree)
{
    program p;
    ss s = chebyshev(4, 1.0);
    target t(s);
    vector pw = vec({0.4, 0.1}), q = null_vector();
    int status = -1;
    vector costs = dr_transform(t.N, t.D, pw, 0.5, q, &status);
    EXPECT_EQ(status, dr_no_solution);
    EXPECT_EQ(costs.n, 0);
    EXPECT_EQ(std::string(dr_status_text(dr_no_w)), " cannot determine W\n");
    EXPECT_EQ(std::string(dr_status_text(dr_no_solution)), " no solution\n");
    EXPECT_EQ(std::string(dr_status_text(dr_no_scale)), " cannot scale\n");
    EXPECT_EQ(std::string(dr_status_text(7)), " error\n");
    freevector(&pw);
    free_ss(&s);
}

// Several solutions: each reported with its products b_i and its change,
// the cheapest (by independent costs) chosen and handed back alone.
TEST(DrSolutions, ChoosesTheCheapestSolution)
{
    program p;
    ss s = cauer(5, 0.5, 40);
    ss keep = copy_ss(s);
    install(s);
    double cost0 = filter_cost(fst);
    target t(fst.cur_filter);
    dvec w{0.6, 0.0};
    std::vector<ss> recs = ladders_of(keep, t, w);
    ASSERT_EQ(recs.size(), 3u);
    vector pw = vec(w), q = null_vector();
    ladder_result r = dr_solutions(t.N, t.D, pw, 0.5, q, cost0);
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.nsol, 1);
    std::string rep = p.report();
    EXPECT_EQ(rep.rfind("There are 3 solutions.\n", 0), 0u) << rep;
    int best = 0;
    dvec change(3);
    for (int k = 0; k < 3; k++) {
        change[k] = dr_change_db(true_cost(keep), true_cost(recs[k]));
        if (change[k] > change[best])
            best = k;
        char head[8];
        snprintf(head, sizeof head, "%3d:", k);
        dvec line = numbers_after(rep, head);
        ASSERT_EQ(line.size(), 5u);
        for (int i = 1; i < 5; i++)
            EXPECT_NEAR(line[i - 1], at(recs[k].A, i - 1, i) * at(recs[k].A, i, i - 1), 1e-5 * std::fabs(line[i - 1]));
        EXPECT_NEAR(line[4], change[k], 2e-3) << "solution " << k;
    }
    EXPECT_NE(rep.find("Choosing solution " + std::to_string(best) + ".\n\n"), std::string::npos);
    expect_same_filter(keep, r.systems[0], "chosen");
    for (int i = 0; i + 1 < 5; i++)
        EXPECT_NEAR(at(r.systems[0].A, i, i + 1) * at(r.systems[0].A, i + 1, i),
                    at(recs[best].A, i, i + 1) * at(recs[best].A, i + 1, i), 1e-9);
    for (ss &x : recs)
        free_ss(&x);
    free_ss(&r.systems[0]);
    free_ss(&keep);
    freevector(&pw);
}

// One solution is handed back without a report, scaled as it was costed:
// the butterworth(3) ladder with the weight 0.5 has the diagonal (-1, 0, -1)
// (equal ends, the products split half and half: b_0 = b_1 = -1/2); scaling
// keeps the diagonal and the products and brings every top of F to the DR
// scale value (tops from dense sweeps, search_reference.h).
TEST(DrSolutions, SingleSolutionScaledAsCosted)
{
    program p;
    ss s = butterworth(3);
    target t(s);
    vector pw = vec({0.5}), q = null_vector();
    ladder_result r = dr_solutions(t.N, t.D, pw, 0.5, q, 1.0);
    ASSERT_EQ(r.nsol, 1);
    const ss &x = r.systems[0];
    const double diag[3] = {-1, 0, -1};
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(at(x.A, i, i), diag[i], 1e-12);
    for (int i = 0; i < 2; i++)
        EXPECT_NEAR(at(x.A, i, i + 1) * at(x.A, i + 1, i), -0.5, 1e-12);
    for (double top : true_tops(x))
        EXPECT_NEAR(top, 1.0, 1e-6);
    EXPECT_EQ(p.report(), "");
    expect_same_filter(s, x, "butterworth ladder");
    free_ss(&r.systems[0]);
    freevector(&pw);
    free_ss(&s);
}

// The coordinate search ends at least as well as it started, reports the
// change of what it returns (against independent costs), and keeps the
// filter. Third order runs the split-factor search; fourth order does not.
TEST(DrOptimize, NeverWorseThanTheStartAndTrueChange)
{
    struct row {
        const char *name;
        ss s;
        dvec start;
        bool singular;
        bool peaks_found;  // the program's peak search finds the true tops
    };
    // (the L-infinity peak search overlooks part of the resonance peaks of
    // the Cauer ladders, so its costs are not compared with dense sweeps)
    std::vector<row> rows = {
        {"butterworth 3", butterworth(3), {0.3}, true, true},
        {"cauer 5", cauer(5, 0.5, 40), {0.6}, false, false},
    };
    for (row &c : rows) {
        program p;
        ist.verbosity = 1;
        ss keep = copy_ss(c.s);
        install(c.s);
        double cost0 = filter_cost(fst);
        target t(fst.cur_filter);
        int m = t.D.degree - 1;
        dvec w0 = c.start;
        w0.resize(m, 0.0);
        vector pw = vec(w0), q = vec(dvec(m, 0.0));
        q.data[0] = 1.0;
        int st;
        double start = dr_eval(t.N, t.D, pw, 0.5, q, &st);
        ASSERT_EQ(st, dr_ok) << c.name;
        ss res;
        int status = dr_optimize(&res, t.N, t.D, (int)c.start.size(), c.start.data(), cost0);
        EXPECT_EQ(status, 0) << c.name;
        ASSERT_EQ(res.n, keep.n) << c.name;
        expect_same_filter(keep, res, c.name);
        std::string rep = p.report();
        dvec line = numbers_after(rep, "Optimum found at\n");
        ASSERT_EQ((int)line.size(), m + 1) << c.name;
        double db = line.back();
        EXPECT_GE(db, dr_change_db(cost0, start) - 1e-3) << c.name;
        EXPECT_NEAR(db, dr_change_db(cost0, program_cost(res)), 1e-3) << c.name;
        if (c.peaks_found) {
            EXPECT_NEAR(db, dr_change_db(true_cost(keep), true_cost(res)), 2e-3) << c.name;
        }
        EXPECT_EQ(rep.find("Trying singular case:\n") != std::string::npos, c.singular) << c.name;
        EXPECT_EQ(rep.find("optimal bd: ") != std::string::npos, c.singular) << c.name;
        free_ss(&keep);
        free_ss(&res);
        freevector(&pw);
        freevector(&q);
    }
}

// Given weights beyond the m of the filter are ignored.
TEST(DrOptimize, ExtraWeightsAreIgnored)
{
    program p;
    ss s = butterworth(3);
    install(s);
    double cost0 = filter_cost(fst);
    target t(fst.cur_filter);
    double two[] = {0.4, 0.1}, four[] = {0.4, 0.1, 7.0, -3.0};
    ss a, b;
    dr_optimize(&a, t.N, t.D, 2, two, cost0);
    std::string ra = p.report();
    program p2;
    install(butterworth(3));
    cost0 = filter_cost(fst);
    target t2(fst.cur_filter);
    dr_optimize(&b, t2.N, t2.D, 4, four, cost0);
    EXPECT_EQ(p2.report(), ra);
    free_ss(&a);
    free_ss(&b);
}

// The grid search finds the grid point of the lowest independent cost.
TEST(DrGrid, BestPointOfTheGrid)
{
    program p;
    ss s = butterworth(3);
    ss keep = copy_ss(s);
    install(s);
    double cost0 = filter_cost(fst);
    target t(fst.cur_filter);
    const int N = 4;
    double best = DBL_MAX;
    dvec best_w;
    for (int i = 0; i <= N; i++)
        for (int j = 0; i + j <= N; j++) {
            dvec w{(double)i / N, (double)j / N};
            std::vector<ss> recs = ladders_of(keep, t, w);
            for (ss &x : recs) {
                double c = true_cost(x);
                if (c < best) {
                    best = c;
                    best_w = w;
                }
                free_ss(&x);
            }
        }
    vector g = dr_grid(t.N, t.D, N, cost0);
    ASSERT_EQ(g.n, 2);
    EXPECT_DOUBLE_EQ(g.data[0], best_w[0]);
    EXPECT_DOUBLE_EQ(g.data[1], best_w[1]);
    dvec line = numbers_after(p.report(), "Optimum found at\n");
    ASSERT_EQ(line.size(), 3u);
    EXPECT_NEAR(line[2], dr_change_db(true_cost(keep), best), 2e-3);
    freevector(&g);
    free_ss(&keep);
}

// With a trace, every grid point after the first prints its weights and
// the change of each solution.
TEST(DrGrid, TraceLinePerPoint)
{
    program p;
    ist.verbosity = 1;
    install(butterworth(3));
    double cost0 = filter_cost(fst);
    target t(fst.cur_filter);
    vector g = dr_grid(t.N, t.D, 1, cost0);
    std::string rep = p.report();
    // points (1, 0) and (0, 0) after the first, (0, 1)
    size_t a = rep.find("     1      0  DR change is ");
    size_t b = rep.find("     0      0  DR change is ");
    EXPECT_NE(a, std::string::npos) << rep;
    EXPECT_NE(b, std::string::npos) << rep;
    EXPECT_LT(a, b);
    freevector(&g);
}

}  // namespace

// The ladder x realises the filter s with its poles and zeros times f:
// poles / f and H(j w f) against those of s, to 1e-6. With ones below the
// diagonal and products of size f^2 above it, A is far from balanced at
// large and small f, and its eigenvalues are ill-conditioned: the check
// takes the similar record with t_i = f^-i (A_ij t_j / t_i, B_i / t_i,
// C_i t_i), whose A is f times a ladder of unit size.
void expect_same_filter_scaled(const ss &s, const ss &x0, double f)
{
    ASSERT_EQ(s.n, x0.n);
    const int n = x0.n;
    dvec A(n * n), B(n), C(n);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++)
            A[i * n + j] = at(x0.A, i, j) * std::pow(f, i - j);
        B[i] = x0.B.data[i] * std::pow(f, i);
        C[i] = x0.C.data[i] * std::pow(f, -i);
    }
    ss x = make_ss(n, A, B, C, x0.D);
    std::vector<cplx> ps = poles_of(s), px = poles_of(x);
    // matched as a set: the order of a conjugate pair can follow rounding
    for (int i = 0; i < s.n; i++) {
        double nearest = 1e300;
        for (const cplx &p : ps)
            nearest = std::min(nearest, std::abs(px[i] / f - p) / std::abs(p));
        EXPECT_LT(nearest, 1e-6) << "pole " << i;
    }
    for (double w : {0.0, 0.3, 0.9, 1.0, 1.7, 5.0}) {
        cplx hs = H_of(s, w), hx = H_of(x, w * f);
        EXPECT_LT(std::abs(hx - hs), 1e-6 * std::max(std::abs(hs), 1e-12)) << "H at w = " << w;
    }
    free_ss(&x);
}

// The synthesis works on the target normalised to unit frequency: with the
// poles and zeros of every approximation of orders 2 to 8 multiplied by f
// (f^n N(s/f) over f^n D(s/f)), the ladders are those at unit frequency
// with their products times f^2, and their costs (so the DR changes) are
// the same to 1e-6. Each record realises the scaled target (checked by
// expect_same_filter on the scaled approximation).
struct scale_family {
    const char *name;
    ss (*make)(int);
};

// One approximation of order n at the scale scales[si]; the costs are
// compared at one of the three scales per order, in turn. The synthesis is
// that of the searches' final choice (the search for every ladder is
// checked at every scale by the gate tests).
void check_scale(const scale_family &fam, int n, int si)
{
    const double scales[] = {1e-6, 2 * M_PI * 1e6, 1e7};
    {
        program p;
        ss s = fam.make(n);
        target t(s);
        vector pw = vec({0.5}), q = null_vector();
        int st1 = -1;
        vector c1 = dr_transform(t.N, t.D, pw, 0.5, q, &st1);
        ladder_result r1 = ladder(t.N, t.D, 1, pw.data, 0.5, 0, nullptr, ladder_depth::first);
        {
            const double f = scales[si];
            SCOPED_TRACE(std::string(fam.name) + " order " + std::to_string(n) + " scale " + std::to_string(f));
            poly N = polycopy(t.N.coef, t.N.degree), D = polycopy(t.D.coef, t.D.degree);
            for (int k = 0; k <= N.degree; k++)
                N.coef[k] *= std::pow(f, n - k);
            for (int k = 0; k <= D.degree; k++)
                D.coef[k] *= std::pow(f, n - k);
            ladder_result r = ladder(N, D, 1, pw.data, 0.5, 0, nullptr, ladder_depth::first);
            EXPECT_EQ(r.status, r1.status);
            ASSERT_EQ(r.nsol, r1.nsol);
            // the same set of ladders (in any order)
            std::vector<bool> used(r1.nsol, false);
            for (int k = 0; k < r.nsol; k++) {
                const ss &x = r.systems[k];
                bool found = false;
                for (int j = 0; j < r1.nsol && !found; j++) {
                    const ss &y = r1.systems[j];
                    bool same = !used[j];
                    for (int i = 0; same && i + 1 < n; i++) {
                        const double bx = at(x.A, i, i + 1) * at(x.A, i + 1, i) / (f * f);
                        const double by = at(y.A, i, i + 1) * at(y.A, i + 1, i);
                        same = std::fabs(bx - by) <= 1e-6 * std::max(1.0, std::fabs(by));
                    }
                    if (same)
                        used[j] = found = true;
                }
                EXPECT_TRUE(found) << "solution " << k << " is none of those at unit frequency";
                expect_same_filter_scaled(s, x, f);
            }
            if (si == n % 3) {
                int st = -1;
                vector c = dr_transform(N, D, pw, 0.5, q, &st);
                EXPECT_EQ(st, st1);
                const double *cd = c.data, *cd1 = c1.data;
                std::vector<double> sc(cd, cd + c.n), sc1(cd1, cd1 + c1.n);
                EXPECT_EQ(sc.size(), sc1.size());
                std::sort(sc.begin(), sc.end());
                std::sort(sc1.begin(), sc1.end());
                for (std::size_t k = 0; k < sc.size() && k < sc1.size(); k++)
                    EXPECT_NEAR(sc[k], sc1[k], 1e-6 * sc1[k]) << "cost " << k;
                freevector(&c);
            }
            for (ss &x : r.systems)
                free_ss(&x);
            freepoly(&N);
            freepoly(&D);
        }
        for (ss &x : r1.systems)
            free_ss(&x);
        freevector(&c1);
        freevector(&pw);
        free_ss(&s);
    }
}

const scale_family scale_families[] = {
    {"butterworth", [](int n) { return butterworth(n); }},
    {"chebyshev 1 dB", [](int n) { return chebyshev(n, 1.0); }},
    {"bessel", [](int n) { return bessel(n); }},
    {"cauer 0.1 dB, 1.5", [](int n) { return cauer(n, 0.1, 1.5); }},
    {"ic 40 dB", [](int n) { return ic_approx(n, 40.0); }},
};

// Each family, order and scale on its own, so that each test stays short.
// cauer(8, 0.1, 1.5) has no real ladder at the weight 0.5, which the search
// for every ladder proves by all its homotopies at each scale, the same
// solve at unit frequency: it runs at the one scale whose costs are
// compared.
std::vector<std::tuple<int, int, int>> scale_params()
{
    std::vector<std::tuple<int, int, int>> params;
    for (int f = 0; f < 5; f++)
        for (int n = 2; n <= 8; n++)
            for (int si = 0; si < 3; si++)
                if (!(f == 3 && n == 8) || si == n % 3)
                    params.emplace_back(f, n, si);
    return params;
}

class LadderScales : public testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(LadderScales, AtEveryFrequencyScale)
{
    check_scale(scale_families[std::get<0>(GetParam())], std::get<1>(GetParam()), std::get<2>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(FamiliesOrdersScales, LadderScales, testing::ValuesIn(scale_params()));

// A candidate that cannot be costed (here: a scaling target of 0, which no
// scaling reaches) is skipped by its status, prints nothing and leaves the
// exit status alone: only the item's own failure is an error.
TEST(DrTransform, CandidatesFailQuietly)
{
    program p;
    ss s = butterworth(3);
    target t(s);
    vector pw = vec({0.5}), q = null_vector();
    pks.dr_scale = 0.0;
    testing::internal::CaptureStderr();
    int status = -1;
    vector costs = dr_transform(t.N, t.D, pw, 0.5, q, &status);
    ladder_result r = dr_solutions(t.N, t.D, pw, 0.5, q, 1.0);
    const std::string err = testing::internal::GetCapturedStderr();
    pks.dr_scale = 1.0;
    EXPECT_NE(status, dr_ok);
    EXPECT_EQ(costs.n, 0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(ist.exit_status, 0);
    for (ss &x : r.systems)
        free_ss(&x);
    freevector(&costs);
    freevector(&pw);
    free_ss(&s);
}
