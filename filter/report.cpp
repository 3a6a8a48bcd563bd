// Reports on the current filter: titles, noise, the maximum output level
// under L2 scaling, poles and zeros.
#include "filter/report.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "filter/capdiv.h"
#include "filter/analysis.h"
#include "filter/transfer.h"
#include "numeric/block_eigen.h"
#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"
#include "numeric/vector.h"

namespace {

// Boltzmann's constant and the temperature of the noise model.
const double k_boltzmann = 1.3804e-23;
const double temperature = 300.0;

double noise_factor()
{
    double *v = getvar("noisefactor");
    if (v)
        return *v;
    fprintf(stderr, "Noisefactor put to %g.\n", 1.0);
    return 1.0;
}

}  // namespace

double u_max()
{
    double *v = getvar("umax");
    if (v)
        return *v;
    fprintf(stderr, "Umax put to %g.\n", 1.0);
    return 1.0;
}

namespace {

// Total magnitude of the coefficients that feed integrator i.
double branch_weight(const ss &f, int i)
{
    double b = 0.0;
    for (int j = 0; j < f.n; j++)
        b += std::fabs(f.A.data[j * f.A.rows + i]);
    return b + std::fabs(f.B.data[i]);
}

}  // namespace

void print_title(FILE *fp, const char *text, int width)
{
    int len = (int)std::strlen(text);
    if (len == 0) {
        for (int i = 0; i < width; i++)
            fputc('*', fp);
    } else {
        int p = width - len - 8;
        int h = p / 2;
        for (int i = 0; i < h; i++)
            fputc('*', fp);
        fprintf(fp, "    %s    ", text);
        if (p % 2 != 0)
            fputc(' ', fp);
        for (int i = 0; i < h; i++)
            fputc('*', fp);
    }
    fputs("\n\n", fp);
}

// Sum over i of b_i M_ii / c_i: the noise of the integrators weighted by the
// diagonal of M.
static double weighted_diagonal(const cap_ss &filter, const matrix &M)
{
    double S = 0.0;
    for (int i = 0; i < filter.n; i++)
        S += branch_weight(filter, i) * M.data[i * M.rows + i] / filter.cap[i];
    return S;
}

double noise_total(const cap_ss &filter, const matrix &W)
{
    double nf = noise_factor();
    double S = weighted_diagonal(filter, W);
    return (nf + nf) * k_boltzmann * temperature * S;
}

double noise_relative_error(const cap_ss &filter, const matrix &W, const matrix &err)
{
    if (err.rows != filter.n || err.cols != filter.n || W.rows != filter.n)
        return HUGE_VAL;
    // a diagonal entry below 0 by more than its bound: the bounds are not true
    for (int i = 0; i < filter.n; i++)
        if (W.data[i * W.rows + i] + err.data[i * err.rows + i] < 0.0)
            return HUGE_VAL;
    return weighted_diagonal(filter, err) / weighted_diagonal(filter, W);
}

double onoise_jw(analysis_ctx &a, double w, const double *cap)
{
    double nf = noise_factor();
    const ss &filter = a.ana_ss;
    cmatrix G = g_jw(a, w);
    double S = 0.0;
    for (int i = 0; i < filter.n; i++)
        S += cmod2(G.data[i]) * branch_weight(filter, i) / cap[i];
    cfreem(&G);
    return (nf + nf) * k_boltzmann * temperature * S;
}

double Usq_out_max(const matrix &K, const matrix &C)
{
    double umax = u_max();
    if (K.rows != K.cols || K.rows < 1) {
        fprintf(stderr, "Usq_out_max: error: dimensions of K (%d,%d) not appropriate.\n", K.rows, K.cols);
        exit(1);
    }
    if (C.rows != 1 || C.cols != K.rows) {
        fprintf(stderr, "Usq_out_max: error: dimensions of C (%d,%d) not appropriate.\n", C.rows, C.cols);
        exit(1);
    }
    int n = K.rows;
    double s = 0.0;
    for (int i = 0; i < n; i++) {
        double ki = 0.0;
        for (int j = 0; j < n; j++)
            ki += K.data[j * n + i] * C.data[j];
        s += C.data[i] * ki;
    }
    double m = 0.0;
    for (int i = 0; i < n; i++)
        if (K.data[i * n + i] > m)
            m = K.data[i * n + i];
    return umax * umax * s / m;
}

