// Expression trees, variable lists and the small caches that recycle their
// freed nodes and shells.
#include "base/expr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/error.h"
#include "base/globals.h"

namespace {

constexpr int cache_slots = 5;

template <class T>
struct shell_cache {
    T *slot[cache_slots] = {};
    int16_t count = 0;

    T *take(const char *label)
    {
        void *p;
        if (count > 0)
            p = slot[--count];
        else {
            p = ::operator new(sizeof(T), std::nothrow);
            check_alloc(p, label);
        }
        return new (p) T();
    }
    void give(T *p)
    {
        p->~T();
        if (count < cache_slots)
            slot[count++] = p;
        else
            ::operator delete(p);
    }
    void flush()
    {
        while (count > 0)
            ::operator delete(slot[--count]);
    }
};

struct expr_caches {
    shell_cache<expr_node> nodes;
    shell_cache<var> vars;
    shell_cache<varlist> lists;
} cache;

// Nodes alive now, counted so that no input (a long definition file, a
// definition that doubles others) can take more than the bound.
unsigned long live_nodes = 0;

// A node costs one unit; a name costs one more for every expr_node_bytes of
// its text, so that a tree repeating a long name is bounded by its bytes.
expr_node *take_node(const char *label, unsigned long units = 1)
{
    if (live_nodes + units > expr_max_nodes)
        fatal("expressions and variable definitions take more than %d MB",
              static_cast<int>(expr_max_nodes * expr_node_bytes >> 20));
    live_nodes += units;
    return cache.nodes.take(label);
}

unsigned long name_units(const char *name)
{
    return strlen(name) / expr_node_bytes;
}

unsigned add_sizes(unsigned a, unsigned b)
{
    return a > UINT_MAX - 1 - b ? UINT_MAX : a + b + 1;
}

const char *const op_symbol[] = {"+", "-", "*", "/", "^", "sn", "cn", "dn"};
const char *const fn_name[] = {"exp", "log", "log10", "sqrt", "-", "abs",
                               "sin", "cos", "tan", "asin", "acos", "atan"};

}  // namespace

expr_node *new_biox(expr_node *left, expr_node *right, int op)
{
    expr_node *n = take_node("BIOX");
    n->tag = EXPR_BIOX;
    n->left = left;
    n->right = right;
    n->code = op;
    int dl = left ? left->depth : 0, dr = right ? right->depth : 0;
    n->depth = 1 + (dl > dr ? dl : dr);
    n->size = add_sizes(left ? left->size : 0, right ? right->size : 0);
    return n;
}

expr_node *new_unox(expr_node *operand, int func)
{
    expr_node *n = take_node("UNOX");
    n->tag = EXPR_UNOX;
    n->left = operand;
    n->code = func;
    n->depth = 1 + (operand ? operand->depth : 0);
    n->size = add_sizes(operand ? operand->size : 0, 0);
    return n;
}

expr_node *new_numb(double value)
{
    expr_node *n = take_node("NUMB");
    n->tag = EXPR_NUMB;
    n->value = value;
    return n;
}

expr_node *new_varnode(char *name)
{
    unsigned long extra = name_units(name);
    expr_node *n = take_node("VAR", 1 + extra);
    n->tag = EXPR_VAR;
    n->name = name;
    n->size = extra >= UINT_MAX - 1 ? UINT_MAX : static_cast<unsigned>(1 + extra);
    return n;
}

var *new_var(const char *name, expr_node *definition)
{
    var *v = cache.vars.take("var");
    v->name = xstrdup(name);
    v->definition = definition;
    return v;
}

// The names of a list by hash (the first entry of a name wins, as in a scan
// from the front), and every name that a definition given to the list has
// mentioned. The second set only grows: a name in it may no longer be
// mentioned, but a name outside it is mentioned by no definition.
struct varlist_index {
    std::unordered_map<std::string_view, unsigned> slot;
    std::unordered_set<std::string> mentioned;
};

namespace {

void note_mentions(varlist *list, const expr_node *tree)
{
    if (!list->index)
        return;
    std::vector<const expr_node *> todo{tree};
    while (!todo.empty()) {
        const expr_node *t = todo.back();
        todo.pop_back();
        if (!t)
            continue;
        if (t->tag == EXPR_VAR)
            list->index->mentioned.insert(t->name);
        else if (t->tag == EXPR_BIOX) {
            todo.push_back(t->left);
            todo.push_back(t->right);
        } else if (t->tag == EXPR_UNOX)
            todo.push_back(t->left);
    }
}

}  // namespace

varlist *new_varlist()
{
    varlist *l = cache.lists.take("var list");
    l->index = new varlist_index;
    varlist_grow(l, 2);
    return l;
}

void varlist_grow(varlist *list, unsigned n)
{
    if (list->entries.capacity() > n)
        return;
    checked_growth([&] { list->entries.reserve(n ? n : 1); }, "var list");
}

void varlist_add(varlist *list, var *entry)
{
    unsigned count = (unsigned)list->entries.size();
    if (count == list->entries.capacity())
        varlist_grow(list, count ? 2 * count : 2);
    if (list->index) {
        list->index->slot.emplace(entry->name, count);
        note_mentions(list, entry->definition);
    }
    list->entries.push_back(entry);
}

void var_redefine(varlist *list, var *entry, expr_node *tree)
{
    free_expr(entry->definition);
    entry->definition = tree;
    note_mentions(list, tree);
}

var **varlist_find(varlist *list, const char *name)
{
    if (!list)
        return nullptr;
    if (list->index) {
        auto it = list->index->slot.find(name);
        return it == list->index->slot.end() ? nullptr : &list->entries[it->second];
    }
    for (unsigned i = 0; i < list->entries.size(); i++)
        if (strcmp(list->entries[i]->name, name) == 0)
            return &list->entries[i];
    return nullptr;
}

