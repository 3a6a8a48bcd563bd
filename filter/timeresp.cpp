#include "filter/timeresp.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filter/analysis.h"
#include "base/error.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/lapack.h"
#include "numeric/matrix.h"

namespace {

typedef std::vector<double> dmat;  // m x m, column-major

void dmul(int m, const dmat &a, const dmat &b, dmat &c)
{
    c.assign((size_t)m * m, 0.0);
    for (int j = 0; j < m; j++)
        for (int k = 0; k < m; k++) {
            double bkj = b[(size_t)j * m + k];
            if (bkj == 0.0)
                continue;
            for (int i = 0; i < m; i++)
                c[(size_t)j * m + i] += a[(size_t)k * m + i] * bkj;
        }
}

// e^X by scaling and squaring with the (6, 6) Pade approximant: X is scaled
// by 2^-s until its 1-norm is at most 1/2, where the approximant is exact
// to rounding; then squared s times.
dmat expm(int m, dmat X)
{
    double norm = 0.0;
    for (int j = 0; j < m; j++) {
        double col = 0.0;
        for (int i = 0; i < m; i++)
            col += std::fabs(X[(size_t)j * m + i]);
        if (col > norm)
            norm = col;
    }
    int s = 0;
    if (!(norm <= DBL_MAX)) {
        // An infinite or NaN entry (t far beyond the scale of A): there is
        // no exponential to scale, and no squaring count to take.
        std::fill(X.begin(), X.end(), std::nan(""));
        return X;
    }
    if (norm > 0.5) {
        s = (int)std::ceil(std::log2(norm / 0.5));
        if (s < 0)
            s = 0;
        double f = std::ldexp(1.0, -s);
        for (double &x : X)
            x *= f;
    }
    static const double c[7] = {1.0, 0.5, 5.0 / 44.0, 1.0 / 66.0, 1.0 / 792.0, 1.0 / 15840.0,
                                1.0 / 665280.0};
    dmat N((size_t)m * m, 0.0), D((size_t)m * m, 0.0), P = X, T;
    for (int i = 0; i < m; i++) {
        N[(size_t)i * m + i] = 1.0;
        D[(size_t)i * m + i] = 1.0;
    }
    for (int k = 1; k <= 6; k++) {
        double sign = (k % 2) ? -1.0 : 1.0;
        for (size_t q = 0; q < P.size(); q++) {
            N[q] += c[k] * P[q];
            D[q] += sign * c[k] * P[q];
        }
        if (k < 6) {
            dmul(m, P, X, T);
            P.swap(T);
        }
    }
    std::vector<int> ipiv(m);
    int info = 0;
    dgesv_(&m, &m, D.data(), &m, ipiv.data(), N.data(), &m, &info);
    if (info != 0)
        fatal("expAt: matrix exponential failed");
    for (int k = 0; k < s; k++) {
        dmul(m, N, N, T);
        N.swap(T);
    }
    return N;
}

// e^(At) and its integral from 0 to t, from the exponential of
// [[A t, I t], [0, 0]] = [[e^(At), int_0^t e^(A tau) dtau], [0, I]].
// The last pair computed, for the same filter preparation and time: a time
// table asks for the impulse and step responses of H, F and G at each point.
struct pair_cache {
    unsigned generation = 0;
    double t = 0.0;
    int valid = 0;
    matrix E, I;
};
pair_cache pcache;

void exp_pair_compute(analysis_ctx &a, double t, matrix *E, matrix *I)
{
    const matrix &A = a.ana_ss.A;
    int n = a.ana_ss.n, m = 2 * n;
    dmat X((size_t)m * m, 0.0);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            X[(size_t)j * m + i] = A.data[j * n + i] * t;
    for (int i = 0; i < n; i++)
        X[(size_t)(n + i) * m + i] = t;
    dmat R = expm(m, X);
    if (E) {
        *E = newm(n, n);
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                E->data[j * n + i] = R[(size_t)j * m + i];
    }
    if (I) {
        *I = newm(n, n);
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                I->data[j * n + i] = R[(size_t)(n + j) * m + i];
    }
}

// Copies of e^(At) and its integral (either pointer may be null).
void exp_pair(analysis_ctx &a, double t, matrix *E, matrix *I)
{
    if (!pcache.valid || pcache.generation != a.expat_generation || pcache.t != t) {
        freem(&pcache.E);
        freem(&pcache.I);
        exp_pair_compute(a, t, &pcache.E, &pcache.I);
        pcache.generation = a.expat_generation;
        pcache.t = t;
        pcache.valid = 1;
    }
    if (E)
        *E = mcopy(pcache.E);
    if (I)
        *I = mcopy(pcache.I);
}

// The eigen route works in the size of the eigen cache throughout.
//
// e^(l_k t) and (e^(l_k t) - 1) / l_k (t where l_k = 0) for the
// eigenvalues l_k of the eigen cache, at the last time asked for: every
// response at one time shares them. The second member of a conjugate pair
// takes the conjugates of the first.
struct eig_point {
    unsigned generation = 0;
    bool valid = false;
    double t = 0.0;
    int n = 0;
    bool have_e = false, have_i = false;
    std::vector<complex> e, i;
    std::vector<complex> inv_l;  // 1 / l_k (0 where l_k = 0), per preparation
    unsigned inv_generation = 0;
    bool have_inv = false;
};
eig_point ep;

complex eigval(analysis_ctx &a, int k)
{
    int n = a.expat_eigval.rows;
    return a.expat_eigval.data[k * n + k];
}

// l_k is the conjugate of l_(k-1), bit for bit.
bool conj_of_previous(analysis_ctx &a, int k)
{
    if (k == 0)
        return false;
    complex l0 = eigval(a, k - 1), l1 = eigval(a, k);
    return l0.im != 0.0 && l1.re == l0.re && l1.im == -l0.im;
}

eig_point &eig_at(analysis_ctx &a, double t)
{
    if (!ep.valid || ep.generation != a.expat_generation
        || std::memcmp(&ep.t, &t, sizeof t) != 0) {
        ep.valid = true;
        ep.generation = a.expat_generation;
        ep.t = t;
        ep.n = a.expat_eigval.rows;
        ep.have_e = ep.have_i = false;
    }
    return ep;
}

const std::vector<complex> &exps(analysis_ctx &a, eig_point &p)
{
    if (!p.have_e) {
        int n = p.n;
        p.e.resize(n);
        for (int k = 0; k < n; k++)
            p.e[k] = conj_of_previous(a, k) ? cconj_val(p.e[k - 1]) : cexp_t(eigval(a, k), p.t);
        p.have_e = true;
    }
    return p.e;
}

const std::vector<complex> &integrals(analysis_ctx &a, eig_point &p)
{
    if (!p.have_inv || p.inv_generation != a.expat_generation) {
        p.inv_l.resize(p.n);
        for (int k = 0; k < p.n; k++) {
            complex l = eigval(a, k);
            p.inv_l[k] = (l.re == 0.0 && l.im == 0.0) ? complex{0.0, 0.0} : rcdiv(1.0, l);
        }
        p.inv_generation = a.expat_generation;
        p.have_inv = true;
    }
    if (!p.have_i) {
        int n = p.n;
        double t = p.t;
        p.i.resize(n);
        for (int k = 0; k < n; k++) {
            complex l = eigval(a, k);
            if (conj_of_previous(a, k)) {
                p.i[k] = cconj_val(p.i[k - 1]);
            } else if (l.re == 0.0 && l.im == 0.0) {
                p.i[k] = complex{t, 0.0};
            } else {
                // e^(l t) - 1 without cancellation, so that an eigenvalue
                // that comes out a rounding error away from 0 still
                // integrates to t: 1 - cos y = sin^2 y / (1 + cos y) where
                // cos y >= 0, and e^x - 1 by expm1 where |x| is small.
                double x = l.re * t, y = l.im * t;
                double ex = std::exp(x), em = std::fabs(x) < 0.75 ? std::expm1(x) : ex - 1.0;
                double sy = 0.0, cy = 1.0;
                if (y != 0.0) {
                    sy = std::sin(y);
                    cy = std::cos(y);
                }
                double omc = cy >= 0.0 ? sy * sy / (1.0 + cy) : 1.0 - cy;
                complex em1{em * cy - omc, ex * sy};
                p.i[k] = cmul(em1, p.inv_l[k]);
            }
        }
        p.have_i = true;
    }
    return p.i;
}

// Re sum_k r_k z_k.
double re_sum(const complex *r, const std::vector<complex> &z)
{
    double s = 0.0;
    for (size_t k = 0; k < z.size(); k++)
        s += r[k].re * z[k].re - r[k].im * z[k].im;
    return s;
}

// Re(V diag(z) V^-1 B) into a new n x 1 matrix.
matrix eig_state_column(analysis_ctx &a, const std::vector<complex> &z)
{
    int n = a.expat_eigval.rows;
    const cmatrix &V = a.expat_V;
    std::vector<complex> w(n);
    for (int k = 0; k < n; k++)
        w[k] = cmul(z[k], a.expat_ViB.data[k]);
    matrix r = newm(n, 1);
    for (int k = 0; k < n; k++) {
        const complex *vk = V.data + k * n;
        for (int i = 0; i < n; i++)
            r.data[i] += vk[i].re * w[k].re - vk[i].im * w[k].im;
    }
    return r;
}

// Re(C V diag(z) V^-1) into a new 1 x n matrix.
matrix eig_state_row(analysis_ctx &a, const std::vector<complex> &z)
{
    int n = a.expat_eigval.rows;
    const cmatrix &Vi = a.expat_Vinv;
    std::vector<complex> w(n);
    for (int k = 0; k < n; k++)
        w[k] = cmul(a.expat_CV.data[k], z[k]);
    matrix r = newm(1, n);
    for (int j = 0; j < n; j++) {
        const complex *vj = Vi.data + j * n;
        double s = 0.0;
        for (int k = 0; k < n; k++)
            s += w[k].re * vj[k].re - w[k].im * vj[k].im;
        r.data[j] = s;
    }
    return r;
}

// Re(V diag(z) V^-1), n x n.
matrix eigen_form(analysis_ctx &a, const std::vector<complex> &z)
{
    int n = a.expat_eigval.rows;
    const cmatrix &V = a.expat_V, &Vi = a.expat_Vinv;
    matrix R = newm(n, n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            double s = 0.0;
            for (int k = 0; k < n; k++) {
                complex ve = cmul(V.data[k * n + i], z[k]);
                complex x = Vi.data[j * n + k];
                s += ve.re * x.re - ve.im * x.im;
            }
            R.data[j * n + i] = s;
        }
    return R;
}

void need_eigen(analysis_ctx &a, const char *who)
{
    if (a.expat_eigval.data == nullptr) {
        fprintf(stderr, "%s: no A defined.\n", who);
        fatal_cleanup();
        exit(1);
    }
}

// M v (n x n times n x 1) and u M (1 x n times n x n), into new matrices.
matrix times_column(const matrix &M, const double *v)
{
    int n = M.rows;
    matrix r = newm(n, 1);
    for (int k = 0; k < n; k++)
        for (int i = 0; i < n; i++)
            r.data[i] += M.data[k * n + i] * v[k];
    return r;
}

matrix row_times(const double *u, const matrix &M)
{
    int n = M.rows;
    matrix r = newm(1, n);
    for (int j = 0; j < n; j++) {
        double s = 0.0;
        for (int k = 0; k < n; k++)
            s += u[k] * M.data[j * n + k];
        r.data[j] = s;
    }
    return r;
}

}  // namespace

