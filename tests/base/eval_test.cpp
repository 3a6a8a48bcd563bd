// Evaluation with folding, the algebraic identities, evaluation errors, and
// the settings readers getvar / expr_value.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "capture.h"
#include "base/error.h"
#include "base/eval.h"
#include "base/expr.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "base/vars.h"

namespace {

expr_node *nm(const char *n) { return new_varnode(xstrdup(n)); }
expr_node *num(double v) { return new_numb(v); }
expr_node *bin(expr_node *l, int op, expr_node *r) { return new_biox(l, r, op); }

std::string printed(const expr_node *t)
{
    return capture_stream([&](FILE *f) { print_expr(f, t); });
}

class EvalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_vars_ = ist.vars;
        saved_interactive_ = ist.interactive;
        saved_status_ = ist.exit_status;
        ist.vars = new_varlist();
        ist.interactive = 0;
        ist.line_no = 7;
        ist.exit_status = 0;
    }
    void TearDown() override
    {
        free_varlist_all(ist.vars);
        ist.vars = saved_vars_;
        ist.interactive = saved_interactive_;
        ist.exit_status = saved_status_;
    }
    // Evaluates and frees the tree; returns the printed result and the
    // messages on standard error.
    std::pair<std::string, std::string> run(expr_node *t)
    {
        std::string shown;
        std::string err = capture_stderr([&] {
            expr_node *r = eval_expr(ist.vars, t);
            shown = printed(r);
            free_expr(r);
        });
        free_expr(t);
        return {shown, err};
    }
    varlist *saved_vars_ = nullptr;
    int saved_interactive_ = 0;
    int saved_status_ = 0;
};

TEST_F(EvalTest, IdentitiesWithAnUndefinedName)
{
    struct {
        expr_node *tree;
        const char *want;
        const char *err;
    } cases[] = {
        {bin(nm("x"), OP_MUL, num(0)), "0", ""},
        {bin(num(0), OP_MUL, nm("x")), "0", ""},
        {bin(nm("x"), OP_POW, num(0)), "1", ""},
        {bin(num(0), OP_POW, nm("x")), "0", ""},
        {bin(num(1), OP_POW, nm("x")), "1", ""},
        {bin(nm("x"), OP_POW, num(1)), "x", ""},
        {bin(num(0), OP_SUB, nm("x")), "-( x )", ""},
        {bin(nm("x"), OP_SUB, num(0)), "x", ""},
        {bin(num(0), OP_ADD, nm("x")), "x", ""},
        {bin(num(1), OP_MUL, nm("x")), "x", ""},
        {bin(num(0), OP_DIV, nm("x")), "0", ""},
        {bin(nm("x"), OP_DIV, num(1)), "x", ""},
        {bin(num(1), OP_DIV, nm("x")), "( 1 / x )", ""},
        {bin(num(1), OP_SUB, nm("x")), "( 1 - x )", ""},
        {bin(nm("x"), OP_DIV, num(0)), "0", "Error in line 7:  6: DIVBY  expression being divided by zero.\n"},
        {bin(num(0), OP_SN, nm("x")), "sn( 0, x )", ""},
        {new_unox(nm("x"), FN_SQRT), "sqrt( x )", ""},
    };
    for (auto &c : cases) {
        auto [shown, err] = run(c.tree);
        EXPECT_EQ(shown, c.want);
        EXPECT_EQ(err, c.err) << c.want;
    }
}

TEST_F(EvalTest, FoldsThroughDefinitions)
{
    // a = 2, b undefined: a * b + 1 -> ( ( 2 * b ) + 1 ); with d = a ^ 3 the
    // chain folds to a number.
    varlist_add(ist.vars, new_var("a", num(2)));
    varlist_add(ist.vars, new_var("d", bin(nm("a"), OP_POW, num(3))));
    varlist_add(ist.vars, new_var("e2", bin(nm("d"), OP_ADD, nm("a"))));
    EXPECT_EQ(run(bin(bin(nm("a"), OP_MUL, nm("b")), OP_ADD, num(1))).first, "( ( 2 * b ) + 1 )");
    EXPECT_EQ(run(bin(nm("e2"), OP_DIV, num(4))).first, "2.5");
    EXPECT_EQ(ist.exit_status, 0);
}

