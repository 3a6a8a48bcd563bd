// Rotation searches: the rotation matrices from their definition, the grid
// odometer against a plain enumeration, and the searches checked for what
// they must keep (poles and H), for the change they report (against costs
// from dense sweeps and GSL), and for never ending worse than they started.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <set>
#include <sstream>

#include "search_reference.h"
#include "dynrange/cost.h"
#include "dynrange/rotation_search.h"
#include "filter/approx.h"
#include "base/vars.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

using namespace drt;

namespace {

vector vec(const dvec &v)
{
    vector r = newvector((int)v.size());
    for (size_t i = 0; i < v.size(); i++)
        r.data[i] = v[i];
    return r;
}

TEST(Givens, OrderTwoAndThreeWrittenOut)
{
    const double a = 0.2, b = -0.35, c = 0.1, d = 0.45, e = -0.15, f = 0.3;
    auto S = [](double x) { return std::sin(x * M_PI); };
    auto C = [](double x) { return std::cos(x * M_PI); };
    {
        vector v = vec({a, b});
        matrix T = givens(2, v);
        // row 0: column 1 then the diagonal; row 1: column 0 then the diagonal
        EXPECT_DOUBLE_EQ(at(T, 0, 0), C(a));
        EXPECT_DOUBLE_EQ(at(T, 0, 1), S(a));
        EXPECT_DOUBLE_EQ(at(T, 1, 0), S(b));
        EXPECT_DOUBLE_EQ(at(T, 1, 1), C(b));
        freem(&T);
        freevector(&v);
    }
    {
        vector v = vec({a, b, c, d, e, f});
        matrix T = givens(3, v);
        double want[3][3] = {{C(a) * C(b), S(a), S(b) * C(a)},
                             {S(d) * C(c), C(c) * C(d), S(c)},
                             {S(e), S(f) * C(e), C(e) * C(f)}};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                EXPECT_NEAR(at(T, i, j), want[i][j], 1e-15) << i << "," << j;
        freem(&T);
        matrix U = givens2(3, v);
        // upper triangular: row 0 takes a for column 2 and b for column 1,
        // row 1 takes c for column 2, row 2 is (0 0 1)
        double want2[3][3] = {{C(a) * C(b), S(b) * C(a), S(a)}, {0, C(c), S(c)}, {0, 0, 1}};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                EXPECT_NEAR(at(U, i, j), want2[i][j], 1e-15) << i << "," << j;
        freem(&U);
        freevector(&v);
    }
}

TEST(Givens, UnitRowsIdentityAndShortVectors)
{
    vector v = vec({0.13, -0.41, 0.27, 0.05, -0.33, 0.49, 0.21, -0.07, 0.38, -0.19, 0.11, 0.29});
    for (int mode : {0, 1}) {
        matrix T = mode ? givens2(4, v) : givens(4, v);
        for (int i = 0; i < 4; i++) {
            double s = 0;
            for (int j = 0; j < 4; j++)
                s += at(T, i, j) * at(T, i, j);
            EXPECT_NEAR(s, 1.0, 1e-14) << "mode " << mode << " row " << i;
            if (mode == 1) {
                for (int j = 0; j < i; j++)
                    EXPECT_EQ(at(T, i, j), 0.0);
            }
        }
        freem(&T);
    }
    // a vector shorter than needed counts its missing angles as 0: the identity
    vector none = null_vector();
    for (int n : {1, 3}) {
        for (int mode : {0, 1}) {
            matrix T = mode ? givens2(n, none) : givens(n, none);
            for (int i = 0; i < n; i++)
                for (int j = 0; j < n; j++)
                    EXPECT_EQ(at(T, i, j), i == j ? 1.0 : 0.0);
            freem(&T);
        }
    }
    EXPECT_EQ(rotation_angles(4, 0), 12);
    EXPECT_EQ(rotation_angles(4, 1), 6);
    freevector(&v);
}

// Angles of 1/2 make rows of T unit vectors; here rows 1 and 2 become
// (1, 6e-17, 0) and (1, 0, 6e-17): invertible in floating point, with a
// condition number near 1e17, so the candidate is no realisation to cost.
TEST(DrRotated, NearlySingularTransformationIsRefused)
{
    program p;
    ss s = butterworth(3);
    vector a = vec({0.5, 0, 0, 0.5, 0.5, 0});
    matrix T = givens(3, a);
    matrix Ti = try_minv(T);
    EXPECT_EQ(Ti.cols, 3);  // not exactly singular
    EXPECT_EQ(dr_rotated(s, a, 0), DBL_MAX);
    // a permutation from angles of 1/2 is well conditioned and is costed
    vector perm = vec({0.5, 0, 0.5, 0, 0.5, 0});
    EXPECT_NEAR(dr_rotated(s, perm, 0), program_cost(s), 1e-9 * program_cost(s));
    EXPECT_EQ(p.report(), "");
    freem(&T);
    freem(&Ti);
    freevector(&a);
    freevector(&perm);
    free_ss(&s);
}

// The odometer visits every point of {0..steps-1}^count exactly once, first
// counter fastest, in the order of the base-steps numbers, and reports the
// wrap back to all zeros.
TEST(GridOdometer, EnumeratesLikeBaseStepsNumbers)
{
    for (int count : {1, 2, 3, 6})
        for (int steps : {2, 3, 4}) {
            std::vector<int> c(count, 0);
            long total = 1;
            for (int k = 0; k < count; k++)
                total *= steps;
            long visited = 1;  // the all-zero start
            for (long want = 1;; want++) {
                int wrapped = grid_first4(c.data(), count, steps);
                if (wrapped) {
                    EXPECT_EQ(want, total);
                    for (int x : c)
                        EXPECT_EQ(x, 0);
                    break;
                }
                visited++;
                long v = want;
                for (int k = 0; k < count; k++) {
                    ASSERT_EQ(c[k], v % steps) << "count " << count << " steps " << steps << " point " << want;
                    v /= steps;
                }
            }
            EXPECT_EQ(visited, total);
        }
    // advancing from a later counter leaves the faster ones alone
    int c[3] = {1, 2, 0};
    EXPECT_EQ(grid_step4(c, 3, 3, 1), 0);
    EXPECT_EQ(c[0], 1);
    EXPECT_EQ(c[1], 0);
    EXPECT_EQ(c[2], 1);
}

struct search_case {
    const char *name;
    ss s;
};

std::vector<search_case> small_filters()
{
    return {
        {"butterworth 3", butterworth(3)},
        {"chebyshev 4, 1 dB", chebyshev(4, 1.0)},
        {"third order with zeros", companion({1, 2, 2, 1}, {1, -0.4, 0.3})},
    };
}


// After a coordinate search: the same filter, a reported change that the
// returned record really has (its cost recomputed from the record), never
// negative.
TEST(DrOptimize4, KeepsTheFilterAndReportsItsChange)
{
    for (auto &c : small_filters()) {
        for (int mode : {0, 1}) {
            program p;
            ss keep = copy_ss(c.s);
            ss r = dr_optimize4(ist.out_fp, c.s, 0.1, mode);
            std::string name = std::string(c.name) + (mode ? " do3" : " do2");
            expect_same_filter(keep, r, name);
            dvec line = numbers_after(p.report(), "optimum at\n");
            ASSERT_EQ((int)line.size(), rotation_angles(keep.n, mode) + 1) << name;
            double db = line.back();
            EXPECT_GE(db, 0.0) << name;
            EXPECT_NEAR(db, dr_change_db(program_cost(keep), program_cost(r)), 1e-3) << name;
            EXPECT_EQ(ist.exit_status, 0) << name;
            free_ss(&keep);
            free_ss(&r);
        }
        free_ss(&c.s);
    }
}

// On a lowpass filter, whose peaks the grid scan finds, the change agrees
// with costs from dense sweeps, and the result is scaled to peak 1.
TEST(DrOptimize4, ChangeAgreesWithDenseSweepCosts)
{
    for (int mode : {0, 1}) {
        program p;
        ss s = butterworth(3);
        ss keep = copy_ss(s);
        ss r = dr_optimize4(ist.out_fp, s, 0.1, mode);
        dvec line = numbers_after(p.report(), "optimum at\n");
        ASSERT_FALSE(line.empty());
        EXPECT_NEAR(line.back(), dr_change_db(true_cost(keep), true_cost(r)), 2e-3) << "mode " << mode;
        for (double t : true_tops(r))
            EXPECT_NEAR(t, 1.0, 1e-3) << "mode " << mode;
        free_ss(&s);
        free_ss(&keep);
        free_ss(&r);
    }
}

// In mode 1 the final transformation is upper triangular: the last state
// keeps its own direction, so C_n and the last row of the scaled A relate
// to the original only through scaling; the quickest visible sign is that
// the trace at level 1 shows a T with zeros below the diagonal.
TEST(DrOptimize4, TraceShowsTheTransformation)
{
    program p;
    set_var_number("bla", 1);
    ss s = butterworth(3);
    ss r = dr_optimize4(ist.out_fp, s, 0.1, 1);
    std::string rep = p.report();
    size_t t = rep.find("T =\n");
    ASSERT_NE(t, std::string::npos);
    ASSERT_NE(rep.find("Tinv =\n", t), std::string::npos);
    std::istringstream in(rep.substr(t + 4));
    std::string dims;
    std::getline(in, dims);
    EXPECT_EQ(dims, "(3, 3)");
    double T[3][3];
    for (auto &row : T)
        for (double &x : row)
            in >> x;
    EXPECT_EQ(T[1][0], 0.0);
    EXPECT_EQ(T[2][0], 0.0);
    EXPECT_EQ(T[2][1], 0.0);
    EXPECT_EQ(T[2][2], 1.0);
    free_ss(&s);
    free_ss(&r);
}

TEST(DrOptimize4, OrderOneIsOnlyScaled)
{
    program p;
    ss s = make_ss(1, {-2}, {3}, {5});
    ss r = dr_optimize4(ist.out_fp, s, 0.1, 0);
    EXPECT_EQ(p.report(), "");
    ASSERT_EQ(r.n, 1);
    EXPECT_DOUBLE_EQ(r.A.data[0], -2.0);
    // |F| peaks at w = 0 with 3 / 2: B becomes 2, C 7.5
    EXPECT_NEAR(r.B.data[0], 2.0, 1e-9);
    EXPECT_NEAR(r.C.data[0], 7.5, 1e-9);
    free_ss(&s);
    free_ss(&r);
}

TEST(DrOptimize4, UncostableStartIsRefused)
{
    program p;
    ss s = make_ss(2, {0, 1, -1, 0}, {0, 1}, {1, 0});  // poles on the j-axis
    ss r = dr_optimize4(ist.out_fp, s, 0.1, 0);
    EXPECT_EQ(r.n, 0);
    EXPECT_EQ(ist.exit_status, 1);
    EXPECT_EQ(p.report(), "");
    ss g = dr_optimize4_grid(ist.out_fp, s, 2);
    EXPECT_EQ(g.n, 0);
    free_ss(&s);
}

TEST(DrOptimize4Death, WrongArgumentsEndTheProgram)
{
    program p;
    ss s = butterworth(2);
    ss empty;
    EXPECT_EXIT(dr_optimize4(ist.out_fp, s, 1.0, 0), testing::ExitedWithCode(1), "dr_optimize4, step size is wrong");
    EXPECT_EXIT(dr_optimize4(ist.out_fp, s, 0.0, 1), testing::ExitedWithCode(1), "dr_optimize4, step size is wrong");
    EXPECT_EXIT(dr_optimize4(ist.out_fp, empty, 0.1, 0), testing::ExitedWithCode(1), "dr_optimize4, order is not positive");
    EXPECT_EXIT(dr_optimize4_grid(ist.out_fp, s, 1), testing::ExitedWithCode(1), "dr_optimize4_grid, number of steps too smal");
    EXPECT_EXIT(dr_optimize4_grid(ist.out_fp, empty, 3), testing::ExitedWithCode(1), "dr_optimize4_grid, order is not positive");
    EXPECT_EXIT(dr_optimize5(ist.out_fp, s, 0.1), testing::ExitedWithCode(1), "dr_optimize5, step size is wrong");
    EXPECT_EXIT(dr_optimize5(ist.out_fp, empty, 0.01), testing::ExitedWithCode(1), "dr_optimize5, order is not positive");
    free_ss(&s);
}

// Steps 3 on order 3: 3^6 = 729 lines, one per grid point, each with the
// change of that point's rotation (checked against an independent cost on
// a sample of the points), then the optimum, which is the best line.
TEST(DrOptimize4Grid, EveryPointOnceWithItsTrueChange)
{
    program p;
    ss s = butterworth(3);
    ss keep = copy_ss(s);
    ss r = dr_optimize4_grid(ist.out_fp, s, 3);
    std::istringstream in(p.report());
    std::string line;
    std::vector<dvec> rows;
    std::set<std::vector<long>> points;
    while (std::getline(in, line) && line != "optimum at") {
        dvec v = numbers_in(line);
        ASSERT_EQ(v.size(), 7u) << line;
        std::vector<long> key;
        for (int k = 0; k < 6; k++) {
            // cell midpoints of [-1, 1]: -2/3, 0, 2/3
            EXPECT_TRUE(std::fabs(v[k]) < 1e-9 || std::fabs(std::fabs(v[k]) - 0.67) < 1e-9) << line;
            key.push_back(std::lround(v[k] * 100));
        }
        points.insert(key);
        rows.push_back(v);
    }
    EXPECT_EQ(rows.size(), 729u);
    EXPECT_EQ(points.size(), 729u);
    // the first counter is the fastest
    EXPECT_NEAR(rows[0][0], -0.67, 1e-9);
    EXPECT_NEAR(rows[1][0], 0.0, 1e-9);
    EXPECT_NEAR(rows[1][1], -0.67, 1e-9);
    double cost0 = true_cost(keep);
    double best = -1e300;
    for (const dvec &v : rows)
        if (v[6] > best)
            best = v[6];
    for (size_t i = 0; i < rows.size(); i += 53) {
        vector a = newvector(6);
        for (int k = 0; k < 6; k++)
            a.data[k] = std::lround(rows[i][k] * 100) == 0 ? 0.0 : (rows[i][k] > 0 ? 2.0 / 3 : -2.0 / 3);
        matrix T = givens(3, a);
        ss t = transform_ss(T, keep);
        EXPECT_NEAR(rows[i][6], dr_change_db(cost0, true_cost(t)), 2e-3) << "point " << i;
        free_ss(&t);
        freem(&T);
        freevector(&a);
    }
    dvec opt = numbers_after(p.report(), "optimum at\n");
    ASSERT_EQ(opt.size(), 7u);
    EXPECT_NEAR(opt[6], std::max(best, 0.0), 1e-3);
    expect_same_filter(keep, r, "do4");
    EXPECT_NEAR(opt[6], dr_change_db(cost0, true_cost(r)), 2e-3);
    free_ss(&keep);
    free_ss(&r);
}

TEST(DrOptimize5, DescendsAndKeepsTheFilter)
{
    program p;
    ss s = chebyshev(3, 1.0);
    ss keep = copy_ss(s);
    ss r = dr_optimize5(ist.out_fp, s, 0.05);
    expect_same_filter(keep, r, "gradient search");
    dvec line = numbers_after(p.report(), "optimum at\n");
    ASSERT_EQ(line.size(), 7u);
    EXPECT_GE(line.back(), 0.0);
    EXPECT_NEAR(line.back(), dr_change_db(program_cost(keep), program_cost(r)), 1e-3);
    // the descent moves print their angles with six decimals
    EXPECT_NE(p.report().find(" DR change is "), std::string::npos);
    free_ss(&keep);
    free_ss(&r);
    free_ss(&s);
}

}  // namespace
