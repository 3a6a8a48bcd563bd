// Rotation searches: coordinate, grid and gradient searches over the angles
// of a similarity transformation, each candidate costed after scaling.
#include "dynrange/rotation_search.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <vector>

#include "dynrange/cost.h"
#include "dynrange/scale.h"
#include "filter/current.h"
#include "filter/gramian.h"
#include "base/error.h"
#include "base/getvar.h"
#include "base/globals.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

namespace {

// Angle k of the vector; entries beyond its length count as 0.
double angle(const vector &a, int k) { return k < a.n ? a.data[k] : 0.0; }

void print_angles(FILE *fp, const vector &a, const char *fmt)
{
    for (int k = 0; k < a.n; k++)
        fprintf(fp, fmt, a.data[k]);
}

void print_change(FILE *fp, double cost0, double cost)
{
    fprintf(fp, " DR change is %+7.3fdB\n", dr_change_db(cost0, cost));
}

// The record searched with its Gramians, solved once: a candidate
// T^-1 A T has W = T^T W0 T and K = T^-1 K0 T^-T, so no candidate needs a
// Lyapunov solve of its own. K0 is needed only for L2 scaling. The search
// holds the record's analysis data: the candidates' peaks are its own seen
// through T (the view and the values kept at its frequencies change as the
// candidates are costed, the record does not).
struct rotation_frame {
    ss s;
    int mode = 0;
    matrix W0;
    matrix K0;
    mutable analysis_ctx a;
    FILE *fp = nullptr;  // the report stream of the search
};

rotation_frame frame_of(FILE *fp, const ss &s, int mode)
{
    rotation_frame f;
    f.fp = fp;
    f.s = s;
    f.mode = mode;
    analysis_prep(f.a, s);
    f.W0 = calc_w(f.a, s, 0);
    if (ist.linf_flag == 0)
        f.K0 = calc_k(f.a, s, 0, 0);
    return f;
}

void free_frame(rotation_frame *f)
{
    freem(&f->W0);
    freem(&f->K0);
}

// X^T M X.
matrix congruence(const matrix &X, const matrix &M)
{
    matrix Xt = transpose(X);
    matrix MX = mmul(M, X);
    matrix r = mmul(Xt, MX);
    freem(&Xt);
    freem(&MX);
    return r;
}

matrix rotation(int n, const vector &a, int mode) { return mode == 0 ? givens(n, a) : givens2(n, a); }

// A T whose condition number exceeds this counts as singular: the record
// it gives carries too few correct digits for its cost to mean anything
// (rows of T that leave a column empty but for rounding, cos(pi/2) ~ 6e-17,
// give condition numbers near 1e17, and their costs are rounding noise).
const double max_condition = 1e10;

// Largest column sum of |M|.
double norm1(const matrix &M)
{
    double big = 0.0;
    for (int j = 0; j < M.cols; j++) {
        double s = 0.0;
        for (int i = 0; i < M.rows; i++)
            s += std::fabs(M.data[j * M.rows + i]);
        big = std::fmax(big, s);
    }
    return big;
}

// T^-1, or the empty matrix when T is singular or nearly so.
matrix usable_inverse(const matrix &T)
{
    matrix Ti = try_minv(T);
    if (Ti.cols != 0 && !(norm1(T) * norm1(Ti) <= max_condition))
        freem(&Ti);
    return Ti;
}

// Cost of the record turned by the angles: the largest double when T is
// singular (or nearly) or the candidate cannot be costed.
double rotated_cost(const rotation_frame &f, const vector &a)
{
    matrix T = rotation(f.s.n, a, f.mode);
    matrix Ti = usable_inverse(T);
    if (Ti.cols == 0) {
        freem(&T);
        return DBL_MAX;
    }
    matrix W, K;
    if (f.W0.cols != 0)
        W = congruence(T, f.W0);
    if (f.K0.cols != 0) {
        matrix Tit = transpose(Ti);
        K = congruence(Tit, f.K0);
        freem(&Tit);
    }
    int status;
    double cost = dr_of_similar(f.a, f.s, T, Ti, W, K, &status);
    freem(&T);
    freem(&Ti);
    return cost;
}

// The start of every search: the cost of the record as it is (all angles
// 0). A start that cannot be costed cannot be improved on or compared with.
bool start_cost(const rotation_frame &f, const vector &a, double *cost0)
{
    *cost0 = rotated_cost(f, a);
    if (usable_cost(*cost0))
        return true;
    error("cannot optimize: the noise cost of this filter cannot be determined");
    return false;
}

// Coordinate search from the angles a (changed in place) with the first
// step h: each sweep tries every angle +h and -h and takes the best strict
// improvement; a sweep without one divides h by 4, down to 1e-6. At trace
// level above 1 every sweep prints the angles with fmt and the change.
void coordinate_search(const rotation_frame &f, vector &a, double h, double cost0, double *best,
                       const char *fmt, int level)
{
    FILE *fp = f.fp;
    for (;;) {
        int move_k = -1;
        double move = 0.0;
        for (int k = 0; k < a.n; k++) {
            double keep = a.data[k];
            for (double d : {h, -h}) {
                a.data[k] = keep + d;
                double c = rotated_cost(f, a);
                if (c < *best) {
                    *best = c;
                    move_k = k;
                    move = d;
                }
            }
            a.data[k] = keep;
        }
        if (move_k >= 0)
            a.data[move_k] += move;
        if (level > 1) {
            print_angles(fp, a, fmt);
            print_change(fp, cost0, *best);
        }
        if (move_k < 0) {
            h /= 4;
            if (h <= 1e-6)
                break;
        }
    }
}

// The final record of a search: the report line, then the record
// transformed by T of the angles (T and its inverse shown at trace level
// above 0 when show_t).
ss finish(FILE *fp, const ss &s, const vector &a, int mode, double cost0, double best, int show_t, int level)
{
    fprintf(fp, "optimum at\n");
    print_angles(fp, a, " %5.2f");
    print_change(fp, cost0, best);
    matrix T = rotation(s.n, a, mode);
    matrix Ti = minv(T);
    ss r;
    if (Ti.cols == 0) {
        r = copy_ss(s);  // not reached: a singular T never has a finite cost
    } else {
        if (show_t && level > 0) {
            fprintf(fp, "T =\n");
            print_matrix(fp, T, 8);
            fprintf(fp, "Tinv =\n");
            print_matrix(fp, Ti, 8);
        }
        r = transform_ss2(T, Ti, s);
    }
    freem(&T);
    freem(&Ti);
    return r;
}

// Scaling with the target 1, from fresh analysis data of r.
ss scaled(ss r)
{
    analysis_ctx a;
    analysis_prep(a, r);
    matrix W, K;
    do_scale(a, r, W, &K, 0, 0, 1.0);
    freem(&W);
    freem(&K);
    return r;
}

}  // namespace