TEST_F(EvalTest, MathErrorsReportAndGiveZero)
{
    struct {
        expr_node *tree;
        double want;
        const char *err;
    } cases[] = {
        {bin(num(1), OP_DIV, num(0)), 0, "Error in line 7:  1: DIVBY  division by zero.\n"},
        {bin(num(0), OP_POW, num(-1)), 0, "Error in line 7:  2: POW  illegal operands in pow.\n"},
        {bin(num(0), OP_POW, num(0)), 1, ""},
        {new_unox(num(0), FN_LOG), 0, "Error in line 7:  3: LOG  negative operand in log.\n"},
        {new_unox(num(-1), FN_LOG10), 0, "Error in line 7:  4: LOG10  negative operand in log10.\n"},
        {new_unox(num(0), FN_SQRT), 0, "Error in line 7:  5: SQRT  negative operand in sqrt.\n"},
        {new_unox(num(1.0000001), FN_ASIN), 0, "Error in line 7:  7: (A)FUNC domain error in function.\n"},
        {new_unox(num(-2), FN_ACOS), 0, "Error in line 7:  7: (A)FUNC domain error in function.\n"},
        {new_unox(num(1), FN_ASIN), M_PI / 2, ""},
        {new_unox(num(-1), FN_ACOS), M_PI, ""},
        {new_unox(num(-3), FN_ABS), 3, ""},
        {new_unox(num(1), FN_ATAN), M_PI / 4, ""},
        // Errors inside a larger expression: the failed part is 0, the rest goes on.
        {bin(bin(num(1), OP_DIV, num(0)), OP_ADD, new_unox(num(4), FN_SQRT)), 2,
         "Error in line 7:  1: DIVBY  division by zero.\n"},
    };
    for (auto &c : cases) {
        std::string err = capture_stderr([&] {
            expr_node *r = eval_expr(ist.vars, c.tree);
            ASSERT_TRUE(is_number(r));
            EXPECT_NEAR(r->value, c.want, 1e-15);
            free_expr(r);
        });
        EXPECT_EQ(err, c.err);
        free_expr(c.tree);
    }
    EXPECT_EQ(ist.exit_status, 1);
    // A negative base with a fractional exponent is NaN, silently.
    double r = apply_binop(-8, 1.0 / 3, OP_POW);
    EXPECT_TRUE(std::isnan(r));
}

TEST_F(EvalTest, GetvarAndExprValue)
{
    seed_default_vars();
    struct {
        const char *name;
        double value;
    } defaults[] = {{"epsrel", 1e-6}, {"epsabs", 1e-6}, {"epsabs2", 1e-7}, {"noisefactor", 1},
                    {"bla", 0},       {"itmax", 0},     {"itmax2", 1000},  {"fmax", 8},
                    {"fr", 0},        {"si", 1},        {"so", 1},         {"smootha", 0.001},
                    {"pi", M_PI}};
    ASSERT_EQ(ist.vars->entries.size(), 13u);
    for (unsigned i = 0; i < 13; i++) {
        EXPECT_STREQ(ist.vars->entries[i]->name, defaults[i].name);
        double *v = getvar(defaults[i].name);
        ASSERT_NE(v, nullptr) << defaults[i].name;
        EXPECT_DOUBLE_EQ(*v, defaults[i].value);
    }
    EXPECT_EQ(ist.si_var, ist.vars->entries[9]);
    // si depends on fr: read afresh at every use.
    ASSERT_EQ(define_var("si", bin(nm("fr"), OP_ADD, num(1))), 1);
    ASSERT_EQ(define_var("fr", num(4)), 1);
    EXPECT_DOUBLE_EQ(*getvar("si"), 5);
    // Absent or unresolved: null, silently.
    std::string err = capture_stderr([&] {
        EXPECT_EQ(getvar("nothere"), nullptr);
        define_var("un", bin(nm("zz"), OP_ADD, num(1)));
        EXPECT_EQ(getvar("un"), nullptr);
    });
    EXPECT_EQ(err, "");
    // expr_value reports the given tree; the two results do not share storage.
    expr_node *t = bin(nm("zz"), OP_MUL, num(2));
    err = capture_stderr([&] { EXPECT_EQ(expr_value(t), nullptr); });
    EXPECT_EQ(err, "Error in line 7: expression ( zz * 2 ) is not resolved.\n");
    free_expr(t);
    t = bin(nm("fr"), OP_MUL, num(2));
    double *a = expr_value(t);
    double *b = getvar("pi");
    EXPECT_NE(a, b);
    EXPECT_DOUBLE_EQ(*a, 8);
    free_expr(t);
}

TEST_F(EvalTest, SelfReferenceIsRefused)
{
    ASSERT_EQ(define_var("x", num(1)), 1);
    std::string err = capture_stderr([&] { EXPECT_EQ(define_var("x", bin(nm("x"), OP_ADD, num(1))), 0); });
    EXPECT_EQ(err, "Error in line 7: definition of x refers to itself, x keeps its old value.\n");
    ASSERT_EQ(define_var("p", nm("q")), 1);
    err = capture_stderr([&] { EXPECT_EQ(define_var("q", new_unox(nm("p"), FN_NEG)), 0); });
    EXPECT_NE(err, "");
    EXPECT_DOUBLE_EQ(*getvar("x"), 1);
    EXPECT_EQ(getvar("q"), nullptr);
}

