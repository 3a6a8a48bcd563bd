// Evaluation of expression trees with folding of the defined parts.
#include "base/eval.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/expr.h"
#include "base/elliptic.h"

int is_number(const expr_node *node)
{
    return node && node->tag == EXPR_NUMB;
}

void math_error(int code)
{
    static const char *const text[] = {
        nullptr,
        " 1: DIVBY  division by zero",
        " 2: POW  illegal operands in pow",
        " 3: LOG  negative operand in log",
        " 4: LOG10  negative operand in log10",
        " 5: SQRT  negative operand in sqrt",
        " 6: DIVBY  expression being divided by zero",
        " 7: (A)FUNC domain error in function",
    };
    if (code >= 1 && code <= 7)
        error(text[code]);
}

double apply_binop(double a, double b, int op)
{
    switch (op) {
    case OP_ADD:
        return a + b;
    case OP_SUB:
        return a - b;
    case OP_MUL:
        return a * b;
    case OP_DIV:
        if (b == 0) {
            math_error(1);
            return 0;
        }
        return a / b;
    case OP_POW:
        if (a == 0 && b < 0) {
            math_error(2);
            return 0;
        }
        return pow(a, b);
    case OP_SN:
        return sn(a, b);
    case OP_CN:
        return cn(a, b);
    case OP_DN:
        return dn(a, b);
    default:
        bad_tag("eval", __LINE__, op);
    }
}

double apply_func(double x, int func)
{
    switch (func) {
    case FN_EXP:
        return exp(x);
    case FN_LOG:
        if (x <= 0) {
            math_error(3);
            return 0;
        }
        return log(x);
    case FN_LOG10:
        if (x <= 0) {
            math_error(4);
            return 0;
        }
        return log10(x);
    case FN_SQRT:
        if (x <= 0) {
            math_error(5);
            return 0;
        }
        return sqrt(x);
    case FN_NEG:
        return -x;
    case FN_ABS:
        return fabs(x);
    case FN_SIN:
        return sin(x);
    case FN_COS:
        return cos(x);
    case FN_TAN:
        return tan(x);
    case FN_ASIN:
        if (x < -1 || x > 1) {
            math_error(7);
            return 0;
        }
        return asin(x);
    case FN_ACOS:
        if (x < -1 || x > 1) {
            math_error(7);
            return 0;
        }
        return acos(x);
    case FN_ATAN:
        return atan(x);
    default:
        bad_tag("eval", __LINE__, func);
    }
}

namespace {

// The nodes that the evaluation now running may still make: the outermost
// eval_expr sets the ceiling of the live count. Every copy that evaluation
// makes of a tree is checked against it before the nodes are made, so a
// result or the per-variable values kept during one evaluation stay within
// expr_max_eval_nodes; past it the evaluation reports "expression too large"
// (once) and is cut off.
unsigned long eval_ceiling = 0;  // 0: no evaluation runs
// An evaluation that meets one of its bounds is cut off: it says why once,
// stops its work, and its outermost eval_expr gives no value (null), so no
// setting, column or report takes a partial result for the true one.
bool cut_off = false;

void cut(const char *why)
{
    if (!cut_off)
        error(why);
    cut_off = true;
}

bool eval_room(unsigned long nodes)
{
    if (eval_ceiling == 0 || expr_live_nodes() + nodes <= eval_ceiling)
        return true;
    cut("expression too large");
    return false;
}

// Levels of eval_expr now running. One tree is at most as deep as the parser
// stack, and definitions are evaluated one at a time (settle_variables
// below), so this bound is only a guard against a tree built deeper; the
// results are held to it as well, since copying, freeing and printing a tree
// recurse once per level.
constexpr int max_eval_depth = 50000;

bool depth_room(int depth)
{
    if (depth <= max_eval_depth)
        return true;
    cut("expression nested too deeply");
    return false;
}

}  // namespace

// A copy of x within the evaluation's room, else 0.
static expr_node *eval_copy(const expr_node *x)
{
    return eval_room(x->size) ? copy_expr(x) : new_numb(0);
}

