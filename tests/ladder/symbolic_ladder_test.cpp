// The symbolic ladder polynomial, the solution of one equation in its open
// variable, and back substitution through triangular systems.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "algebra/spoly.h"
#include "ladder/ladder.h"
#include "ladder/ladder_drivers.h"
#include "ladder/symbolic_ladder.h"
#include "ladder_checks.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"
#include "numeric/vector.h"
#include "tests/base/capture.h"

using namespace lt;

namespace {

struct mono {
    long double c;
    std::vector<int> exp;
};

termlist make_list(const std::vector<mono> &terms)
{
    termlist L = new_termlist(0);
    for (const mono &m : terms)
        termlist_add_term(&L, 1, static_cast<int>(m.exp.size()), m.exp.data(), m.c);
    return L;
}

eq_array make_system(const std::vector<std::vector<mono>> &eqs)
{
    eq_array E = new_eq_array(static_cast<int>(eqs.size()));
    for (std::size_t i = 0; i < eqs.size(); i++)
        E.eq[i] = make_list(eqs[i]);
    return E;
}

double eval_list(const termlist &L, const dvec &b)
{
    long double v = 0;
    for (int i = 0; i < L.n; i++) {
        long double t = L.t[i].coef;
        for (int k = 0; k < L.t[i].n; k++)
            t *= std::pow(static_cast<long double>(b[k]), L.t[i].exp[k]);
        v += t;
    }
    return static_cast<double>(v);
}

dvec sorted(dvec v)
{
    std::sort(v.begin(), v.end());
    return v;
}

dvec values(const vector &v)
{
    const double *d = v.data;
    return dvec(d, d + v.n);
}

// The columns of a solution matrix, sorted, for comparison as a set.
std::vector<dvec> columns(const matrix &X)
{
    std::vector<dvec> c;
    for (int j = 0; j < X.cols; j++)
        c.push_back(dvec(X.data + j * X.rows, X.data + (j + 1) * X.rows));
    std::sort(c.begin(), c.end());
    return c;
}

}  // namespace

// P_n(a, B) with numbers put in for B is det(sI - A) of that ladder,
// computed here with GSL at a few points.
TEST(Slpoly, IsTheCharacteristicPolynomialOfTheLadder)
{
    const dvec a = {-1.5, 0.25, 2.0, -0.75, 1.0};
    const dvec b = {-2.0, 0.5, -1.25, 3.0};
    for (int n = 0; n <= 5; n++) {
        SCOPED_TRACE(n);
        spoly S = slpoly(n, a.data());
        ASSERT_EQ(S.order, n);
        ss rec = new_ss(std::max(n, 1));
        for (int i = 0; i < n; i++) {
            matrix_set(rec.A, i, i, a[i]);
            if (i + 1 < n) {
                matrix_set(rec.A, i + 1, i, 1.0);
                matrix_set(rec.A, i, i + 1, b[i]);
            }
        }
        for (cplx x : {cplx(0.5, 0.0), cplx(-1.0, 2.0)}) {
            cplx want = 1.0;
            if (n > 0) {
                cplx h;
                evaluate(rec, x, &want, &h);
            }
            cplx got = 0.0;
            for (int k = n; k >= 0; k--)
                got = got * x + eval_list(S.coef[k], b);
            EXPECT_LE(std::abs(got - want), 1e-12 * std::max(1.0, std::abs(want))) << x;
        }
        free_ss(&rec);
    }
    EXPECT_EXIT(slpoly(-1, a.data()), testing::ExitedWithCode(1), "slpoly: order is negative");
}

TEST(Slpoly, LowCoefficientsHoldTheProducts)
{
    // s^(n-2): e2 - (B0 + B1 + B2); s^(n-1): -(a0 + a1 + a2 + a3), no symbol.
    const dvec a = {1.0, 2.0, 3.0, 4.0};
    spoly S = slpoly(4, a.data());
    EXPECT_EQ(capture_stream([&](FILE *f) { print_termlist(S.coef[3], f); }), " - 10");
    const std::string c2 = capture_stream([&](FILE *f) { print_termlist(S.coef[2], f); });
    for (const char *part : {"35", " - B0", " - B1", " - B2"})
        EXPECT_NE(c2.find(part), std::string::npos) << c2;
}