matrix givens(int n, const vector &a)
{
    matrix T = newm(n, n);
    int k = 0;
    for (int i = 0; i < n; i++) {
        double p = 1.0;
        for (int c = 1; c < n; c++) {
            double b = angle(a, k++) * M_PI;
            T.data[((i + c) % n) * n + i] = std::sin(b) * p;
            p *= std::cos(b);
        }
        T.data[i * n + i] = p;
    }
    return T;
}

matrix givens2(int n, const vector &a)
{
    matrix T = newm(n, n);
    int k = 0;
    for (int i = 0; i < n; i++) {
        double p = 1.0;
        for (int col = n - 1; col > i; col--) {
            double b = angle(a, k++) * M_PI;
            T.data[col * n + i] = std::sin(b) * p;
            p *= std::cos(b);
        }
        T.data[i * n + i] = p;
    }
    return T;
}

int rotation_angles(int n, int mode) { return mode == 0 ? n * (n - 1) : n * (n - 1) / 2; }

double dr_rotated(const ss &s, const vector &a, int mode)
{
    rotation_frame f = frame_of(nullptr, s, mode);
    double cost = rotated_cost(f, a);
    free_frame(&f);
    return cost;
}

ss dr_optimize4(FILE *fp, const ss &s, double h, int mode)
{
    int level = bla_level();
    int n = s.n;
    if (n < 1)
        fatal("dr_optimize4, order is not positive");
    if (!(h > 0.0 && h < 1.0))
        fatal("dr_optimize4, step size is wrong");
    if (n == 1)
        return scaled(copy_ss(s));
    rotation_frame f = frame_of(fp, s, mode);
    vector a = newvector(rotation_angles(n, mode));
    double cost0;
    ss r;
    if (start_cost(f, a, &cost0)) {
        double best = cost0;
        coordinate_search(f, a, h, cost0, &best, " %5.2f", level);
        r = scaled(finish(fp, s, a, mode, cost0, best, 1, level));
    }
    freevector(&a);
    free_frame(&f);
    return r;
}