matrix expAt(analysis_ctx &a, double t)
{
    need_eigen(a, "expAt");
    if (a.expat_defective) {
        matrix E;
        exp_pair(a, t, &E, nullptr);
        return E;
    }
    return eigen_form(a, exps(a, eig_at(a, t)));
}

matrix int_expAt(analysis_ctx &a, double t)
{
    need_eigen(a, "int_expAt");
    if (a.expat_defective) {
        matrix I;
        exp_pair(a, t, nullptr, &I);
        return I;
    }
    return eigen_form(a, integrals(a, eig_at(a, t)));
}

// The pair of the matrix-exponential route at t.
const matrix &pair_E(analysis_ctx &a, double t)
{
    exp_pair(a, t, nullptr, nullptr);
    return pcache.E;
}

const matrix &pair_I(analysis_ctx &a, double t)
{
    exp_pair(a, t, nullptr, nullptr);
    return pcache.I;
}

double h_t(analysis_ctx &a, double t)
{
    if (t < 0.0)
        return 0.0;
    need_eigen(a, "expAt");
    const ss &s = a.ana_ss;
    if (t == 0.0) {
        // e^(A 0) = I: C B exactly, not the residues summed with rounding
        double v = 0.0;
        for (int i = 0; i < s.n; i++)
            v += s.C.data[i] * s.B.data[i];
        return v;
    }
    if (a.expat_defective) {
        matrix f = times_column(pair_E(a, t), s.B.data);
        double v = 0.0;
        for (int i = 0; i < s.n; i++)
            v += s.C.data[i] * f.data[i];
        freem(&f);
        return v;
    }
    return re_sum(a.expat_CViB.data, exps(a, eig_at(a, t)));
}

