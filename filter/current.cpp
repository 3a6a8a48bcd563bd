#include "filter/current.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "filter/gramian.h"
#include "base/error.h"
#include "base/globals.h"
#include "numeric/matrix.h"

filter_state fst;

void filter_start()
{
    freem(&fst.cur_K);
    freem(&fst.cur_W);
    free_ss(&fst.cur_filter);
    free_caps(&fst.cur_filter);
    fst.input_error = 0;
}

int filter_defined()
{
    if (fst.cur_filter.n != 0)
        return 1;
    error("no filter defined");
    return 0;
}

void set_order(int n)
{
    if (n < 1) {
        fst.input_error = 1;
        free_ss(&fst.cur_filter);
        error("order must be larger than zero");
        return;
    }
    fst.input_error = 0;
    free_ss(&fst.cur_filter);
    fst.cur_filter.n = n;
    new_caps(&fst.cur_filter, n);
}

void drop_k() { freem(&fst.cur_K); }
void drop_w() { freem(&fst.cur_W); }

void ensure_k(filter_state &f)
{
    if (f.cur_K.cols == 0 && f.cur_filter.n > 0)
        f.cur_K = calc_k(f.ana, f.cur_filter, ist.num_flag, ist.sfr_flag);
}

void ensure_w(filter_state &f)
{
    if (f.cur_W.cols == 0 && f.cur_filter.n > 0)
        f.cur_W = calc_w(f.ana, f.cur_filter, ist.num_flag);
}

bool order_allowed(int n)
{
    if (n <= max_filter_order)
        return true;
    error("order %d is too large (at most %d)", n, max_filter_order);
    return false;
}

void install_filter(ss s)
{
    if (s.n <= 0)
        return;
    if (!order_allowed(s.n)) {
        free_ss(&s);
        return;
    }
    free_ss(&fst.cur_filter);
    static_cast<ss &>(fst.cur_filter) = s;
    new_caps(&fst.cur_filter, s.n);
    analysis_prep(fst.ana, fst.cur_filter);
    drop_w();
    drop_k();
}

void take_realisation(ss s)
{
    free_ss(&fst.cur_filter);
    static_cast<ss &>(fst.cur_filter) = s;
}

void free_filter()
{
    free_ss(&fst.cur_filter);
    free_caps(&fst.cur_filter);
    drop_w();
    drop_k();
}

gramian_check checked_gramian(filter_state &fs, bool k, matrix *err)
{
    *err = null_matrix();
    const cap_ss &f = fs.cur_filter;
    matrix &X = k ? fs.cur_K : fs.cur_W;
    gramian_accuracy &acc = k ? fs.acc_K : fs.acc_W;
    const gramian_accuracy &other = k ? fs.acc_W : fs.acc_K;
    if (f.n < 1)
        return gram_none;
    if (ist.num_flag != 0 || (k && ist.sfr_flag != 0)) {
        if (k)
            ensure_k(fs);
        else
            ensure_w(fs);
        return X.cols != 0 ? gram_unchecked : gram_none;
    }
    const matrix &V = k ? f.B : f.C;
    if (X.cols != 0 && acc.err.cols != 0 && same_entries(acc.X, X) && same_entries(acc.A, f.A) &&
        same_entries(acc.V, V)) {
        *err = acc.err;
        return gram_checked;
    }
    forget(acc);
    // the plan of the other Gramian when it was made for this A: the Schur
    // forms are the work of both
    std::shared_ptr<const lyap_plan> p;
    if (other.plan && same_entries(other.A, f.A)) {
        p = other.plan;
    } else {
        auto fresh = std::make_shared<lyap_plan>();
        if (!plan_if_stable(f, fresh.get()))
            return gram_none;
        p = fresh;
    }
    gramian_check c = gramian_on_plan(f, *p, k, &X, err);
    if (c == gram_checked) {
        acc.A = mcopy(f.A);
        acc.V = mcopy(V);
        acc.X = mcopy(X);
        acc.err = *err;
        acc.plan = p;
    }
    return c;
}


bool w_for_division(filter_state &f)
{
    const char *what = "the optimal division of the capacitance";
    matrix err;
    gramian_check c = checked_gramian(f, false, &err);
    if (c == gram_none) {
        error("%s needs W, which cannot be determined for this filter", what);
        return false;
    }
    if (c == gram_unsure) {
        error("%s cannot be computed for this filter: the solution for W does not settle under refinement, "
              "so it has no error bound",
              what);
        return false;
    }
    if (c == gram_checked) {
        double e = gramian_diagonal_error(f.cur_W, err);
        if (!(e <= gramian_figure_tol)) {
            if (!std::isfinite(e)) {
                error("%s cannot be computed for this filter: an entry on the diagonal of W is not known even "
                      "to its sign",
                      what);
                return false;
            }
            char text[32];
            snprintf(text, sizeof text, "%.1e", e);
            error("%s cannot be computed for this filter: the diagonal of W is known only to a relative error "
                  "of %s",
                  what, text);
            return false;
        }
    }
    return true;
}
