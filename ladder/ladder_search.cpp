// Ladder dynamic-range searches: the choice among the solutions of one
// synthesis, a coordinate search and a grid search on the ladder weights.
#include "ladder/ladder_search.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <vector>

#include "dynrange/cost.h"
#include "dynrange/peaks.h"
#include "dynrange/scale.h"
#include "filter/current.h"
#include "base/error.h"
#include "base/globals.h"
#include "numeric/matrix.h"
#include "numeric/vector.h"

namespace {

const double weight_bound = 10.0;

ladder_result synthesise(const poly &N, const poly &D, const vector &p, double bd, vector &q, ladder_depth depth)
{
    return ladder(N, D, p.n, p.data, bd, q.n, q.data, depth);
}

// The cost of one candidate of a search: one that cannot be costed is
// skipped by its status, and reports nothing (only the item's own failure
// is an error).
double candidate_cost(ss &s, int *status)
{
    ist.quiet++;
    const double cost = dr_of_filter(s, status);
    ist.quiet--;
    return cost;
}

void free_result(ladder_result *r)
{
    for (ss &s : r->systems)
        free_ss(&s);
    r->systems.clear();
    r->nsol = 0;
}

// The number of weights the searches vary: one less than the order.
int weight_count(const poly &D)
{
    int m = D.degree - 1;
    return m > 0 ? m : 0;
}

// The start guess of the numeric road: (1, 0, ..., 0) with m entries.
vector first_guess(int m)
{
    vector q = newvector(m);
    if (m > 0)
        q.data[0] = 1.0;
    return q;
}

bool in_bounds(double x) { return x >= -weight_bound && x <= weight_bound; }

void print_weights(FILE *fp, const vector &p, const char *fmt)
{
    for (int i = 0; i < p.n; i++)
        fprintf(fp, fmt, p.data[i]);
}

// The costs of every solution at p as " DR change is %+7.3fdB ..." (the
// trace of the searches), or the status text.
void print_changes(FILE *fp, const vector &costs, int status, double cost0)
{
    if (status != dr_ok) {
        fputs(dr_status_text(status), fp);
        return;
    }
    fprintf(fp, " DR change is ");
    for (int k = 0; k < costs.n; k++)
        fprintf(fp, "%+7.3fdB ", dr_change_db(cost0, costs.data[k]));
    fprintf(fp, "\n");
}

// Weights from the grid counter: its entries 1 .. m divided by Ngrid.
void weights_of(const std::vector<int> &counter, int Ngrid, vector &p)
{
    for (int i = 0; i < p.n; i++)
        p.data[i] = (double)counter[i + 1] / Ngrid;
}

// The split factor of the equal-ends case of order 3, searched with the
// weights (0.5, 0): the cost found, with *bd moved to its best value.
double singular_case(const poly &N, const poly &D, vector &q, double *bd, double cost0)
{
    FILE *fp = ist.out_fp;
    int v = ist.verbosity;
    const double h = 0.01;
    vector r = newvector(1);
    r.data[0] = 0.5;
    *bd = 0.5;
    int status;
    double cost_s = dr_eval(N, D, r, *bd, q, &status);
    if (v > 0)
        fprintf(fp, "Trying singular case:\n");
    for (;;) {
        double step = 0.0;
        for (double d : {h, -h}) {
            if (!in_bounds(*bd + d))
                continue;
            int st;
            double c = dr_eval(N, D, r, *bd + d, q, &st);
            if (st == dr_ok && c < cost_s) {
                cost_s = c;
                step = d;
                if (v > 1)
                    fprintf(fp, "bd=%f, DR change is %+.3fdB\n", *bd + d, dr_change_db(cost0, c));
            }
        }
        if (step == 0.0)
            break;
        *bd += step;
        if (v > 0)
            fprintf(fp, "bd=%f, DR change is %+.3fdB\n", *bd, dr_change_db(cost0, cost_s));
    }
    if (v > 0) {
        fprintf(fp, "optimal bd: %g.\n", *bd);
        fprintf(fp, "optimal nl: %g.\n", cost_s);
    }
    freevector(&r);
    return cost_s;
}

}  // namespace

