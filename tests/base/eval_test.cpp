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

// Definitions chained through deep trees: v0 = base + 1 + ... + 1 (9999
// ones), v1 = v0 + 1 + ... + 1, and so on. Each tree is as deep as the parser
// allows; together they go far deeper than the program's stack.
TEST_F(EvalTest, DeepChainsOfDefinitionsNeitherRecurseWithoutBoundNorCrash)
{
    const int ones = 9999;
    auto define_chain = [&](int count, const char *base) {
        char name[16], prev[16];
        for (int i = 0; i < count; i++) {
            snprintf(name, sizeof name, "v%d", i);
            snprintf(prev, sizeof prev, "v%d", i - 1);
            expr_node *t = nm(i == 0 ? base : prev);
            for (int j = 0; j < ones; j++)
                t = bin(t, OP_ADD, num(1));
            varlist_add(ist.vars, new_var(name, t));
        }
    };
    // Four trees, 40000 levels: evaluated exactly.
    varlist_add(ist.vars, new_var("base", num(0.5)));
    define_chain(4, "base");
    double *v = getvar("v3");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, 0.5 + 4 * ones);
    EXPECT_EQ(ist.exit_status, 0);
    free_varlist_all(ist.vars);
    ist.vars = new_varlist();

    // Forty trees, 400000 levels: the walk of expr_uses_var finds the name
    // at the bottom; evaluation stops with one error and a value.
    define_chain(40, "bottom");
    expr_node *top = nm("v39");
    EXPECT_EQ(expr_uses_var("bottom", top), 1);
    EXPECT_EQ(expr_uses_var("nothere", top), 0);
    std::string err = capture_stderr([&] {
        expr_node *r = eval_expr(ist.vars, top);
        EXPECT_NE(r, nullptr);
        free_expr(r);
    });
    EXPECT_EQ(err, "Error in line 7: expression nested too deeply.\n");
    EXPECT_EQ(ist.exit_status, 1);
    free_expr(top);
    // The next evaluation starts afresh.
    varlist_add(ist.vars, new_var("w1", bin(num(2), OP_MUL, num(3))));
    err = capture_stderr([&] {
        double *w = getvar("w1");
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(*w, 6);
    });
    EXPECT_EQ(err, "");
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

// Doublings over an undefined name would fold to a tree of 2^60 nodes: the
// evaluation is refused with one error and gives 0.
TEST_F(EvalTest, UnresolvedResultOfExponentialSizeIsRefused)
{
    char name[16], prev[16];
    for (int i = 1; i <= 60; i++) {
        snprintf(name, sizeof name, "u%d", i);
        snprintf(prev, sizeof prev, "u%d", i - 1);
        ASSERT_EQ(define_var(name, bin(nm(prev), OP_MUL, nm(prev))), 1);
    }
    auto [shown, err] = run(nm("u60"));
    EXPECT_EQ(shown, "0");
    EXPECT_EQ(err, "Error in line 7: expression too large.\n");
    // Ten levels stay a tree of 2047 nodes, as before.
    auto [small, err2] = run(nm("u10"));
    EXPECT_EQ(small.size() > 2000, true);
    EXPECT_EQ(err2, "");
}
