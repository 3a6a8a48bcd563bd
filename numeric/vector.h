// Counted arrays: vector (doubles) and ivector (ints, the pivots of LU).
// A copy of a record shares the array; the holder frees it.
#pragma once

#include <cstdio>

#include "numeric/types.h"

// n zeros; a negative n ends the program.
vector newvector(int n);
// Changes the size to n in place; values kept, new ones 0. Negative n ends
// the program.
void resize_vector(vector *v, int n);
vector null_vector();
// Releases this handle; *v becomes {0, null}. Harmless on an empty vector.
void freevector(vector *v);
// Copies src's values into dst's array; dst must hold at least src.n.
void vcopy_into(const vector &src, vector &dst);
vector vcopy(const vector &v);

ivector new_ivector(int n);
void free_ivector(ivector *v);
void print_ivector(FILE *fp, const ivector &v);