const char *dr_status_text(int status)
{
    switch (status) {
    case dr_no_convergence:
        return " no convergence\n";
    case dr_no_w:
        return " cannot determine W\n";
    case dr_no_solution:
        return " no solution\n";
    case dr_no_scale:
        return " cannot scale\n";
    default:
        return " error\n";
    }
}

vector dr_transform(const poly &N, const poly &D, const vector &p, double bd, vector &q, int *status)
{
    // one candidate of a search among many: the short search for ladders
    ladder_result r = synthesise(N, D, p, bd, q, ladder_depth::candidate);
    if (r.status != 0) {
        free_result(&r);
        *status = dr_no_convergence;
        return null_vector();
    }
    if (r.nsol == 0) {
        *status = dr_no_solution;
        return null_vector();
    }
    std::vector<double> costs;
    int failed = dr_no_convergence;
    for (ss &s : r.systems) {
        int st;
        double c = candidate_cost(s, &st);
        if (st == dr_ok)
            costs.push_back(c);
        else if (costs.empty())
            failed = st;
    }
    free_result(&r);
    *status = costs.empty() ? failed : dr_ok;
    vector v = newvector((int)costs.size());
    for (size_t k = 0; k < costs.size(); k++)
        v.data[k] = costs[k];
    return v;
}

double dr_eval(const poly &N, const poly &D, const vector &p, double bd, vector &q, int *status)
{
    vector costs = dr_transform(N, D, p, bd, q, status);
    double best = DBL_MAX;
    if (*status == dr_ok)
        for (int k = 0; k < costs.n; k++)
            if (costs.data[k] < best)
                best = costs.data[k];
    freevector(&costs);
    return best;
}

namespace {

// The choice among the solutions of one synthesis of the given depth.
ladder_result choose_solution(const poly &N, const poly &D, const vector &p, double bd, vector &q, double cost0,
                              ladder_depth depth)
{
    FILE *fp = ist.out_fp;
    ladder_result r = synthesise(N, D, p, bd, q, depth);
    if (r.status != 0 || r.nsol == 0)
        return r;
    if (r.nsol == 1) {
        // costing scales the record in place: it is returned as it was
        // costed, like the chosen one of several
        int st;
        candidate_cost(r.systems[0], &st);
        return r;
    }
    fprintf(fp, "There are %d solutions.\n", r.nsol);
    int chosen = -1;
    double best = DBL_MAX;
    for (int k = 0; k < r.nsol; k++) {
        ss &s = r.systems[k];
        int st;
        double c = candidate_cost(s, &st);
        if (st == dr_ok && (chosen < 0 || c < best)) {
            chosen = k;
            best = c;
        }
        fprintf(fp, "%3d:", k);
        int n = s.n;
        for (int i = 1; i < n; i++)
            fprintf(fp, " %14g,", s.A.data[i * n + (i - 1)] * s.A.data[(i - 1) * n + i]);
        fprintf(fp, " DR change is %+7.3fdB\n", dr_change_db(cost0, c));
    }
    ladder_result out;
    if (chosen >= 0) {
        // only a chosen solution is announced: with none the caller reports it
        fprintf(fp, "Choosing solution %d.\n\n", chosen);
        out.systems.push_back(copy_ss(r.systems[chosen]));
        out.nsol = 1;
    }
    free_result(&r);
    return out;
}

}  // namespace

// The ladder item lists every real ladder; the final choice of the
// searches keeps their fast road.
ladder_result dr_solutions(const poly &N, const poly &D, const vector &p, double bd, vector &q, double cost0)
{
    return choose_solution(N, D, p, bd, q, cost0, ladder_depth::every);
}