double hs_t(analysis_ctx &a, double t)
{
    if (t < 0.0)
        return 0.0;
    need_eigen(a, "int_expAt");
    const ss &s = a.ana_ss;
    if (a.expat_defective) {
        matrix f = times_column(pair_I(a, t), s.B.data);
        double v = 0.0;
        for (int i = 0; i < s.n; i++)
            v += s.C.data[i] * f.data[i];
        freem(&f);
        return v + s.D;
    }
    return re_sum(a.expat_CViB.data, integrals(a, eig_at(a, t))) + s.D;
}

matrix f_t(analysis_ctx &a, double t)
{
    if (t < 0.0)
        return newm(a.ana_ss.n, 1);
    need_eigen(a, "expAt");
    if (t == 0.0)
        return mcopy(a.ana_ss.B);
    if (a.expat_defective)
        return times_column(pair_E(a, t), a.ana_ss.B.data);
    return eig_state_column(a, exps(a, eig_at(a, t)));
}

matrix g_t(analysis_ctx &a, double t)
{
    if (t < 0.0)
        return newm(1, a.ana_ss.n);
    need_eigen(a, "expAt");
    if (t == 0.0)
        return mcopy(a.ana_ss.C);
    if (a.expat_defective)
        return row_times(a.ana_ss.C.data, pair_E(a, t));
    return eig_state_row(a, exps(a, eig_at(a, t)));
}

