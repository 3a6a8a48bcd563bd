#include "filter/current.h"

#include <cfloat>
#include <cmath>

#include "filter/gramian.h"
#include "base/error.h"
#include "base/globals.h"
#include "numeric/cmatrix.h"
#include "numeric/lapack.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

filter_state fst;

// Eigenvector matrices whose condition number (Frobenius) exceeds this are
// treated as defective: the eigen route of the time responses would lose
// more than about six digits there.
static const double expat_cond_limit = 1e6;

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

void ensure_k()
{
    if (fst.cur_K.cols == 0 && fst.cur_filter.n > 0)
        fst.cur_K = calc_k(fst.cur_filter, ist.num_flag, ist.sfr_flag);
}

void ensure_w()
{
    if (fst.cur_W.cols == 0 && fst.cur_filter.n > 0)
        fst.cur_W = calc_w(fst.cur_filter, ist.num_flag);
}

void install_filter(ss s)
{
    if (s.n <= 0)
        return;
    free_ss(&fst.cur_filter);
    static_cast<ss &>(fst.cur_filter) = s;
    new_caps(&fst.cur_filter, s.n);
    analysis_prep(fst.cur_filter);
    drop_w();
    drop_k();
}

void free_filter()
{
    free_ss(&fst.cur_filter);
    free_caps(&fst.cur_filter);
    drop_w();
    drop_k();
}

void analysis_prep(ss s)
{
    nmat_prep(s);
    expat_prep(s);
}

// Drops leading coefficients that are negligible on the frequency scale of
// the filter: |n_k| w0^k below a small multiple of the rounding level of the
// largest |n_j| w0^j, w0 = |den_0|^(1/n). A similarity transformation leaves
// rounding noise in place of an exact zero, which would otherwise show up
// as a spurious zero far out.
static void trim_numerator(poly *p, const poly &den)
{
    if (p->degree < 0)
        return;
    int n = den.degree;
    double w0 = 1.0;
    if (n >= 1 && den.coef[0] != 0.0 && std::isfinite(den.coef[0]))
        w0 = std::pow(std::fabs(den.coef[0]), 1.0 / n);
    if (!(w0 > 0.0) || !std::isfinite(w0))
        w0 = 1.0;
    double big = 0.0;
    std::vector<double> scaled(p->degree + 1);
    double wk = 1.0;
    for (int k = 0; k <= p->degree; k++) {
        scaled[k] = std::fabs(p->coef[k]) * wk;
        if (scaled[k] > big)
            big = scaled[k];
        wk *= w0;
    }
    double tol = 1000.0 * DBL_EPSILON * big;
    while (p->degree >= 0 && (p->coef[p->degree] == 0.0 || scaled[p->degree] <= tol)) {
        if (big == 0.0 && p->coef[p->degree] != 0.0)
            break;
        p->degree--;
    }
}

void nmat_prep(ss s)
{
    nmat_free();
    fst.ana_ss = s;
    int n = s.n;
    if (n < 1)
        return;
    fst.ana_den = newpoly(n);
    fst.ana_cadjb = newpoly(n - 1);
    fst.nmat.assign(n, matrix());
    fst.ana_coef.assign(n + 1, 0.0);

    auto c_n_b = [&](const matrix &N) {
        matrix NB = mmul(N, s.B);
        matrix CNB = mmul(s.C, NB);
        double v = CNB.data[0];
        freem(&NB);
        freem(&CNB);
        return v;
    };

    fst.nmat[0] = mid(n, n);
    fst.ana_cadjb.coef[n - 1] = c_n_b(fst.nmat[0]);
    fst.ana_den.coef[n] = 1.0;
    for (int k = 1; k < n; k++) {
        matrix P = mmul(s.A, fst.nmat[k - 1]);
        double ck = tr(P) / k;
        fst.ana_coef[k] = ck;
        fst.ana_den.coef[n - k] = -ck;
        for (int i = 0; i < n; i++)
            P.data[i * n + i] -= ck;
        fst.nmat[k] = P;
        fst.ana_cadjb.coef[n - 1 - k] = c_n_b(P);
    }
    matrix P = mmul(s.A, fst.nmat[n - 1]);
    double cn = tr(P) / n;
    freem(&P);
    fst.ana_coef[n] = cn;
    fst.ana_den.coef[0] = -cn;

    fst.ana_num = poly_lincomb(1.0, fst.ana_cadjb, s.D, fst.ana_den);
    trim_numerator(&fst.ana_num, fst.ana_den);
}

void nmat_free()
{
    for (matrix &m : fst.nmat)
        freem(&m);
    fst.nmat.clear();
    fst.ana_coef.clear();
    // The trimmed numerator may have degree -1 and still hold its array:
    // dropping the records releases every array in all cases.
    fst.ana_den = poly();
    fst.ana_cadjb = poly();
    fst.ana_num = poly();
    fst.ana_ss = ss();
}

void expat_free()
{
    cfreem(&fst.expat_eigval);
    cfreem(&fst.expat_V);
    cfreem(&fst.expat_Vinv);
    fst.expat_defective = 0;
}

void expat_prep(ss s)
{
    expat_free();
    fst.expat_generation++;
    int n = s.n;
    if (n < 1)
        return;
    fst.expat_eigval = c_diag(s.A, &fst.expat_V);
    // The inverse is taken here rather than by cinv, which ends the program
    // on a singular matrix: a defective A (repeated poles) has a singular or
    // nearly singular eigenvector matrix, and the time responses then take
    // another route.
    cmatrix Vi = ccopy(fst.expat_V);
    std::vector<int> ipiv(n);
    int info = 0;
    zgetrf_(&n, &n, Vi.data, &n, ipiv.data(), &info);
    if (info == 0) {
        int lwork = 4 * n;
        std::vector<complex> work(lwork);
        zgetri_(&n, Vi.data, &n, ipiv.data(), work.data(), &lwork, &info);
    }
    bool ok = info == 0;
    if (ok) {
        double cond = cnorm(fst.expat_V) * cnorm(Vi);
        ok = std::isfinite(cond) && cond <= expat_cond_limit;
    }
    fst.expat_Vinv = Vi;
    if (info != 0)
        cfreem(&fst.expat_Vinv);
    fst.expat_defective = ok ? 0 : 1;
}

void analysis_free()
{
    nmat_free();
    expat_free();
}
