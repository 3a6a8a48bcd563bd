// Evaluation of expression trees against a variable list.
#pragma once

struct expr_node;
struct varlist;

// A new tree: a single number when every name the tree uses is defined
// (through any depth of definitions), otherwise the defined parts folded
// and simplified, the undefined names kept. The input is not changed; the
// caller frees the result. Mathematical errors are reported and yield 0.
// An evaluation that meets a bound (a result of more than 100000 nodes or
// 64 MB of them, a tree nested too deeply) reports it once and gives null:
// no value, rather than a partial one.
expr_node *eval_expr(varlist *list, const expr_node *tree);
expr_node *eval_var(varlist *list, const expr_node *node);
expr_node *eval_binop(const expr_node *l, const expr_node *r, int op);
expr_node *eval_func(const expr_node *x, int func);
expr_node *simplify_left(const expr_node *a, const expr_node *r, int op);
expr_node *simplify_right(const expr_node *l, const expr_node *b, int op);
double apply_binop(double a, double b, int op);
double apply_func(double x, int func);
int is_number(const expr_node *node);
void math_error(int code);
