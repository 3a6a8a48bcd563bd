// The check of a transformed filter before it becomes the current filter,
// and of the cached Gramians after it has.
//
// A transform item (a new realisation, a scaling, a frequency transformation,
// a search) computes its result in floating point; on a badly conditioned
// filter the result can realise another transfer function, or an unstable
// one. So every item samples the transfer function of the current filter
// first (transfer_reference_of), builds its result, and installs it only
// when transformed_realises accepts it. The cached K and W that an item
// carries over by the rules of the transformation are then compared with
// fresh solves of the installed filter (settle_gramians).
#pragma once

#include <vector>

#include "filter/current.h"
#include "filter/ss.h"
#include "numeric/types.h"

// How the transfer function H' of the transformed filter relates to H of the
// filter: the same (a realisation, a scaling), H'(s) = H(s / f) (lowpass by
// f), or H'(s) = H((s^2 + w0^2) / (bw s)) (bandpass).
struct frequency_map {
    enum kind_t { same, lowpass, bandpass } kind = same;
    double f = 1.0;   // lowpass factor
    double w0 = 0.0;  // bandpass centre
    double bw = 1.0;  // bandpass bandwidth
};

// The values that the transformed filter must show: H' at the frequency w[k]
// (rad/s) must be h[k] to within allowed[k]; peak is the largest |h|.
struct transfer_reference {
    std::vector<double> w;
    std::vector<complex> h;
    std::vector<double> allowed;
    double peak = 0.0;
};

// The largest difference of the transfer functions, relative to the peak of
// |H|, that a transformed filter may show. A sound transformation changes H
// by the rounding of its result only: a scaling or a frequency map by a few
// eps times the sensitivity of H to the coefficients (some 1e-16 to 1e-11 of
// the peak on Butterworth, Chebyshev, Cauer and Bessel filters of orders 3 to
// 200 and their bandpasses), a similarity by T by about eps times the
// condition of T as well (the balancing of `do` on a Butterworth filter:
// 6e-16 at order 3, 7e-13 at order 20, 1e-10 at order 30). The faults the
// check is there for are far larger: 1e-8 to 1e-5 where the balancing loses
// its digits, 6e-2 and more from a continued fraction that has lost them,
// more than the peak itself for a dense filter with clustered poles. Where
// the filter's own realisation leaves H more uncertain than this (16 eps
// times the sum of |dH/da| |a| over its coefficients and its frequency), the
// allowance at that frequency is raised to it, up to 1e-6 of the peak.
constexpr double transfer_tolerance = 1e-9;

// H of the filter f (its analysis data are prepared for it when they are
// not) at frequencies spread over the range of its poles: 0, |p_k| and
// |Im p_k| of every pole, and a logarithmic grid from a tenth of the
// smallest to ten times the largest |p_k|, each mapped by m to the frequency
// of the transformed filter. A frequency where H is not finite, or so close
// to an undamped pole that the rounding of the frequency alone changes H by
// more than 1e-6 of its size, is left out.
transfer_reference transfer_reference_of(filter_state &f, const frequency_map &m);

// True when t realises the reference: its transfer function differs from it
// by at most the allowance at every frequency, and t is stable when the
// filter f is. Otherwise the error "ITEM: the transformed filter
// differs from the filter by E of the peak of |H|; filter not transformed"
// ("... has no finite transfer function where the filter has one; ...",
// "... is not stable; ...", or, with no frequency to compare at, "ITEM: the
// transfer function of the filter cannot be compared in double precision;
// ..."), and false. t is checked on analysis data of its own (or on f's
// when they are t's already). On true f's analysis data become those of t,
// so that t can be installed without preparing them again; on false they
// are f's own filter's again. Neither the filter of f nor its caches are
// changed.
bool transformed_realises(filter_state &f, const char *item, const transfer_reference &ref, const ss &t);

// Installs t (install_filter: a new filter, K and W dropped) when it realises
// the transfer function of the current filter (taken now, or given as ref
// when the analysis data have been another record's since); otherwise, with
// the error of transformed_realises, the current filter stays as it was.
// An order-0 t changes nothing.
void install_checked(const char *item, ss t);
void install_checked(const char *item, const transfer_reference &ref, ss t);

// The cached K and W of the filter f, carried over by a transform,
// compared with fresh solves of it (under `set: sol;` without `sfr`): a
// cached Gramian is kept when every entry agrees with the fresh one to
// transfer_tolerance times sqrt(K_ii K_jj), else the fresh one takes its
// place. A Gramian with a negative diagonal entry is never kept: when the
// fresh one has one too (or cannot be solved), the cache is dropped.
// Integrated Gramians (`set: num;`) and K at one frequency (`sfr`) are
// only tested for their diagonal.
void settle_gramians(filter_state &f);