TEST(SolvePolyTerm, RootsInTheOpenVariable)
{
    setup_vars();
    struct tcase {
        const char *name;
        std::vector<mono> eq;
        dvec known;  // values of B0, B1 (NAN: open)
        dvec roots;
    };
    const std::vector<tcase> cases = {
        {"two roots", {{2, {0, 2}}, {-8, {}}}, {NAN, NAN}, {-2.0, 2.0}},
        {"known value put in", {{1, {1, 1}}, {-3, {}}}, {1.5, NAN}, {2.0}},
        {"known value squared", {{1, {2, 0, 1}}, {-8, {}}}, {2.0, -1.0}, {2.0}},
        {"repeated root kept once", {{1, {0, 2}}, {-2, {0, 1}}, {1, {}}}, {NAN, NAN}, {1.0}},
        {"double root at zero", {{1, {0, 2}}}, {NAN, NAN}, {0.0}},
        {"no real root", {{1, {0, 2}}, {1, {}}}, {NAN, NAN}, {}},
        {"tiny leading coefficient dropped", {{1e-12L, {2}}, {1, {1}}, {-1, {}}}, {NAN, NAN}, {1.0}},
        {"constant after substitution", {{1, {1, 1}}}, {0.0, NAN}, {}},
    };
    for (const tcase &c : cases) {
        SCOPED_TRACE(c.name);
        termlist L = make_list(c.eq);
        dvec value(3, 0.0);
        std::vector<int> flag(3, 0);
        for (std::size_t k = 0; k < c.known.size(); k++)
            if (!std::isnan(c.known[k])) {
                value[k] = c.known[k];
                flag[k] = 1;
            }
        vector r = solve_poly_term(L, 3, value.data(), flag.data(), 1.0);
        const dvec got = sorted(values(r));
        ASSERT_EQ(got.size(), c.roots.size());
        for (std::size_t i = 0; i < got.size(); i++)
            EXPECT_NEAR(got[i], c.roots[i], 1e-9);
        freevector(&r);
    }
}

TEST(SolvePolyTerm, NeedsExactlyOneOpenVariable)
{
    setup_vars();
    termlist L = make_list({{1, {1, 1}}, {-1, {}}});
    const dvec value(2, 0.0);
    const std::vector<int> flag(2, 0);
    vector r;
    const std::string err = capture_stderr([&] { r = solve_poly_term(L, 2, value.data(), flag.data(), 1.0); });
    EXPECT_NE(err.find("solve_poly_term: there is not exactly one variable to be solved."), std::string::npos)
        << err;
    EXPECT_EQ(r.n, 0);
    termlist C = make_list({{3, {}}});
    EXPECT_EXIT(solve_poly_term(C, 2, value.data(), flag.data(), 1.0), testing::ExitedWithCode(1),
                "solve_poly_term: no variables in polynomial term");
}

TEST(OccurrenceMatrix, RecordsPowersAndCounts)
{
    // B0^2 B1 + B2 ; B1^3 - 1 ; B3 (a variable beyond the equation count).
    // The constant of the second carries zero exponents past the last
    // variable that occurs: they are no variables.
    eq_array E = make_system({{{1, {2, 1}}, {1, {0, 0, 1}}},
                              {{1, {0, 3}}, {-1, {0, 0, 0, 0, 0, 0}}},
                              {{1, {0, 0, 0, 1}}}});
    i_matrix M = occurrence_matrix(3, E);
    ASSERT_EQ(M.rows, 3);
    ASSERT_EQ(M.cols, 5);
    const std::vector<std::vector<int>> want = {{2, 1, 1, 0, 3}, {0, 3, 0, 0, 1}, {0, 0, 0, 1, 1}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 5; j++)
            EXPECT_EQ(im_element(M, i, j), want[i][j]) << i << "," << j;
}

TEST(SolveReducedEquations, BranchesAndDeadBranches)
{
    setup_vars();
    struct tcase {
        const char *name;
        std::vector<std::vector<mono>> eqs;
        std::vector<dvec> solutions;  // sorted columns (B0, B1)
    };
    const std::vector<tcase> cases = {
        {"B0 - B1 - 1 = 0, B1^2 - 4 = 0: two branches",
         {{{1, {1}}, {-1, {0, 1}}, {-1, {}}}, {{1, {0, 2}}, {-4, {}}}},
         {{-1.0, -2.0}, {3.0, 2.0}}},
        {"B0^2 - B1 = 0, B1^2 - 1 = 0: the branch B1 = -1 dies",
         {{{1, {2}}, {-1, {0, 1}}}, {{1, {0, 2}}, {-1, {}}}},
         {{-1.0, 1.0}, {1.0, 1.0}}},
        {"three equations in two variables: the flags follow the equations",
         {{{1, {1}}, {-2, {}}}, {{1, {1}}, {1, {0, 1}}, {-5, {}}}, {{1, {0, 1}}, {-3, {}}}},
         {{2.0, 3.0}}},
        {"no real solution at all", {{{1, {1}}, {-1, {0, 1}}}, {{1, {0, 2}}, {1, {}}}}, {}},
    };
    for (const tcase &c : cases) {
        SCOPED_TRACE(c.name);
        eq_array E = make_system(c.eqs);
        matrix X = solve_reduced_equations(E.n, E, 3);
        const std::vector<dvec> got = columns(X);
        ASSERT_EQ(got.size(), c.solutions.size());
        for (std::size_t j = 0; j < got.size(); j++)
            for (int i = 0; i < 2; i++)
                EXPECT_NEAR(got[j][i], c.solutions[j][i], 1e-12);
        freem(&X);
    }
}

TEST(SolveReducedEquations, RefusesASystemThatIsNotTriangular)
{
    setup_vars();
    eq_array E = make_system({{{1, {1}}, {1, {0, 1}}}, {{1, {1}}, {-1, {0, 1}}, {2, {}}}});
    matrix X;
    const std::string err = capture_stderr([&] { X = solve_reduced_equations(2, E, 3); });
    EXPECT_NE(err.find("solve_reduced_equations: variables not properly eliminated."), std::string::npos)
        << err;
    EXPECT_EQ(X.cols, 0);
}

