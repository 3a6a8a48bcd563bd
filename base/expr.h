// Expression trees of the command language and the variable lists that bind
// names to unevaluated trees.
#pragma once

#include <vector>

#include <cstdio>

// Node tags.
enum { EXPR_BIOX = 0, EXPR_UNOX = 1, EXPR_NUMB = 2, EXPR_VAR = 3 };
// Operator codes of binary nodes (sn, cn, dn: u on the left, k on the right).
enum { OP_ADD = 0, OP_SUB = 1, OP_MUL = 2, OP_DIV = 3, OP_POW = 4, OP_SN = 5, OP_CN = 6, OP_DN = 7 };
// Function codes of unary nodes.
enum {
    FN_EXP = 0, FN_LOG = 1, FN_LOG10 = 2, FN_SQRT = 3, FN_NEG = 4, FN_ABS = 5,
    FN_SIN = 6, FN_COS = 7, FN_TAN = 8, FN_ASIN = 9, FN_ACOS = 10, FN_ATAN = 11
};

struct expr_node {
    int tag = EXPR_NUMB;
    expr_node *left = nullptr;   // binary: left operand; unary: the operand
    expr_node *right = nullptr;  // binary: right operand
    int code = 0;                // operator code (binary) or function code (unary)
    double value = 0;            // number
    char *name = nullptr;        // variable reference (owned by the node)
    int depth = 1;               // levels of the tree below and including this node
    unsigned size = 1;           // nodes of the tree (saturates at UINT_MAX)
};

struct var {
    char *name = nullptr;             // owned
    expr_node *definition = nullptr;  // owned
    unsigned walk_mark = 0;           // the last expr_uses_var walk that visited it
    int evaluating = 0;               // set while eval_expr evaluates its definition
    expr_node *memo = nullptr;        // its value within the evaluation now running (owned)
    unsigned memo_epoch = 0;          // the evaluation that made memo
};

struct varlist_index;  // hash lookup of the names and the names the definitions mention

struct varlist {
    std::vector<var *> entries;  // in the order added; the list shares them
    varlist_index *index = nullptr;  // made by new_varlist; a list without one is searched linearly
};

// The memory bound of the expressions: a node costs about this much (the
// node, the allocator's share and, for a name, its text). All trees alive
// at one time, the definitions and the evaluations under way, take at most
// 256 MB; a node beyond that ends the run with an error saying so. One
// evaluation may hold at most 64 MB of them (within the 256).
constexpr unsigned long expr_node_bytes = 64;
constexpr unsigned long expr_max_nodes = (256ul << 20) / expr_node_bytes;
constexpr unsigned long expr_max_eval_nodes = (64ul << 20) / expr_node_bytes;
// Nodes alive now.
unsigned long expr_live_nodes();

expr_node *new_biox(expr_node *left, expr_node *right, int op);
expr_node *new_unox(expr_node *operand, int func);
expr_node *new_numb(double value);
expr_node *new_varnode(char *name);  // takes ownership of name

var *new_var(const char *name, expr_node *definition);  // copies the name
varlist *new_varlist();
void varlist_add(varlist *list, var *entry);
void varlist_grow(varlist *list, unsigned n);
var **varlist_find(varlist *list, const char *name);
// Gives an entry of list a new definition (ownership passes, the old one is
// freed) and records the names it mentions. Every change of a definition by
// a statement goes through here, so expr_uses_var can trust the record.
void var_redefine(varlist *list, var *entry, expr_node *tree);

void free_expr(expr_node *tree);
void free_var(var *entry);
void free_varlist(varlist *list);
void free_varlist_all(varlist *list);
expr_node *copy_expr(const expr_node *tree);
var *copy_var(const var *entry);
void flush_expr_cache();

void print_expr(FILE *fp, const expr_node *tree);
// 1 when the tree refers to name, directly or through the definitions of
// the variable table. Each definition is walked at most once per call, so a
// cycle ends and definitions shared by many others cost no more than once;
// a name that no definition of the table mentions costs only the tree.
int expr_uses_var(const char *name, const expr_node *tree);

// Number of recycled nodes, entry shells and list shells held (at most 5 each).
int expr_cache_count();
int var_cache_count();
int varlist_cache_count();
