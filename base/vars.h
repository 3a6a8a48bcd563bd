// The program's variable table: default settings and definitions.
#pragma once

struct expr_node;

// Appends the default settings to the table (epsrel ... pi) and remembers the
// entries of fr, si and so.
void seed_default_vars();
// Binds name to the tree (ownership of the tree passes). A definition that
// refers to name itself, directly or through other variables, is refused
// with an error naming the variable: the tree is freed, the old definition
// stays, and the result is 0. Otherwise 1.
int define_var(const char *name, expr_node *tree);
// Binds name to a number node with the value (added when absent).
void set_var_number(const char *name, double value);