int grid_step4(int *counter, int count, int steps, int k)
{
    for (; k < count; k++) {
        if (counter[k] < steps - 1) {
            counter[k]++;
            return 0;
        }
        counter[k] = 0;  // carry into the next counter
    }
    return 1;
}

int grid_first4(int *counter, int count, int steps) { return grid_step4(counter, count, steps, 0); }

ss dr_optimize4_grid(FILE *fp, const ss &s, int steps)
{
    int n = s.n;
    if (steps < 2)
        fatal("dr_optimize4_grid, number of steps too smal");
    if (n < 1)
        fatal("dr_optimize4_grid, order is not positive");
    if (n == 1)
        return scaled(copy_ss(s));
    rotation_frame f = frame_of(fp, s, 0);
    int count = rotation_angles(n, 0);
    vector a = newvector(count);
    double cost0;
    ss r;
    if (start_cost(f, a, &cost0)) {
        double best = cost0;
        vector best_a = newvector(count);
        std::vector<int> counter(count, 0);
        do {
            for (int k = 0; k < count; k++)
                a.data[k] = (2.0 * counter[k] + 1.0) / steps - 1.0;
            double c = rotated_cost(f, a);
            print_angles(fp, a, " %5.2f");
            print_change(fp, cost0, c);
            if (c < best) {
                best = c;
                vcopy_into(a, best_a);
            }
        } while (grid_first4(counter.data(), count, steps) == 0);
        r = scaled(finish(fp, s, best_a, 0, cost0, best, 0, 0));
        freevector(&best_a);
    }
    freevector(&a);
    free_frame(&f);
    return r;
}

ss dr_optimize5(FILE *fp, const ss &s, double step)
{
    int level = bla_level();
    int n = s.n;
    if (n < 1)
        fatal("dr_optimize5, order is not positive");
    if (!(step > 0.0 && step < 0.1))
        fatal("dr_optimize5, step size is wrong");
    if (n == 1)
        return scaled(copy_ss(s));
    rotation_frame f = frame_of(fp, s, 0);
    int count = rotation_angles(n, 0);
    vector a = newvector(count);
    double cost0;
    ss r;
    if (!start_cost(f, a, &cost0)) {
        freevector(&a);
        free_frame(&f);
        return r;
    }
    double best = cost0;
    std::vector<double> g(count);
    vector trial = newvector(count);
    for (double st = step; st > 1e-6; st /= 4) {
        // central differences with d = st / 5 for the gradient
        double d = st / 5;
        double norm = 0.0;
        for (int k = 0; k < count; k++) {
            double keep = a.data[k];
            a.data[k] = keep + d;
            double up = rotated_cost(f, a);
            a.data[k] = keep - d;
            double down = rotated_cost(f, a);
            a.data[k] = keep;
            g[k] = (up - down) / d;
            norm += g[k] * g[k];
        }
        norm = std::sqrt(norm);
        if (!(norm > 0.0) || !std::isfinite(norm))
            continue;  // no usable descent direction at this step
        // steps of length st down the gradient while the cost falls; the
        // first step that does not lower it is not taken
        for (;;) {
            for (int k = 0; k < count; k++)
                trial.data[k] = a.data[k] - st * g[k] / norm;
            double c = rotated_cost(f, trial);
            if (!(c < best))
                break;
            best = c;
            vcopy_into(trial, a);
            print_angles(fp, a, " %9.6f");
            print_change(fp, cost0, best);
        }
    }
    coordinate_search(f, a, step, cost0, &best, " %9.6f", level);
    r = scaled(finish(fp, s, a, 0, cost0, best, 0, level));
    freevector(&a);
    freevector(&trial);
    free_frame(&f);
    return r;
}