double usq_relative_error(const matrix &K, const matrix &err, const matrix &C)
{
    int n = K.rows;
    if (n < 1 || K.cols != n || err.rows != n || err.cols != n || C.cols != n)
        return HUGE_VAL;
    double s = 0.0, ds = 0.0, m = 0.0, dm = 0.0;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            s += C.data[i] * K.data[j * n + i] * C.data[j];
            ds += std::fabs(C.data[i] * C.data[j]) * err.data[j * n + i];
        }
    for (int i = 0; i < n; i++)
        if (K.data[i * n + i] > m) {
            m = K.data[i * n + i];
            dm = err.data[i * n + i];
        }
    // C K C^T and the largest K_ii each within their bounds; the largest
    // may also be another entry within its bound of it
    for (int i = 0; i < n; i++)
        dm = std::max(dm, K.data[i * n + i] + err.data[i * n + i] - m);
    return ds / std::fabs(s) + dm / m;
}

namespace {

// True when every pole of a (n x 2, real and imaginary parts) lies within
// 1e-9 of its size of a pole of b not matched before.
bool same_poles(const matrix &a, const matrix &b)
{
    const int n = a.rows;
    if (b.rows != n)
        return false;
    std::vector<bool> used(n, false);
    for (int i = 0; i < n; i++) {
        int best = -1;
        double d = HUGE_VAL;
        for (int j = 0; j < n; j++) {
            double dj = std::hypot(a.data[i] - b.data[j], a.data[n + i] - b.data[n + j]);
            if (!used[j] && dj < d) {
                d = dj;
                best = j;
            }
        }
        if (best < 0 || !(d <= 1e-9 * std::hypot(b.data[best], b.data[n + best])))
            return false;
        used[best] = true;
    }
    return true;
}

}  // namespace

void printpoles(FILE *fp, const ss &filter)
{
    // The poles are taken block by block (a cascade's from its sections),
    // where the eigenvalues of a whole far-from-normal matrix can be far off
    // (bessel(60): by more than their size). They are printed in the order
    // of the whole matrix's eigenvalues where those agree with them.
    matrix ev = evc(filter.A), eb = evc_blocks(filter.A);
    if (!same_poles(ev, eb))
        std::swap(ev, eb);
    freem(&eb);
    fprintf(fp, "Poles of the filter:\n\n");
    fprintf(fp, "%15s %15s\n\n", "real part", "imaginary part");
    for (int i = 0; i < ev.rows; i++)
        fprintf(fp, "%15e %15e\n", ev.data[i], ev.data[ev.rows + i]);
    fprintf(fp, "\n\n");
    freem(&ev);
}

void printzeros(FILE *fp, analysis_ctx &a)
{
    nmat_ready(a);
    poly num = a.ana_num;
    if (num.degree < 0 && a.ana_ss.n >= 1) {
        // H = 0 (C = 0 and D = 0): the numerator is defined but has no
        // coefficient left; there is no list of zeros, and the run goes on
        error("printzeros: the numerator polynomial is zero");
        return;
    }
    if (num.degree < 0)
        fatal("printzeros: numerator polynomial undefined");
    if (num.degree == 0) {
        fprintf(fp, "The filter has no finite zeros.\n\n");
        return;
    }
    for (int k = 0; k <= num.degree; k++)
        if (!std::isfinite(num.coef[k])) {
            error("printzeros: the numerator polynomial cannot be computed for this filter");
            return;
        }
    rootlist z = poly_root(num.coef, num.degree);
    fprintf(fp, "Zeros of the filter:\n\n");
    fprintf(fp, "%15s %15s\n\n", "real part", "imaginary part");
    for (int i = 0; i < z.n; i++)
        fprintf(fp, "%15e %15e\n", z.roots[i].re, z.roots[i].im);
    fprintf(fp, "\n\n");
    free_rootlist(&z);
}
