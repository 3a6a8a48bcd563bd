#include "filter/current.h"

#include <cfloat>
#include <algorithm>
#include <cmath>

#include "filter/gramian.h"
#include "filter/transfer.h"
#include "base/error.h"
#include "base/globals.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
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
    analysis_prep(fst.cur_filter);
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

// 1 when M (n x n) is zero below its subdiagonal; transposed: above its
// superdiagonal.
static int is_hessenberg(const matrix &M, bool transposed)
{
    int n = M.rows;
    for (int j = 0; j < n; j++)
        for (int i = j + 2; i < n; i++)
            if ((transposed ? M.data[i * n + j] : M.data[j * n + i]) != 0.0)
                return 0;
    return 1;
}

// Hs = Q^T A Q upper Hessenberg by Householder reflections (dgehrd), Q
// formed from them (dorghr); B and C go into the same basis. An A that is
// upper or lower Hessenberg already is taken as it is.
static void hess_prep(const ss &s)
{
    int n = s.n;
    fst.hess_transposed = 0;
    fst.hess_plain = 0;
    fst.hess_sparse = 0;
    if (is_hessenberg(s.A, false) || is_hessenberg(s.A, true)) {
        fst.hess_plain = 1;
        fst.hess_transposed = !is_hessenberg(s.A, false);
        fst.hess_A = fst.hess_transposed ? transpose(s.A) : mcopy(s.A);
        fst.hess_Q = mid(n, n);
        fst.hess_B = mcopy(s.B);
        fst.hess_C = mcopy(s.C);
        return;
    }
    for (int k = 0; k < n * n; k++)
        if (s.A.data[k] == 0.0)
            fst.hess_sparse = 1;
    int ilo = 1, ihi = n, info = 0;
    matrix H = mcopy(s.A);
    std::vector<double> tau(n > 1 ? n - 1 : 1);
    int lwork = -1;
    double query = 0.0;
    dgehrd_(&n, &ilo, &ihi, H.data, &n, tau.data(), &query, &lwork, &info);
    lwork = std::max(n, (int)query);
    std::vector<double> work(lwork);
    dgehrd_(&n, &ilo, &ihi, H.data, &n, tau.data(), work.data(), &lwork, &info);
    matrix Q = mcopy(H);
    dorghr_(&n, &ilo, &ihi, Q.data, &n, tau.data(), work.data(), &lwork, &info);
    // dgehrd leaves the reflectors below the subdiagonal.
    for (int j = 0; j < n; j++)
        for (int i = j + 2; i < n; i++)
            H.data[j * n + i] = 0.0;
    matrix QB = newm(n, 1), CQ = newm(1, n);
    for (int i = 0; i < n; i++) {
        double b = 0.0, c = 0.0;
        for (int k = 0; k < n; k++) {
            b += Q.data[i * n + k] * s.B.data[k];  // (Q^T)_ik = Q_ki
            c += s.C.data[k] * Q.data[i * n + k];
        }
        QB.data[i] = b;
        CQ.data[i] = c;
    }
    fst.hess_A = H;
    fst.hess_Q = Q;
    fst.hess_B = QB;
    fst.hess_C = CQ;
}

// The states that a chain of non-zero couplings reaches from the non-zero
// entries of v (forward: x_i drives x_j through A_ji; backward: the reverse);
// the others are marked 1 in out.
static void unreached_states(const ss &s, const matrix &v, bool forward, std::vector<char> &out)
{
    int n = s.n;
    std::vector<char> seen(n, 0);
    std::vector<int> stack;
    for (int i = 0; i < n; i++)
        if (v.data[i] != 0.0) {
            seen[i] = 1;
            stack.push_back(i);
        }
    while (!stack.empty()) {
        int i = stack.back();
        stack.pop_back();
        for (int j = 0; j < n; j++) {
            double a = forward ? s.A.data[i * n + j] : s.A.data[j * n + i];
            if (a != 0.0 && !seen[j]) {
                seen[j] = 1;
                stack.push_back(j);
            }
        }
    }
    out.assign(n, 0);
    for (int i = 0; i < n; i++)
        out[i] = !seen[i];
}

// The adjugate coefficients N_k of sI - A with the trace coefficients,
// det(sI - A), C adj(sI - A) B and the numerator of ana_ss, by the
// Faddeev-Leverrier recursion: n products of n x n matrices.
static void adjugate_prep()
{
    const ss &s = fst.ana_ss;
    int n = s.n;
    fst.nmat_pending = 0;
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

void nmat_prep(ss s)
{
    nmat_free();
    fst.ana_ss = s;
    int n = s.n;
    if (n < 1)
        return;
    hess_prep(s);
    unreached_states(s, s.B, true, fst.ana_unreached);
    unreached_states(s, s.C, false, fst.ana_unobserved);
    if (n <= nmat_eager_order)
        adjugate_prep();
    else
        fst.nmat_pending = 1;
}

void nmat_ready()
{
    if (fst.nmat_pending && fst.ana_ss.n >= 1)
        adjugate_prep();
}

void nmat_free()
{
    for (matrix &m : fst.nmat)
        freem(&m);
    fst.nmat.clear();
    fst.nmat_pending = 0;
    fst.ana_coef.clear();
    // The trimmed numerator may have degree -1 and still hold its array:
    // dropping the records releases every array in all cases.
    fst.ana_den = poly();
    fst.ana_cadjb = poly();
    fst.ana_num = poly();
    freem(&fst.hess_A);
    freem(&fst.hess_Q);
    freem(&fst.hess_B);
    freem(&fst.hess_C);
    fst.hess_plain = 0;
    fst.hess_transposed = 0;
    fst.hess_sparse = 0;
    fst.ana_unreached.clear();
    fst.ana_unobserved.clear();
    fst.ana_ss = ss();
    clear_similarity_view();  // it belongs to the record released
    fst.ana_generation++;
}

void expat_free()
{
    cfreem(&fst.expat_eigval);
    cfreem(&fst.expat_V);
    cfreem(&fst.expat_Vinv);
    cfreem(&fst.expat_CV);
    cfreem(&fst.expat_ViB);
    cfreem(&fst.expat_CViB);
    fst.expat_defective = 0;
}

// C V, V^-1 B and their element products, from the eigen cache.
static void expat_fold(const ss &s)
{
    int n = s.n;
    const cmatrix &V = fst.expat_V, &Vi = fst.expat_Vinv;
    fst.expat_CV = cnewm(1, n);
    for (int k = 0; k < n; k++) {
        complex c{0.0, 0.0};
        for (int i = 0; i < n; i++)
            c = cadd(c, cscale(V.data[k * n + i], s.C.data[i]));
        fst.expat_CV.data[k] = c;
    }
    if (Vi.data == nullptr)
        return;
    fst.expat_ViB = cnewm(n, 1);
    fst.expat_CViB = cnewm(n, 1);
    for (int k = 0; k < n; k++) {
        complex b{0.0, 0.0};
        for (int j = 0; j < n; j++)
            b = cadd(b, cscale(Vi.data[j * n + k], s.B.data[j]));
        fst.expat_ViB.data[k] = b;
        fst.expat_CViB.data[k] = cmul(fst.expat_CV.data[k], b);
    }
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
    expat_fold(s);
}

void analysis_free()
{
    nmat_free();
    expat_free();
}
