// Scaling of a filter by diagonal similarity transformations.
#include "dynrange/scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dynrange/peaks.h"
#include "filter/current.h"
#include "filter/gramian.h"
#include "filter/report.h"
#include "base/error.h"
#include "base/globals.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

namespace {

bool usable_factors(const vector &t)
{
    for (int i = 0; i < t.n; i++)
        if (!(t.data[i] != 0.0) || !std::isfinite(t.data[i]))
            return false;
    return true;
}

bool usable_factor(double d) { return d != 0.0 && std::isfinite(d); }

// The geometric mean of the diagonal of M.
double diag_geomean(const matrix &M)
{
    int n = M.rows;
    double p = 1.0;
    for (int i = 0; i < n; i++)
        p *= M.data[i * n + i];
    if (std::isnormal(p))
        return std::pow(p, 1.0 / n);
    // The product left the range of doubles (40 entries of 1e-20 underflow
    // to 0, and the mean would scale by infinity): the mean of the
    // logarithms instead, for positive entries; a zero or negative one
    // keeps the product's verdict.
    double l = 0.0;
    for (int i = 0; i < n; i++) {
        double m = M.data[i * n + i];
        if (!(m > 0.0))
            return std::pow(p, 1.0 / n);
        l += std::log(m);
    }
    return std::exp(l / n);
}

// Replaces the record by (A, B / d, C d, D) and prepares its analysis data.
void common_scale(ss *s, double d)
{
    ss r;
    r.n = s->n;
    r.A = mcopy(s->A);
    r.B = mscale(1.0 / d, s->B);
    r.C = mscale(d, s->C);
    r.D = s->D;
    free_ss(s);
    *s = r;
    analysis_prep(*s);
}

// The error bounds of the Gramian *X (K when k) of s, for a scaling that
// reads it: the current filter's through its cache, another record's solved
// or refined here. False after an error when they do not support the
// scaling: every diagonal entry, and C K C^T for the output vector c when
// it is given (L2 scaling), within gramian_figure_tol.
bool sure_for_scaling(ss &s, bool k, matrix *X, const matrix *c)
{
    matrix err;
    bool current = s.A.data == fst.cur_filter.A.data && X == (k ? &fst.cur_K : &fst.cur_W);
    gramian_check st = current ? checked_gramian(k, &err) : record_gramian(s, k, X, &err);
    if (st == gram_unchecked)
        return true;
    if (st == gram_none)
        return false;  // the cause is reported
    const char *name = k ? "K" : "W";
    if (st == gram_unsure) {
        error("cannot scale: %s of this filter does not settle under refinement, so it has no error bound", name);
        return false;
    }
    double e = gramian_diagonal_error(*X, err);
    if (c)
        e = std::max(e, usq_relative_error(*X, err, *c));
    if (!(e <= gramian_figure_tol)) {
        char b[32];
        std::snprintf(b, sizeof b, "%.1e", e);
        error("cannot scale: %s of this filter is known only to a relative error of %s in its diagonal", name, b);
        return false;
    }
    return true;
}

void scale_into(matrix *M, double f)
{
    if (M->cols == 0)
        return;
    matrix r = mscale(f, *M);
    freem(M);
    *M = r;
}

}  // namespace

vector Scale(const matrix &K, double kappa)
{
    if (K.rows != K.cols || K.rows < 1) {
        fprintf(stderr, "Scale: error: dimensions of K (%d,%d) not appropriate.\n", K.rows, K.cols);
        exit(1);
    }
    if (kappa < 0.0) {
        fprintf(stderr, "Scale: error: kappa = %e not appropriate.\n", kappa);
        exit(1);
    }
    int n = K.rows;
    if (kappa == 0.0) {
        double s = 0.0;
        for (int i = 0; i < n; i++)
            s += K.data[i * n + i];
        kappa = s / n;
    }
    vector t = newvector(n);
    for (int i = 0; i < n; i++)
        t.data[i] = std::sqrt(K.data[i * n + i] / kappa);
    return t;
}

// do_scale without its reports: 0 on success, 1 for K of the wrong size, 2
// when the factors are unusable.
static int scale_in_place(ss &s, matrix &W, matrix *K, int num, int sfr, double sf, bool prepare)
{
    int n = s.n;
    vector t;
    if (ist.linf_flag == 0) {
        if (K->cols == 0)
            *K = calc_k(s, num, sfr);
        if (K->cols != K->rows || K->cols != n)
            return 1;
        double out = 0.0;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                out += K->data[j * n + i] * s.C.data[i] * s.C.data[j];
        if (!(out >= 0.0))
            return 2;
        t = Scale(*K, out);
    } else {
        t = linf_peaks();
        for (int i = 0; i < t.n; i++)
            t.data[i] /= sf;
    }
    if (t.n != n || !usable_factors(t)) {
        freevector(&t);
        return 2;
    }
    scale_ss(t, s);
    if (prepare)
        analysis_prep(s);
    rescale_w(t, W);
    rescale_k(t, *K);
    freevector(&t);
    return 0;
}

int do_scale(ss &s, matrix &W, matrix *K, int num, int sfr, double sf)
{
    if (ist.linf_flag == 0 && num == 0 && sfr == 0 && s.n >= 1) {
        if (!sure_for_scaling(s, true, K, &s.C)) {
            if (K->cols == 0)
                error("do_scale: dimension error");
            return 1;
        }
    }
    int r = scale_in_place(s, W, K, num, sfr, sf, true);
    if (r == 1)
        error("do_scale: dimension error");
    else if (r == 2)
        error("cannot scale");
    return r != 0;
}

int try_scale(ss &s, matrix &W, matrix *K, int num, int sfr, double sf, bool prepare)
{
    return scale_in_place(s, W, K, num, sfr, sf, prepare) != 0;
}

void rescale_w(const vector &t, matrix &W)
{
    if (W.rows != W.cols || W.rows < 1 || W.rows != t.n)
        return;
    int n = W.rows;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            W.data[j * n + i] *= t.data[i] * t.data[j];
}

void rescale_k(const vector &t, matrix &K)
{
    if (K.rows != K.cols || K.rows < 1 || K.rows != t.n)
        return;
    int n = K.rows;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            K.data[j * n + i] /= t.data[i] * t.data[j];
}

void do_scalew(ss *s, matrix *W, matrix *K, double kappa)
{
    if (W->cols == 0)
        fatal("do_scalew: W not defined");
    if (!(kappa > 0.0))
        fatal("do_scalew: kappa is not positive");
    if (!sure_for_scaling(*s, false, W, nullptr))
        return;
    double d = std::sqrt(kappa / diag_geomean(*W));
    if (!usable_factor(d)) {
        error("cannot scale");
        return;
    }
    common_scale(s, d);
    scale_into(W, d * d);
    scale_into(K, 1.0 / (d * d));
}

void do_scalek(ss *s, matrix *W, matrix *K, double kappa)
{
    if (K->cols == 0)
        fatal("do_scalek: K not defined");
    if (!(kappa > 0.0))
        fatal("do_scalek: kappa is not positive");
    if (!sure_for_scaling(*s, true, K, nullptr))
        return;
    double d = std::sqrt(kappa / diag_geomean(*K));
    if (!usable_factor(d)) {
        error("cannot scale");
        return;
    }
    // T = (1/d) I: the record becomes (A, B d, C / d, D)
    common_scale(s, 1.0 / d);
    scale_into(K, d * d);
    scale_into(W, 1.0 / (d * d));
}