matrix fs_t(analysis_ctx &a, double t)
{
    if (t < 0.0)
        return newm(a.ana_ss.n, 1);
    need_eigen(a, "int_expAt");
    if (a.expat_defective)
        return times_column(pair_I(a, t), a.ana_ss.B.data);
    return eig_state_column(a, integrals(a, eig_at(a, t)));
}

matrix gs_t(analysis_ctx &a, double t)
{
    if (t < 0.0)
        return newm(1, a.ana_ss.n);
    need_eigen(a, "int_expAt");
    if (a.expat_defective)
        return row_times(a.ana_ss.C.data, pair_I(a, t));
    return eig_state_row(a, integrals(a, eig_at(a, t)));
}

time_rows::time_rows(analysis_ctx &a, const double *t, int count, int h_bits, int f_bits, int g_bits)
    : a_(a), t_(t), count_(count), h_bits_(h_bits), f_bits_(f_bits), g_bits_(g_bits)
{
    int n = a.ana_ss.n;
    f.assign(n, 0.0);
    fs.assign(n, 0.0);
    g.assign(n, 0.0);
    gs.assign(n, 0.0);
    if (!a.expat_defective || count < 3 || n < 1)
        return;
    double t0 = t[0], dt = (t[count - 1] - t0) / (count - 1);
    if (!(dt > 0.0) || !std::isfinite(dt))
        return;
    // The times of a linear sweep, up to the rounding of their formula.
    double tol = 1e-12 * std::max(std::fabs(t0), std::fabs(t[count - 1]));
    for (int k = 0; k < count; k++)
        if (!(std::fabs(t[k] - (t0 + k * dt)) <= tol))
            return;
    stepping_ = true;
    dt_ = dt;
    exp_pair_compute(a, dt, &E1_, &I1_);
    xf_.assign(n, 0.0);
    xfs_.assign(n, 0.0);
    xg_.assign(n, 0.0);
    xgs_.assign(n, 0.0);
}