TEST(PolyRelError, ComparesCoefficientPairs)
{
    const dvec x = {1.0, 0.0, 2.0}, y = {1.0, 0.0, 2.0};
    EXPECT_EQ(poly_rel_error(x.data(), 2, y.data(), 2), 0.0);  // 0 and 0 add nothing
    EXPECT_EQ(poly_rel_error(x.data(), 2, y.data(), 1), 1.0);
    const dvec z = {1.1, 0.0, 2.0};
    EXPECT_NEAR(poly_rel_error(x.data(), 2, z.data(), 2), 0.2 / 2.1, 1e-15);
    const dvec w = {1.0, 1.0, 2.0}, v = {1.0, -1.0, 2.0};
    EXPECT_TRUE(std::isinf(poly_rel_error(w.data(), 2, v.data(), 2)));
}

// Equations built from a known ladder vanish at its products; the filter
// keeps that column and drops a perturbed one.
TEST(LadderEquations, VanishAtTheProductsOfAKnownLadder)
{
    const dvec a = {-1.2, 0.3, -0.4, -0.9};
    const dvec b = {-0.8, -1.5, 0.6};
    poly P = lpoly(4, a.data(), b.data());
    const double *pc = P.coef;
    const dvec p(pc, pc + 5);
    freepoly(&P);
    eq_array E = ladder_eq_array(a.data(), p.data(), 4);
    ASSERT_EQ(E.n, 3);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(eval_list(E.eq[k], b), 0.0, 1e-13) << "equation " << k;

    matrix M = newm(3, 3);
    for (int i = 0; i < 3; i++) {
        M.data[i] = b[i] * 1.05;     // off by 5 %
        M.data[3 + i] = b[i];        // the solution
        M.data[6 + i] = b[i] + 1.0;  // far off
    }
    matrix R = filter_ladder_solutions(a.data(), p.data(), 4, M);
    ASSERT_EQ(R.rows, 3);
    ASSERT_EQ(R.cols, 1);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(elem(R, i, 0), b[i]);
    freem(&R);
    matrix none = filter_ladder_solutions(a.data(), p.data(), 4, mscale(2.0, M));
    EXPECT_EQ(none.rows, 3);
    EXPECT_EQ(none.cols, 0);
    freem(&M);
}

// Q = B0^2 - 4 against P = B0 - B1 - 1: the first step lowers the power of
// B0 (B0 B1 + B0 - 4), the second removes it: B1^2 + 2 B1 - 3.
TEST(EliminateVar, CancelsTheTopPower)
{
    setup_vars();
    termlist P = make_list({{1, {1}}, {-1, {0, 1}}, {-1, {}}});
    termlist Q = make_list({{1, {2}}, {-4, {}}});
    eliminate_var(0, P, &Q, 1.0);
    EXPECT_EQ(var_max_degree(Q, 0), 1);
    eliminate_var(0, P, &Q, 1.0);
    EXPECT_EQ(var_max_degree(Q, 0), 0);
    for (const dvec &b : {dvec{0.0, 0.0}, dvec{1.0, 2.0}, dvec{-3.0, 0.5}}) {
        const double want = b[1] * b[1] + 2.0 * b[1] - 3.0;
        const double got = eval_list(Q, b);
        // Up to a constant factor: compare against the value at B1 = 0.
        EXPECT_NEAR(got / eval_list(Q, {0.0, 0.0}), want / -3.0, 1e-15);
    }
    // Nothing to eliminate: Q stays as it was.
    termlist R = make_list({{1, {0, 2}}, {-1, {}}});
    eliminate_var(0, P, &R, 1.0);
    EXPECT_EQ(R.n, 2);
    EXPECT_NEAR(eval_list(R, {5.0, 3.0}), 8.0, 1e-15);
}

// The elimination road finds the same solutions as the Groebner road
// (references from SymPy, as in the ladder tests) and prints the
// equations it starts from.
TEST(GLadderEliminate, SolvesTheLadderEquations)
{
    setup_vars();
    const dvec p = {1.0, 4.0, 6.0, 4.0, 1.0};  // (s + 1)^4
    const dvec a = {-0.4, 0.0, 0.0, -3.6};      // weight 0.1
    matrix X;
    const std::string out = capture_stream([&](FILE *f) {
        FILE *keep = ist.out_fp;
        ist.out_fp = f;
        X = g_ladder_eliminate(a.data(), p.data(), 4, 1.0);
        ist.out_fp = keep;
    });
    EXPECT_EQ(out.rfind("\nequations:\n", 0), 0u) << out;
    const std::vector<dvec> got = columns(X);
    const std::vector<dvec> want = {{-24.0315, 20.7569, -1.28539}, {-0.0485364, -0.561301, -3.95016}};
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t j = 0; j < got.size(); j++)
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(got[j][i], want[j][i], 1e-5 * std::fabs(want[j][i]));
    freem(&X);
}