int dr_optimize(ss *result, const poly &N, const poly &D, int ngiven, const double *given, double cost0)
{
    FILE *fp = ist.out_fp;
    int v = ist.verbosity;
    dr_scale_from_sf();
    int m = weight_count(D);
    double h = 0.01;
    vector p = newvector(m);
    for (int i = 0; i < m && i < ngiven; i++)
        p.data[i] = given[i];
    vector q = first_guess(m);
    double bd = 0.5;
    *result = ss();

    int status;
    double best = dr_eval(N, D, p, bd, q, &status);
    if (status != dr_ok) {
        fprintf(fp, "No solution found.\n");
        freevector(&p);
        freevector(&q);
        return 0;
    }
    for (;;) {
        // a trial at the current p: status 0 and strictly below best
        auto improves = [&]() {
            int st;
            double c = dr_eval(N, D, p, bd, q, &st);
            if (st != dr_ok || !(c < best))
                return false;
            best = c;
            return true;
        };
        // single moves: the best strict improvement of one weight by +-h
        int mi = -1;
        double md = 0.0;
        for (int i = 0; i < m; i++) {
            double keep = p.data[i];
            for (double d : {h, -h}) {
                if (!in_bounds(keep + d))
                    continue;
                p.data[i] = keep + d;
                if (improves()) {
                    mi = i;
                    md = d;
                }
            }
            p.data[i] = keep;
        }
        bool moved = mi >= 0;
        if (moved)
            p.data[mi] += md;
        if (!moved) {
            // pair moves: two weights at once, every ordered pair and sign
            int pi = -1, pj = -1;
            double di = 0.0, dj = 0.0;
            for (int i = 0; i < m; i++)
                for (int j = 0; j < m; j++) {
                    if (i == j)
                        continue;
                    double ki = p.data[i], kj = p.data[j];
                    for (double a : {h, -h})
                        for (double b : {h, -h}) {
                            if (!in_bounds(ki + a) || !in_bounds(kj + b))
                                continue;
                            p.data[i] = ki + a;
                            p.data[j] = kj + b;
                            if (improves()) {
                                pi = i;
                                pj = j;
                                di = a;
                                dj = b;
                            }
                            p.data[i] = ki;
                            p.data[j] = kj;
                        }
                }
            if (pi >= 0) {
                p.data[pi] += di;
                p.data[pj] += dj;
                moved = true;
            }
        }
        if (v > 0) {
            print_weights(fp, p, "%6.2f ");
            int st;
            vector costs = dr_transform(N, D, p, bd, q, &st);
            fprintf(fp, " DR change is ");
            for (int k = 0; k < costs.n; k++)
                fprintf(fp, "%+7.3fdB ", dr_change_db(cost0, costs.data[k]));
            fprintf(fp, "\n");
            freevector(&costs);
        }
        if (!moved) {
            h /= 4;
            if (h <= 1e-6)
                break;
        }
    }
    if (m == 2) {
        double cost_s = singular_case(N, D, q, &bd, cost0);
        if (cost_s < best) {
            // the equal-ends ladder is better: take its weights and report
            // its cost, since it is the one that is installed
            p.data[0] = 0.5;
            p.data[1] = 0.0;
            best = cost_s;
        }
    }
    fprintf(fp, "Optimum found at\n");
    print_weights(fp, p, "%6.2f ");
    fprintf(fp, " DR change is %+7.3fdB\n", dr_change_db(cost0, best));

    ladder_result r = choose_solution(N, D, p, bd, q, cost0, ladder_depth::first);
    int final_status = r.status;
    if (r.status == 0 && r.nsol == 0)
        fprintf(fp, "No solution found.\n");
    if (r.status == 0 && r.nsol >= 1) {
        *result = r.systems[0];
        r.systems[0] = ss();
        analysis_ctx a;
        analysis_prep(a, *result);
        matrix W, K;
        do_scale(a, *result, W, &K, 0, 0, pks.dr_scale);
        freem(&W);
        freem(&K);
    }
    free_result(&r);
    freevector(&p);
    freevector(&q);
    return final_status;
}

void grid_index(int *counter, int L, int Ngrid)
{
    for (int i = 0; i < L; i++)
        counter[i] = 0;
    if (L > 0)
        counter[L - 1] = Ngrid;
}