// Chains of definitions are evaluated whole, however long: each definition
// is evaluated once, after those it names, so the recursion is as deep as
// one tree. A chain of links v0 = 1; v1 = v0 + 1; ... once stopped at a
// depth limit with a partial sum near 25000 that a later setting took for
// the value (here 100000 links); and definitions chained through deep
// trees: w0 = base + 1 + ... + 1 (9999 ones), w1 = w0 + 1 + ... + 1, ...
TEST_F(EvalTest, LongChainsOfDefinitionsEvaluateExactly)
{
    char name[16], prev[16];
    const int links = 100000;
    ASSERT_EQ(define_var("v0", num(1)), 1);
    for (int i = 1; i < links; i++) {
        snprintf(name, sizeof name, "v%d", i);
        snprintf(prev, sizeof prev, "v%d", i - 1);
        ASSERT_EQ(define_var(name, bin(nm(prev), OP_ADD, num(1))), 1);
    }
    ASSERT_EQ(define_var("ctot", bin(nm("v99999"), OP_MUL, num(1e-15))), 1);
    std::string err = capture_stderr([&] {
        double *v = getvar("v99999");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(*v, 100000.0);
        double *c = getvar("ctot");
        ASSERT_NE(c, nullptr);
        EXPECT_NEAR(*c, 1e-10, 1e-24);
    });
    EXPECT_EQ(err, "");

    const int ones = 9999;
    ASSERT_EQ(define_var("base", num(0.5)), 1);
    for (int i = 0; i < 40; i++) {
        snprintf(name, sizeof name, "w%d", i);
        snprintf(prev, sizeof prev, "w%d", i - 1);
        expr_node *t = nm(i == 0 ? "base" : prev);
        for (int j = 0; j < ones; j++)
            t = bin(t, OP_ADD, num(1));
        varlist_add(ist.vars, new_var(name, t));
    }
    double *v = getvar("w39");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, 0.5 + 40 * ones);
    EXPECT_EQ(ist.exit_status, 0);
}

// An evaluation that meets one of its bounds says so once and gives no value
// to the variable or to anything that uses it, where it once gave a partial
// result (the bound's 0 in place of the part cut off) as if it were the
// value. Each case: definitions over an undefined name that grow beyond a
// bound, and the evaluation of a variable that uses them.
TEST_F(EvalTest, AnEvaluationCutOffByABoundGivesNoValue)
{
    auto deep_chain = [](int i, const char *prev) {
        // 9999 additions over the one before, from an undefined name
        expr_node *t = nm(i == 0 ? "bottom" : prev);
        for (int j = 0; j < 9999; j++)
            t = bin(t, OP_ADD, num(1));
        return t;
    };
    auto doubling = [](int i, const char *prev) {
        // u_i = u_(i-1) * u_(i-1): 2^60 leaves at the end
        return i == 0 ? nm("bottom") : bin(nm(prev), OP_MUL, nm(prev));
    };
    auto sum_chain = [](int i, const char *prev) {
        // s_i = s_(i-1) + q: a result of 2 i nodes, memos of i^2 in all
        return i == 0 ? nm("bottom") : bin(nm(prev), OP_ADD, nm("q"));
    };
    struct {
        const char *what;
        int count;
        expr_node *(*make)(int, const char *);
        const char *err;
        bool as_argument;  // read by expr_value too (once is enough: it is slow under the sanitizers)
    } cases[] = {
        {"deep trees", 40, deep_chain, "Error in line 7: expression nested too deeply.\n", true},
        {"doubling", 61, doubling, "Error in line 7: expression too large.\n", false},
        {"long sum", 5000, sum_chain, "Error in line 7: expression too large.\n", false},
    };
    for (auto &c : cases) {
        free_varlist_all(ist.vars);
        ist.vars = new_varlist();
        ist.exit_status = 0;
        char name[16], prev[16];
        for (int i = 0; i < c.count; i++) {
            snprintf(name, sizeof name, "d%d", i);
            snprintf(prev, sizeof prev, "d%d", i - 1);
            varlist_add(ist.vars, new_var(name, c.make(i, prev)));
        }
        snprintf(name, sizeof name, "d%d", c.count - 1);
        // A use that folds to a number when the cut-off part is taken as 0.
        varlist_add(ist.vars, new_var("user", bin(bin(nm(name), OP_MUL, num(0)), OP_ADD, num(1e-12))));
        expr_node *top = nm(name);
        std::string err = capture_stderr([&] {
            expr_node *r = eval_expr(ist.vars, top);
            EXPECT_EQ(r, nullptr) << c.what;
            free_expr(r);
        });
        EXPECT_EQ(err, c.err) << c.what;
        EXPECT_EQ(ist.exit_status, 1) << c.what;
        // A setting that uses it has none, and an argument has none with
        // no message beyond the bound's.
        err = capture_stderr([&] {
            EXPECT_EQ(getvar("user"), nullptr) << c.what;
            if (c.as_argument) {
                EXPECT_EQ(expr_value(top), nullptr) << c.what;
            }
        });
        EXPECT_EQ(err, c.as_argument ? std::string(c.err) + c.err : std::string(c.err)) << c.what;
        free_expr(top);
        // The next evaluation starts afresh.
        varlist_add(ist.vars, new_var("fine", bin(num(2), OP_MUL, num(3))));
        err = capture_stderr([&] {
            double *w = getvar("fine");
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(*w, 6);
        });
        EXPECT_EQ(err, "") << c.what;
    }
}

