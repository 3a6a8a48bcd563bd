// The one current filter with its capacitor values, the cached Gramians and
// the analysis data that the frequency and time evaluators work on.
#pragma once

#include <vector>

#include "filter/analysis.h"
#include "filter/gramian.h"
#include "filter/ss.h"
#include "numeric/types.h"

// The switches of `set:` (optc_flag, num_flag, sfr_flag, evalc_flag, ...)
// live in `ist` (base/globals.h).

struct filter_state {
    cap_ss cur_filter;   // the current filter; order 0 at start
    matrix cur_K;        // cached Gramian K of cur_filter; cached when it has columns
    matrix cur_W;        // cached Gramian W; cached when it has columns
    // The error bounds of cur_K and cur_W and what they were made for
    // (filter/gramian.h): the figures printed from the Gramians read them.
    gramian_accuracy acc_K, acc_W;
    int input_error = 0; // 1 while the filter being entered by `input:` is invalid

    // The analysis data of the current filter, prepared again at every
    // change of it (install, the end of `input:`, every transform and
    // scaling). The searches build contexts of their own for their
    // candidates.
    analysis_ctx ana;
};
extern filter_state fst;

// Start state: no filter, no capacitor array, K and W empty.
void filter_start();
// 1 when a filter is defined; otherwise the error "no filter defined" and 0.
int filter_defined();
// The `order = n` item of `input:`.
void set_order(int n);
// The largest order of a filter. The solved Gramians cost about n^3 and the
// adjugate data, when asked for, n^4 (a second at this order), so larger
// orders, which no filter design needs, are refused before any work.
constexpr int max_filter_order = 200;
// True when 1 <= n <= max_filter_order (an order below 1 is left to the
// caller's own message); otherwise "order %d is too large (at most %d)".
bool order_allowed(int n);
// Makes s the current filter (its matrices pass over), zeroed capacitor
// values, fresh analysis data, K and W dropped. Order 0: nothing happens.
// An order above max_filter_order is refused (s is freed).
void install_filter(ss s);
// Makes s the current filter in place of the old record, as a transform of
// it: the capacitor array and the cached K and W stay (the caller carries
// them over), and the analysis data are taken as they are, prepared for s
// already (transformed_realises, filter/transform_check.h, leaves them so).
void take_realisation(ss s);
// Releases the current filter, its capacitor values and the cached K and W.
void free_filter();

// Drop the cached Gramians (freed, left empty).
void drop_k();
void drop_w();
// Compute the Gramian of the filter f with the switches of `set:`
// (num_flag, sfr_flag) when it is not cached. An undetermined Gramian stays
// empty.
void ensure_k(filter_state &f);
void ensure_w(filter_state &f);
// For a figure from K (k) or W of the filter fs: the cached Gramian,
// solved when it is missing, with the bounds of the error of its entries in
// err (gram_checked). A Gramian cached without them (carried through a
// transformation) is refined against the filter first and the cache takes
// the refined one.
gramian_check checked_gramian(filter_state &fs, bool k, matrix *err);
// W of the filter f for the optimal division of the capacitance, which
// reads its diagonal: solved, and (solved Gramians) known to
// gramian_figure_tol on the diagonal; false after an error otherwise.
bool w_for_division(filter_state &f);
