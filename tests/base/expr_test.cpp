// Expression trees, the variable list and the recycling caches.
#include <gtest/gtest.h>

#include <cstring>

#include "capture.h"
#include "base/error.h"
#include "base/expr.h"
#include "base/globals.h"

namespace {

std::string printed(const expr_node *t)
{
    return capture_stream([&](FILE *f) { print_expr(f, t); });
}

expr_node *name(const char *n)
{
    return new_varnode(xstrdup(n));
}

TEST(Expr, PrintedForms)
{
    struct {
        expr_node *tree;
        const char *want;
    } cases[] = {
        {new_biox(new_biox(new_numb(2), name("x"), OP_MUL), new_numb(1), OP_ADD), "( ( 2 * x ) + 1 )"},
        {new_unox(new_unox(name("t"), FN_SIN), FN_NEG), "-( sin( t ) )"},
        {new_biox(new_numb(0.5), new_numb(1e-7), OP_POW), "( 0.5 ^ 1e-07 )"},
        {new_unox(new_biox(name("a1"), name("b1"), OP_DIV), FN_LOG10), "log10( ( a1 / b1 ) )"},
        {new_biox(name("u"), new_numb(0.8), OP_SN), "sn( u, 0.8 )"},
        {nullptr, "@ "},
    };
    for (auto &c : cases) {
        EXPECT_EQ(printed(c.tree), c.want);
        free_expr(c.tree);
    }
    // An impossible tag prints a notice on the same stream.
    expr_node bad;
    bad.tag = 9;
    EXPECT_EQ(printed(&bad), "\nError: unknown expression tag.\n");
}

TEST(Expr, CopyIsDeepAndKeepsCodes)
{
    expr_node *t = new_biox(name("u"), new_unox(name("k"), FN_ABS), OP_CN);
    expr_node *c = copy_expr(t);
    ASSERT_NE(c, t);
    EXPECT_EQ(c->tag, EXPR_BIOX);
    EXPECT_EQ(c->code, OP_CN);
    EXPECT_NE(c->left->name, t->left->name);  // fresh copy of the name
    EXPECT_STREQ(c->left->name, "u");
    EXPECT_EQ(c->right->code, FN_ABS);
    free_expr(t);
    EXPECT_EQ(printed(c), "cn( u, abs( k ) )");
    free_expr(c);
    EXPECT_EQ(copy_expr(nullptr), nullptr);
}

TEST(Expr, NodeCacheKeepsFiveAndGivesThemBackNewestFirst)
{
    flush_expr_cache();
    expr_node *n[7];
    for (auto &p : n)
        p = new_numb(1);
    for (auto &p : n)
        free_expr(p);
    EXPECT_EQ(expr_cache_count(), 5);
    // The last one cached (the fifth freed) comes back first.
    for (int i = 4; i >= 0; i--) {
        expr_node *m = new_numb(2);
        EXPECT_EQ(m, n[i]) << i;
        n[i] = m;
    }
    EXPECT_EQ(expr_cache_count(), 0);
    for (int i = 0; i < 5; i++)
        free_expr(n[i]);
    flush_expr_cache();
    EXPECT_EQ(expr_cache_count(), 0);
}

TEST(Expr, VarlistGrowsByDoublingAndKeepsOrder)
{
    varlist *l = new_varlist();
    EXPECT_EQ(l->entries.capacity(), 2u);
    EXPECT_EQ(varlist_find(l, "x"), nullptr);
    unsigned seen[] = {2, 2, 4, 4, 8, 8, 8, 8, 16};
    char nm[16];
    for (int i = 0; i < 9; i++) {
        snprintf(nm, sizeof nm, "v%d", i);
        varlist_add(l, new_var(nm, new_numb(i)));
        EXPECT_EQ(l->entries.capacity(), seen[i]) << i;
    }
    for (unsigned i = 0; i < l->entries.size(); i++) {
        snprintf(nm, sizeof nm, "v%u", i);
        EXPECT_STREQ(l->entries[i]->name, nm);
    }
    var **v = varlist_find(l, "v6");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ((*v)->definition->value, 6);
    free_varlist_all(l);
    free_varlist_all(nullptr);
}

TEST(Expr, UsesVarFollowsDefinitionsAndStopsOnCycles)
{
    varlist *saved = ist.vars;
    ist.vars = new_varlist();
    // p = q + 1, q = 2 * r, and a cycle c1 = c2, c2 = c1 put in by hand.
    varlist_add(ist.vars, new_var("p", new_biox(name("q"), new_numb(1), OP_ADD)));
    varlist_add(ist.vars, new_var("q", new_biox(new_numb(2), name("r"), OP_MUL)));
    varlist_add(ist.vars, new_var("c1", name("c2")));
    varlist_add(ist.vars, new_var("c2", name("c1")));
    expr_node *t = new_unox(name("p"), FN_EXP);
    EXPECT_EQ(expr_uses_var("r", t), 1);
    EXPECT_EQ(expr_uses_var("q", t), 1);
    EXPECT_EQ(expr_uses_var("s", t), 0);
    free_expr(t);
    t = name("c1");
    EXPECT_EQ(expr_uses_var("zz", t), 0);  // terminates
    EXPECT_EQ(expr_uses_var("c2", t), 1);
    free_expr(t);
    EXPECT_EQ(expr_uses_var("x", nullptr), 0);
    // Definitions shared many times over (v60 = v59 + v59, ...) are walked
    // once each: a walk of every path would take 2^60 steps.
    varlist_add(ist.vars, new_var("v0", name("base")));
    char prev[16], cur[16];
    for (int i = 1; i <= 60; i++) {
        snprintf(prev, sizeof prev, "v%d", i - 1);
        snprintf(cur, sizeof cur, "v%d", i);
        varlist_add(ist.vars, new_var(cur, new_biox(name(prev), name(prev), OP_ADD)));
    }
    t = name("v60");
    EXPECT_EQ(expr_uses_var("nothere", t), 0);
    EXPECT_EQ(expr_uses_var("base", t), 1);
    free_expr(t);
    free_varlist_all(ist.vars);
    ist.vars = saved;
}

}  // namespace