// The state at row k from the exponential at its own time.
void time_rows::start(int k)
{
    analysis_ctx &a = a_;
    matrix E, I;
    exp_pair(a, t_[k], &E, &I);
    const ss &s = a.ana_ss;
    matrix v[4] = {times_column(E, s.B.data), times_column(I, s.B.data), row_times(s.C.data, E),
                   row_times(s.C.data, I)};
    std::vector<double> *x[4] = {&xf_, &xfs_, &xg_, &xgs_};
    for (int q = 0; q < 4; q++) {
        const double *src = v[q].data;
        std::copy(src, src + s.n, x[q]->begin());
        freem(&v[q]);
    }
    freem(&E);
    freem(&I);
    next_ = k;
}

// One step of dt: e^(A(t+dt)) = e^(At) e^(A dt) and
// int_0^(t+dt) = int_0^t + e^(At) int_0^dt, the factors commuting.
void time_rows::step()
{
    int n = a_.ana_ss.n;
    const double *E = E1_.data, *I = I1_.data;
    std::vector<double> a(n, 0.0), b(n, 0.0);
    bool f_side = h_bits_ || f_bits_, g_side = g_bits_ != 0;
    if (f_side) {
        for (int k = 0; k < n; k++)
            for (int i = 0; i < n; i++) {
                a[i] += E[k * n + i] * xf_[k];
                b[i] += I[k * n + i] * xf_[k];
            }
        for (int i = 0; i < n; i++) {
            xfs_[i] += b[i];
            xf_[i] = a[i];
        }
    }
    if (g_side) {
        for (int j = 0; j < n; j++) {
            double sa = 0.0, sb = 0.0;
            for (int k = 0; k < n; k++) {
                sa += xg_[k] * E[j * n + k];
                sb += xg_[k] * I[j * n + k];
            }
            a[j] = sa;
            b[j] = sb;
        }
        for (int j = 0; j < n; j++) {
            xgs_[j] += b[j];
            xg_[j] = a[j];
        }
    }
    next_++;
}

void time_rows::publish()
{
    analysis_ctx &a = a_;
    const ss &s = a.ana_ss;
    h = 0.0;
    hs = s.D;
    for (int i = 0; i < s.n; i++) {
        h += s.C.data[i] * xf_[i];
        hs += s.C.data[i] * xfs_[i];
    }
    f = xf_;
    fs = xfs_;
    g = xg_;
    gs = xgs_;
}

void time_rows::at(int k)
{
    analysis_ctx &a = a_;
    double t = t_[k];
    int n = a.ana_ss.n;
    if (stepping_ && t >= 0.0) {
        if (next_ >= 0 && next_ == k - 1)
            step();
        else
            start(k);
        publish();
        return;
    }
    next_ = -1;
    if (h_bits_ & 1)
        h = h_t(a, t);
    if (h_bits_ & 2)
        hs = hs_t(a, t);
    const int bits[4] = {f_bits_ & 1, f_bits_ & 2, g_bits_ & 1, g_bits_ & 2};
    std::vector<double> *out[4] = {&f, &fs, &g, &gs};
    for (int q = 0; q < 4; q++) {
        if (!bits[q])
            continue;
        matrix r = q == 0 ? f_t(a, t) : q == 1 ? fs_t(a, t) : q == 2 ? g_t(a, t) : gs_t(a, t);
        const double *src = r.data;
        std::copy(src, src + std::min(n, r.rows * r.cols), out[q]->begin());
        freem(&r);
    }
}