// The combinations below take their operands over: an evaluated operand
// becomes part of the result instead of being copied and freed, so a long
// unresolved sum costs its length, not its length squared.
namespace {

expr_node *own_node(expr_node *l, expr_node *r, int op)
{
    if (!eval_room(1) || !depth_room(1 + std::max(l ? l->depth : 0, r ? r->depth : 0))) {
        free_expr(l);
        free_expr(r);
        return new_numb(0);
    }
    return new_biox(l, r, op);
}

expr_node *keep(expr_node *kept, expr_node *dropped)
{
    free_expr(dropped);
    return kept;
}

expr_node *number(double v, expr_node *a, expr_node *b)
{
    free_expr(a);
    free_expr(b);
    return new_numb(v);
}

expr_node *negation(expr_node *r)
{
    if (!eval_room(1) || !depth_room(1 + (r ? r->depth : 0)))
        return number(0, r, nullptr);
    return new_unox(r, FN_NEG);
}

expr_node *simplify_left_own(expr_node *a, expr_node *r, int op)
{
    double v = a->value;
    switch (op) {
    case OP_ADD:
        return v == 0 ? keep(r, a) : own_node(a, r, op);
    case OP_SUB:
        return v == 0 ? negation(keep(r, a)) : own_node(a, r, op);
    case OP_MUL:
        if (v == 0)
            return number(0, a, r);
        return v == 1 ? keep(r, a) : own_node(a, r, op);
    case OP_DIV:
        return v == 0 ? number(0, a, r) : own_node(a, r, op);
    case OP_POW:
        if (v == 0)
            return number(0, a, r);
        return v == 1 ? number(1, a, r) : own_node(a, r, op);
    case OP_SN:
    case OP_CN:
    case OP_DN:
        return own_node(a, r, op);
    default:
        bad_tag("eval", __LINE__, op);
    }
}

expr_node *simplify_right_own(expr_node *l, expr_node *b, int op)
{
    double v = b->value;
    switch (op) {
    case OP_ADD:
    case OP_SUB:
        return v == 0 ? keep(l, b) : own_node(l, b, op);
    case OP_MUL:
        if (v == 0)
            return number(0, l, b);
        return v == 1 ? keep(l, b) : own_node(l, b, op);
    case OP_DIV:
        if (v == 0) {
            math_error(6);
            return number(0, l, b);
        }
        return v == 1 ? keep(l, b) : own_node(l, b, op);
    case OP_POW:
        if (v == 0)
            return number(1, l, b);
        return v == 1 ? keep(l, b) : own_node(l, b, op);
    case OP_SN:
    case OP_CN:
    case OP_DN:
        return own_node(l, b, op);
    default:
        bad_tag("eval", __LINE__, op);
    }
}

expr_node *eval_binop_own(expr_node *l, expr_node *r, int op)
{
    if (is_number(l) && is_number(r))
        return number(apply_binop(l->value, r->value, op), l, r);
    if (is_number(l))
        return simplify_left_own(l, r, op);
    if (is_number(r))
        return simplify_right_own(l, r, op);
    if (op < 0 || op > OP_DN)
        bad_tag("eval", __LINE__, op);
    return own_node(l, r, op);
}

expr_node *eval_func_own(expr_node *x, int func)
{
    if (is_number(x))
        return number(apply_func(x->value, func), x, nullptr);
    if (func < 0 || func > FN_ATAN)
        bad_tag("eval", __LINE__, func);
    if (!eval_room(1) || !depth_room(1 + (x ? x->depth : 0)))
        return number(0, x, nullptr);
    return new_unox(x, func);
}

}  // namespace

expr_node *simplify_left(const expr_node *a, const expr_node *r, int op)
{
    return simplify_left_own(eval_copy(a), eval_copy(r), op);
}

expr_node *simplify_right(const expr_node *l, const expr_node *b, int op)
{
    return simplify_right_own(eval_copy(l), eval_copy(b), op);
}

expr_node *eval_binop(const expr_node *l, const expr_node *r, int op)
{
    return eval_binop_own(eval_copy(l), eval_copy(r), op);
}

expr_node *eval_func(const expr_node *x, int func)
{
    return eval_func_own(eval_copy(x), func);
}

