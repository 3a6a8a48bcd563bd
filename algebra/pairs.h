// Critical pairs of Buchberger's algorithm: the pair array with its sugar
// and lcm, its orderings, and the groups of pairs that share one lcm.
#pragma once

#include <cstdio>
#include <vector>

#include "algebra/spoly.h"

// Pairs (i[k], j[k]), i < j, of basis equations with their sugar and the
// lcm of their leading monomials (owned). A pair with both indices 0 is
// marked deleted. flags has one entry per basis equation: 1 when that
// equation is redundant.
struct p_pair_array {
    int n = 0;
    int capacity = 0;
    std::vector<int> i;
    std::vector<int> j;
    std::vector<int> flags;
    std::vector<int> sugar;
    std::vector<subterm> lcm;
};

// Empties P: no pairs, no arrays.
void init_p_pair_array(p_pair_array *P);
void resize_p_pair_array(p_pair_array *P, int capacity);
void add_p_pair(p_pair_array *P, int i, int j, int sugar, subterm lcm);
void remove_p_pair(p_pair_array *P, int k);
void compact_p_pairs(p_pair_array *P);
// Moves every pair of Q to the end of P.
void append_p_pairs(p_pair_array *P, p_pair_array *Q);
// Both release the arrays, the lcms among them: P is empty afterwards.
void free_p_pair_arrays(p_pair_array *P);
void free_p_pair_array(p_pair_array *P);
void print_p_pairs(const p_pair_array &P, FILE *fp);
void remove_pairs_of_equation(p_pair_array *P, int k);
void shift_pair_index(p_pair_array *P, int k, int d);

// -1, 0 or 1: smaller sugar first, then the smaller lcm.
int order_p_pair(const p_pair_array &P, int k, int l);
int order_p_pair_lcm(const p_pair_array &P, int k, int l);
void sort_p_pairs_sugar(p_pair_array *P);
void sort_p_pairs_lcm(p_pair_array *P);

// The pairs that share one lcm.
struct lcm_group {
    int n = 0;
    std::vector<int> pair_index;
    subterm lcm;
};
struct lcm_group_list {
    int n = 0;
    std::vector<lcm_group> g;
};

// Each empties its record, releasing the arrays.
void init_lcm_group(lcm_group *g);
void init_lcm_group_list(lcm_group_list *l);
void free_lcm_group(lcm_group *g);
void free_lcm_group_list(lcm_group_list *l);
int add_to_lcm_group(lcm_group *g, int pair, const subterm &lcm);
void add_to_lcm_groups(lcm_group_list *l, int pair, const subterm &lcm);
void print_lcm_group(const lcm_group &g, FILE *fp);