TEST(ErrorPrint, FormatsAndPrefix)
{
    int saved_i = ist.interactive, saved_l = ist.line_no, saved_s = ist.exit_status;
    expr_node *t = bin(nm("a"), OP_ADD, num(1));
    ist.line_no = 12;
    for (int interactive : {0, 1}) {
        ist.interactive = interactive;
        std::string err = capture_stderr([&] { error("n=%d v=%f s=%s t=%m 100%% %q", 42, 0.5, "txt", t); });
        std::string prefix = interactive ? "Error: " : "Error in line 12: ";
        EXPECT_EQ(err, prefix + "n=42 v=0.500000 s=txt t=( a + 1 ) 100% q.\n");
    }
    EXPECT_EQ(ist.exit_status, 1);
    free_expr(t);
    ist.interactive = saved_i;
    ist.line_no = saved_l;
    ist.exit_status = saved_s;
}

TEST(ErrorPrint, FatalEndsWithStatusOne)
{
    EXPECT_EXIT(fatal("gone %d", 3), ::testing::ExitedWithCode(1), "Error( in line [0-9]+)?: gone 3\\.");
    EXPECT_EXIT(check_alloc(nullptr, "new matrix"), ::testing::ExitedWithCode(1),
                "Error: could not allocate space for new matrix\n\\.");
    EXPECT_EXIT(bad_tag("expr", 99, 7), ::testing::ExitedWithCode(1), "Fatal error: expr line 99: bad tag 7\\.");
}

}  // namespace

// Definitions entered as the assignment statement enters them: a chain of
// 10000 (v_i = v_{i-1} + 1) and sixty doublings (w_i = w_{i-1} + w_{i-1}).
// Each evaluation costs the size of the definition graph, not the number of
// paths through it (2^60 for w60), and an assignment costs its own tree.
// Without that neither finishes in minutes; the bound leaves room for the
// sanitizer build.
TEST_F(EvalTest, SharedDefinitionsCostTheSizeOfTheirGraph)
{
    auto start = std::chrono::steady_clock::now();
    char name[16], prev[16];
    ASSERT_EQ(define_var("v0", num(0.25)), 1);
    for (int i = 1; i <= 10000; i++) {
        snprintf(name, sizeof name, "v%d", i);
        snprintf(prev, sizeof prev, "v%d", i - 1);
        ASSERT_EQ(define_var(name, bin(nm(prev), OP_ADD, num(1))), 1);
    }
    ASSERT_EQ(define_var("w0", num(1)), 1);
    for (int i = 1; i <= 60; i++) {
        snprintf(name, sizeof name, "w%d", i);
        snprintf(prev, sizeof prev, "w%d", i - 1);
        ASSERT_EQ(define_var(name, bin(nm(prev), OP_ADD, nm(prev))), 1);
    }
    double *v = getvar("v10000");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, 10000.25);
    v = getvar("w60");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, std::ldexp(1.0, 60));
    // A new definition is seen by the next evaluation.
    ASSERT_EQ(define_var("w0", num(3)), 1);
    v = getvar("w60");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, 3 * std::ldexp(1.0, 60));
    // The chain still refuses a cycle through its whole length.
    std::string err = capture_stderr([&] { EXPECT_EQ(define_var("v0", nm("v10000")), 0); });
    EXPECT_NE(err, "");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 5.0);
    EXPECT_EQ(ist.exit_status, 1);
}

// Ten doublings over an undefined name stay a tree of 2047 nodes, within
// the bounds (sixty are cut off, above).
TEST_F(EvalTest, UnresolvedResultWithinTheBoundsIsKept)
{
    char name[16], prev[16];
    for (int i = 1; i <= 10; i++) {
        snprintf(name, sizeof name, "u%d", i);
        snprintf(prev, sizeof prev, "u%d", i - 1);
        ASSERT_EQ(define_var(name, bin(nm(prev), OP_MUL, nm(prev))), 1);
    }
    auto [small, err] = run(nm("u10"));
    EXPECT_EQ(small.size() > 2000, true);
    EXPECT_EQ(err, "");
}
