// Reading settings and expression arguments from the variable table.
#pragma once

struct expr_node;

// The value of a named variable, evaluated afresh; null when the name is
// absent or its definition does not come out as a number, and null after
// "the value of NAME is not finite" when it comes out infinite or NaN. The pointer is to
// one static double that the next call overwrites: copy the value at once.
double *getvar(const char *name);
// The value of an expression argument; null (after "expression %m is not
// resolved", or "... is not finite", or the error that cut its evaluation
// off) when it does not come out as a finite number. The tree stays the
// caller's.
double *expr_value(expr_node *tree);
// An expression argument's value into *out, and the tree freed; false (after
// "expression %m is not resolved") when it does not come out as a number.
bool take_arg_value(expr_node *tree, double *out);
// The trace level set by the variable bla: its integer part, 0 without it.
int bla_level();