void free_expr(expr_node *tree)
{
    if (!tree)
        return;
    switch (tree->tag) {
    case EXPR_BIOX:
        free_expr(tree->left);
        free_expr(tree->right);
        break;
    case EXPR_UNOX:
        free_expr(tree->left);
        break;
    case EXPR_NUMB:
        break;
    case EXPR_VAR:
        live_nodes -= name_units(tree->name);
        xfree(tree->name);
        break;
    default:
        bad_tag("expr", __LINE__, tree->tag);
    }
    live_nodes--;
    cache.nodes.give(tree);
}

unsigned long expr_live_nodes()
{
    return live_nodes;
}

void free_var(var *entry)
{
    if (!entry)
        return;
    xfree(entry->name);
    free_expr(entry->definition);
    free_expr(entry->memo);
    cache.vars.give(entry);
}

void free_varlist(varlist *list)
{
    if (!list)
        return;
    list->entries = std::vector<var *>();
    delete list->index;
    list->index = nullptr;
    cache.lists.give(list);
}

void free_varlist_all(varlist *list)
{
    if (!list)
        return;
    for (var *v : list->entries)
        free_var(v);
    free_varlist(list);
}

expr_node *copy_expr(const expr_node *tree)
{
    if (!tree)
        return nullptr;
    switch (tree->tag) {
    case EXPR_BIOX: {
        expr_node *l = copy_expr(tree->left);
        return new_biox(l, copy_expr(tree->right), tree->code);
    }
    case EXPR_UNOX:
        return new_unox(copy_expr(tree->left), tree->code);
    case EXPR_NUMB:
        return new_numb(tree->value);
    case EXPR_VAR:
        return new_varnode(xstrdup(tree->name));
    default:
        bad_tag("expr", __LINE__, tree->tag);
    }
}

var *copy_var(const var *entry)
{
    return new_var(entry->name, copy_expr(entry->definition));
}

void flush_expr_cache()
{
    cache.nodes.flush();
    cache.vars.flush();
    cache.lists.flush();
}

void print_expr(FILE *fp, const expr_node *tree)
{
    if (!tree) {
        fputs("@ ", fp);
        return;
    }
    switch (tree->tag) {
    case EXPR_BIOX:
        if (tree->code >= OP_SN && tree->code <= OP_DN) {
            // The elliptic functions print in call form: sn( u, k ).
            fprintf(fp, "%s( ", op_symbol[tree->code]);
            print_expr(fp, tree->left);
            fputs(", ", fp);
            print_expr(fp, tree->right);
            fputs(" )", fp);
            break;
        }
        fputs("( ", fp);
        print_expr(fp, tree->left);
        fputc(' ', fp);
        if (tree->code >= 0 && tree->code <= OP_POW)
            fputs(op_symbol[tree->code], fp);
        fputc(' ', fp);
        print_expr(fp, tree->right);
        fputs(" )", fp);
        break;
    case EXPR_UNOX:
        if (tree->code >= 0 && tree->code <= FN_ATAN)
            fputs(fn_name[tree->code], fp);
        fputs("( ", fp);
        print_expr(fp, tree->left);
        fputs(" )", fp);
        break;
    case EXPR_NUMB:
        fprintf(fp, "%g", tree->value);
        break;
    case EXPR_VAR:
        fputs(tree->name, fp);
        break;
    default:
        fputs("\nError: unknown expression tag.\n", fp);
        break;
    }
}

namespace {

unsigned walk_epoch = 0;

// The walk keeps its own stack of nodes still to visit, so a long chain of
// definitions (each a deep tree over the one before) cannot overflow the
// program's stack. Left operands are visited before right ones.
int uses_var(const char *name, const expr_node *tree, bool follow)
{
    std::vector<const expr_node *> todo;
    todo.push_back(tree);
    while (!todo.empty()) {
        const expr_node *t = todo.back();
        todo.pop_back();
        if (!t)
            continue;
        switch (t->tag) {
        case EXPR_NUMB:
            break;
        case EXPR_UNOX:
            todo.push_back(t->left);
            break;
        case EXPR_BIOX:
            todo.push_back(t->right);
            todo.push_back(t->left);
            break;
        case EXPR_VAR: {
            if (strcmp(t->name, name) == 0)
                return 1;
            if (!follow)
                break;
            var **v = varlist_find(ist.vars, t->name);
            // A definition already walked in this call gave 0 (a 1 ends the
            // walk at once) or is being walked (a cycle): no need to go again.
            if (!v || (*v)->walk_mark == walk_epoch)
                break;
            (*v)->walk_mark = walk_epoch;
            todo.push_back((*v)->definition);
            break;
        }
        default:
            fputs("\nError: unknown expression tag.\n", stderr);
            break;
        }
    }
    return 0;
}

}  // namespace

int expr_uses_var(const char *name, const expr_node *tree)
{
    if (++walk_epoch == 0) {
        // The counter wrapped: forget every old mark.
        for (unsigned i = 0; ist.vars && i < ist.vars->entries.size(); i++)
            ist.vars->entries[i]->walk_mark = 0;
        walk_epoch = 1;
    }
    // No definition mentions the name: only the tree itself can.
    const varlist_index *ix = ist.vars ? ist.vars->index : nullptr;
    bool follow = !ix || ix->mentioned.count(name) > 0;
    return uses_var(name, tree, follow);
}

int expr_cache_count() { return cache.nodes.count; }
int var_cache_count() { return cache.vars.count; }
int varlist_cache_count() { return cache.lists.count; }