namespace {

// Every variable is evaluated once per evaluation: its value is kept in the
// entry (memo) until the outermost eval_expr returns, so a definition used
// many times, directly or through others, costs no more than once. An
// assignment cannot happen while an evaluation runs, so no memo outlives a
// change of a definition.
unsigned eval_epoch = 0;
std::vector<var *> memoized;
int eval_depth = 0;

void drop_memos()
{
    for (var *e : memoized) {
        free_expr(e->memo);
        e->memo = nullptr;
    }
    memoized.clear();
}

bool has_memo(const var *e)
{
    return e->memo && e->memo_epoch == eval_epoch;
}

void keep_memo(var *e, expr_node *value)
{
    free_expr(e->memo);
    e->memo = value;
    e->memo_epoch = eval_epoch;
    memoized.push_back(e);
}

// Nodes of an unresolved result: definitions that double one another over
// an undefined name would otherwise build a tree of exponential size.
constexpr unsigned max_eval_nodes = 100000;

expr_node *eval_node(varlist *list, const expr_node *tree);

// Before the outermost evaluation, every variable that the tree reaches is
// evaluated once, each after the variables that its definition names (a
// walk with its own stacks: the nodes still to visit, and the variables
// whose definitions are being walked with the height of the node stack
// below them). Each definition then finds the values of the names it uses
// kept, so the recursion is as deep as one definition's tree, however long
// a chain of definitions is. A variable met again while its definition is
// being walked leads back to itself; it stays marked as being evaluated,
// and eval_var reports it.
void settle_variables(varlist *list, const expr_node *tree)
{
    std::vector<const expr_node *> nodes{tree};
    std::vector<std::pair<var *, size_t>> open;
    while (!cut_off) {
        while (!open.empty() && open.back().second == nodes.size()) {
            var *e = open.back().first;
            open.pop_back();
            expr_node *r = eval_expr(list, e->definition);
            e->evaluating = 0;
            if (r)
                keep_memo(e, r);
        }
        if (nodes.empty())
            break;
        const expr_node *t = nodes.back();
        nodes.pop_back();
        if (!t)
            continue;
        if (t->tag == EXPR_BIOX) {
            checked_push(nodes, t->right, "expression walk");
            checked_push(nodes, t->left, "expression walk");
        } else if (t->tag == EXPR_UNOX) {
            checked_push(nodes, t->left, "expression walk");
        } else if (t->tag == EXPR_VAR) {
            var **v = varlist_find(list, t->name);
            if (!v || has_memo(*v) || (*v)->evaluating)
                continue;
            (*v)->evaluating = 1;
            checked_push(open, std::make_pair(*v, nodes.size()), "expression walk");
            checked_push(nodes, static_cast<const expr_node *>((*v)->definition), "expression walk");
        }
    }
    for (auto &o : open)
        o.first->evaluating = 0;
}

}  // namespace

expr_node *eval_var(varlist *list, const expr_node *node)
{
    var **v = varlist_find(list, node->name);
    if (!v)
        return copy_expr(node);
    var *e = *v;
    if (has_memo(e))
        return eval_copy(e->memo);
    // A definition that leads back to its own variable cannot be folded:
    // the name stays in the result instead of recursing without end.
    if (e->evaluating) {
        error("variable %s is defined in terms of itself", node->name);
        return copy_expr(node);
    }
    e->evaluating = 1;
    expr_node *r = eval_expr(list, e->definition);
    e->evaluating = 0;
    if (eval_depth > 0 && r)
        keep_memo(e, eval_copy(r));
    return r;
}

expr_node *eval_expr(varlist *list, const expr_node *tree)
{
    if (!tree)
        return nullptr;
    if (cut_off)
        return new_numb(0);
    if (eval_depth >= max_eval_depth) {
        cut("expression nested too deeply");
        return new_numb(0);
    }
    bool outermost = eval_depth++ == 0;
    if (outermost) {
        eval_epoch++;
        eval_ceiling = expr_live_nodes() + expr_max_eval_nodes;
        settle_variables(list, tree);
    }
    expr_node *r = cut_off ? new_numb(0) : eval_node(list, tree);
    if (r && r->size > max_eval_nodes) {
        cut("expression too large");
        free_expr(r);
        r = new_numb(0);
    }
    if (--eval_depth == 0) {
        if (cut_off) {
            free_expr(r);
            r = nullptr;
        }
        cut_off = false;
        eval_ceiling = 0;
        drop_memos();
    }
    return r;
}

namespace {

expr_node *eval_node(varlist *list, const expr_node *tree)
{
    switch (tree->tag) {
    case EXPR_UNOX:
        return eval_func_own(eval_expr(list, tree->left), tree->code);
    case EXPR_BIOX: {
        expr_node *l = eval_expr(list, tree->left);
        return eval_binop_own(l, eval_expr(list, tree->right), tree->code);
    }
    case EXPR_NUMB:
        return new_numb(tree->value);
    case EXPR_VAR:
        return eval_var(list, tree);
    default:
        bad_tag("eval", __LINE__, tree->tag);
    }
}

}  // namespace