int count_grid(int *counter, int L)
{
    for (int i = 0; i < L; i++)
        if (counter[i] < 0)
            fatal("count_grid: element is negative");
    return grid_next(counter, L, 0, L, -1);
}

namespace {

// First index from s below `upto` with a non-zero entry (upto when none);
// last index of [s, e) with a non-zero entry (s - 1 when none).
int first_nonzero(const int *c, int s, int upto)
{
    int i = s;
    while (i < upto && c[i] == 0)
        i++;
    return i;
}

int last_nonzero(const int *c, int s, int e)
{
    int i = e - 1;
    while (i >= s && c[i] == 0)
        i--;
    return i;
}

void move_unit(int *c, int from, int to)
{
    c[from]--;
    c[to]++;
}

}  // namespace

int grid_next(int *c, int L, int s, int e, int dir)
{
    int f = first_nonzero(c, s, L);
    int l = last_nonzero(c, s, e);
    if (f == L)
        return 0;
    if (f != l) {
        if (f == e - 2) {
            move_unit(c, e - 1, e - 2);
            return 1;
        }
        return c[f] % 2 ? grid_next2(c, L, f + 1, e, -1) : grid_next(c, L, f + 1, e, -1);
    }
    if (f <= s && dir == 1) {
        move_unit(c, f, e);
        return 1;
    }
    if (f <= s && f == 0)
        return 0;
    move_unit(c, f, f - 1);
    return 1;
}

int grid_next2(int *c, int L, int s, int e, int dir)
{
    int f = first_nonzero(c, s, e);
    int l = last_nonzero(c, s, e);
    if (f == e)
        return 0;
    if (f == l) {
        if (l < e - 1)
            move_unit(c, l, l + 1);
        else if (dir != 1)
            move_unit(c, l, s - 1);
        else
            move_unit(c, e - 1, e);
        return 1;
    }
    if (l == s + 1) {
        move_unit(c, s, s + 1);
        return 1;
    }
    return c[l] % 2 ? grid_next(c, L, s, l, 1) : grid_next2(c, L, s, l, 1);
}

vector dr_grid(const poly &N, const poly &D, int Ngrid, double cost0)
{
    FILE *fp = ist.out_fp;
    int v = ist.verbosity;
    dr_scale_from_sf();
    int m = weight_count(D);
    vector q = first_guess(m);
    double bd = 0.5;
    std::vector<int> counter(m + 1);
    grid_index(counter.data(), m + 1, Ngrid);
    vector p = newvector(m);
    weights_of(counter, Ngrid, p);
    int status;
    double best = dr_eval(N, D, p, bd, q, &status);
    vector best_p = vcopy(p);
    while (count_grid(counter.data(), m + 1)) {
        weights_of(counter, Ngrid, p);
        vector costs = dr_transform(N, D, p, bd, q, &status);
        if (status == dr_ok)
            for (int k = 0; k < costs.n; k++)
                if (costs.data[k] < best) {
                    best = costs.data[k];
                    vcopy_into(p, best_p);
                }
        if (v > 0) {
            print_weights(fp, p, "%6g ");
            print_changes(fp, costs, status, cost0);
        }
        freevector(&costs);
    }
    fprintf(fp, "Optimum found at\n");
    print_weights(fp, best_p, "%6g ");
    fprintf(fp, " DR change is %+7.3fdB\n", dr_change_db(cost0, best));
    freevector(&p);
    freevector(&q);
    return best_p;
}

int dr_grid_solutions(ss *result, const poly &N, const poly &D, int Ngrid, double cost0)
{
    *result = ss();
    vector g = dr_grid(N, D, Ngrid, cost0);
    vector q = null_vector();
    ladder_result r = choose_solution(N, D, g, 0.5, q, cost0, ladder_depth::first);
    int status = r.status;
    if (r.nsol >= 1) {
        *result = r.systems[0];
        r.systems[0] = ss();
    }
    free_result(&r);
    freevector(&g);
    return status;
}
