#include "filter/analysis.h"

#include <cfloat>
#include <algorithm>
#include <cmath>
#include <utility>

#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/lapack.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

// Eigenvector matrices whose condition number (Frobenius) exceeds this are
// treated as defective: the eigen route of the time responses would lose
// more than about six digits there.
static const double expat_cond_limit = 1e6;

// The stamps of every context's data, handed out once each.
static unsigned last_stamp = 0;
static unsigned new_stamp() { return ++last_stamp; }

void analysis_prep(analysis_ctx &a, ss s)
{
    nmat_prep(a, s);
    expat_prep(a, s);
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
static void hess_prep(analysis_ctx &a, const ss &s)
{
    int n = s.n;
    a.hess_transposed = 0;
    a.hess_plain = 0;
    a.hess_sparse = 0;
    if (is_hessenberg(s.A, false) || is_hessenberg(s.A, true)) {
        a.hess_plain = 1;
        a.hess_transposed = !is_hessenberg(s.A, false);
        a.hess_A = a.hess_transposed ? transpose(s.A) : mcopy(s.A);
        a.hess_Q = mid(n, n);
        a.hess_B = mcopy(s.B);
        a.hess_C = mcopy(s.C);
        return;
    }
    for (int k = 0; k < n * n; k++)
        if (s.A.data[k] == 0.0)
            a.hess_sparse = 1;
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
    a.hess_A = H;
    a.hess_Q = Q;
    a.hess_B = QB;
    a.hess_C = CQ;
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
static void adjugate_prep(analysis_ctx &a)
{
    const ss &s = a.ana_ss;
    int n = s.n;
    a.nmat_pending = 0;
    a.ana_den = newpoly(n);
    a.ana_cadjb = newpoly(n - 1);
    a.nmat.assign(n, matrix());
    a.ana_coef.assign(n + 1, 0.0);

    auto c_n_b = [&](const matrix &N) {
        matrix NB = mmul(N, s.B);
        matrix CNB = mmul(s.C, NB);
        double v = CNB.data[0];
        freem(&NB);
        freem(&CNB);
        return v;
    };

    a.nmat[0] = mid(n, n);
    a.ana_cadjb.coef[n - 1] = c_n_b(a.nmat[0]);
    a.ana_den.coef[n] = 1.0;
    for (int k = 1; k < n; k++) {
        matrix P = mmul(s.A, a.nmat[k - 1]);
        double ck = tr(P) / k;
        a.ana_coef[k] = ck;
        a.ana_den.coef[n - k] = -ck;
        for (int i = 0; i < n; i++)
            P.data[i * n + i] -= ck;
        a.nmat[k] = P;
        a.ana_cadjb.coef[n - 1 - k] = c_n_b(P);
    }
    matrix P = mmul(s.A, a.nmat[n - 1]);
    double cn = tr(P) / n;
    freem(&P);
    a.ana_coef[n] = cn;
    a.ana_den.coef[0] = -cn;

    a.ana_num = poly_lincomb(1.0, a.ana_cadjb, s.D, a.ana_den);
    trim_numerator(&a.ana_num, a.ana_den);
}

void nmat_prep(analysis_ctx &a, ss s)
{
    nmat_free(a);
    a.ana_ss = s;
    int n = s.n;
    if (n < 1)
        return;
    hess_prep(a, s);
    unreached_states(s, s.B, true, a.ana_unreached);
    unreached_states(s, s.C, false, a.ana_unobserved);
    if (n <= nmat_eager_order)
        adjugate_prep(a);
    else
        a.nmat_pending = 1;
}

void nmat_ready(analysis_ctx &a)
{
    if (a.nmat_pending && a.ana_ss.n >= 1)
        adjugate_prep(a);
}

void nmat_free(analysis_ctx &a)
{
    for (matrix &m : a.nmat)
        freem(&m);
    a.nmat.clear();
    a.nmat_pending = 0;
    a.ana_coef.clear();
    // The trimmed numerator may have degree -1 and still hold its array:
    // dropping the records releases every array in all cases.
    a.ana_den = poly();
    a.ana_cadjb = poly();
    a.ana_num = poly();
    freem(&a.hess_A);
    freem(&a.hess_Q);
    freem(&a.hess_B);
    freem(&a.hess_C);
    a.hess_plain = 0;
    a.hess_transposed = 0;
    a.hess_sparse = 0;
    a.ana_unreached.clear();
    a.ana_unobserved.clear();
    a.ana_ss = ss();
    freem(&a.view_T);  // the view belongs to the record released
    freem(&a.view_Ti);
    a.ana_generation = new_stamp();
}

void expat_free(analysis_ctx &a)
{
    cfreem(&a.expat_eigval);
    cfreem(&a.expat_V);
    cfreem(&a.expat_Vinv);
    cfreem(&a.expat_CV);
    cfreem(&a.expat_ViB);
    cfreem(&a.expat_CViB);
    a.expat_defective = 0;
}

// C V, V^-1 B and their element products, from the eigen cache.
static void expat_fold(analysis_ctx &a, const ss &s)
{
    int n = s.n;
    const cmatrix &V = a.expat_V, &Vi = a.expat_Vinv;
    a.expat_CV = cnewm(1, n);
    for (int k = 0; k < n; k++) {
        complex c{0.0, 0.0};
        for (int i = 0; i < n; i++)
            c = cadd(c, cscale(V.data[k * n + i], s.C.data[i]));
        a.expat_CV.data[k] = c;
    }
    if (Vi.data == nullptr)
        return;
    a.expat_ViB = cnewm(n, 1);
    a.expat_CViB = cnewm(n, 1);
    for (int k = 0; k < n; k++) {
        complex b{0.0, 0.0};
        for (int j = 0; j < n; j++)
            b = cadd(b, cscale(Vi.data[j * n + k], s.B.data[j]));
        a.expat_ViB.data[k] = b;
        a.expat_CViB.data[k] = cmul(a.expat_CV.data[k], b);
    }
}

void expat_prep(analysis_ctx &a, ss s)
{
    expat_free(a);
    a.expat_generation = new_stamp();
    int n = s.n;
    if (n < 1)
        return;
    a.expat_eigval = c_diag(s.A, &a.expat_V);
    // The inverse is taken here rather than by cinv, which ends the program
    // on a singular matrix: a defective A (repeated poles) has a singular or
    // nearly singular eigenvector matrix, and the time responses then take
    // another route.
    cmatrix Vi = ccopy(a.expat_V);
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
        double cond = cnorm(a.expat_V) * cnorm(Vi);
        ok = std::isfinite(cond) && cond <= expat_cond_limit;
    }
    a.expat_Vinv = Vi;
    if (info != 0)
        cfreem(&a.expat_Vinv);
    a.expat_defective = ok ? 0 : 1;
    expat_fold(a, s);
}

void analysis_free(analysis_ctx &a)
{
    nmat_free(a);
    expat_free(a);
}

void analysis_take(analysis_ctx &to, analysis_ctx &from)
{
    analysis_free(to);
    to = std::move(from);
    from = analysis_ctx();
    analysis_free(from);
}

bool analysis_of(const analysis_ctx &a, const ss &s)
{
    const ss &r = a.ana_ss;
    return r.A.data == s.A.data && r.B.data == s.B.data && r.C.data == s.C.data && r.n == s.n && r.D == s.D;
}
