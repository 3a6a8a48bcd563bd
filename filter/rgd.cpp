// Equiripple group-delay approximation.
#include "filter/rgd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "filter/pzlist.h"
#include "base/error.h"
#include "base/globals.h"
#include "numeric/cmatrix.h"
#include "numeric/complex.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

namespace {

complex csub(complex x, complex y) { return cmake(x.re - y.re, x.im - y.im); }
complex csq(complex x) { return cmul(x, x); }

// The square root of z with imaginary part >= 0, negated when its real part
// is positive.
complex upf_root(complex z)
{
    complex s = c_sqroot(z);
    if (s.re > 0.0)
        s = cmake(-s.re, -s.im);
    return s;
}

// p = 1 / sqrt(q^2 - 1), the root with real part <= 0.
complex pole_of(complex q) { return rcdiv(1.0, csqrt_wrap(csub(csq(q), cmake(1.0, 0.0)))); }
complex transformed(complex p)
{
    const complex p2 = csq(p);
    return csqrt_wrap(crdiv(cadd(p2, cmake(1.0, 0.0)), p2));
}

// The product over j != k of (q_k + q_j) / (q_j - q_k).
complex upf_product(const rootlist &q, int count, int k)
{
    complex prod = cmake(1.0, 0.0);
    for (int j = 0; j < count; j++)
        if (j != k)
            prod = cmul(prod, crdiv(cadd(q.roots[k], q.roots[j]), csub(q.roots[j], q.roots[k])));
    return prod;
}

bool finite(complex z) { return std::isfinite(z.re) && std::isfinite(z.im); }

// Transformed poles that the equations can take: finite and non-zero, no
// two equal and no two adding up to 0 (upf and updf divide by q_j - q_k and
// q_j + q_k).
bool usable_transformed(const rootlist &q, int count)
{
    for (int k = 0; k < count; k++) {
        const complex qk = q.roots[k];
        if (!finite(qk) || (qk.re == 0.0 && qk.im == 0.0))
            return false;
        for (int j = 0; j < k; j++) {
            const complex qj = q.roots[j];
            if ((qj.re == qk.re && qj.im == qk.im) || (qj.re == -qk.re && qj.im == -qk.im))
                return false;
        }
    }
    return true;
}

}  // namespace

double pole_group_delay(const rootlist &p, int count, double x)
{
    double gd = 0.0;
    for (int k = 0; k < count; k++) {
        const double re = p.roots[k].re, t = (x - p.roots[k].im) / re;
        gd += (-1.0 / re) / (t * t + 1.0);
    }
    return gd;
}

void group_delay_extremum(rootlist &p, int count, double target, int max_steps)
{
    if (count < 2)
        return;
    double f1, f2;
    if (count % 2) {
        f1 = 0.0;
        f2 = p.roots[(count + 1) / 2].im / 2.0;
    } else {
        f1 = p.roots[count / 2].im;
        f2 = 0.0;
    }
    const double h = 0.001;
    rootlist t = copy_rootlist(p.roots, count);
    for (int step = 0; step < max_steps; step++) {
        const double d0 = pole_group_delay(p, count, f1) - pole_group_delay(p, count, f2);
        for (int k = 0; k < count; k++)
            t.roots[k] = cmake(p.roots[k].re * (1.0 + h), p.roots[k].im);
        const double d1 = pole_group_delay(t, count, f1) - pole_group_delay(t, count, f2);
        double s = (target - d0) / ((d1 - d0) / h);
        if (s < -0.5)
            s = -0.5;
        if (s > 2.0)
            s = 2.0;
        for (int k = 0; k < count; k++)
            p.roots[k].re *= 1.0 + s;
        if (std::fabs(s) <= h)
            break;
    }
    free_rootlist(&t);
}

rootlist initial_gd_poles(int n, double ripple)
{
    rootlist p = new_rootlist(n);
    const double s = 2.0 / n;
    for (int k = 0; k < n; k++)
        p.roots[k] = cmake(-0.1, 0.0);
    const int m = n / 2;
    double y;
    if (n % 2) {
        p.roots[m] = cmake(-0.1, 0.0);
        y = s;
    } else {
        y = s / 2.0;
    }
    for (int k = m - 1; k >= 0; k--) {
        p.roots[k] = cmake(-0.1, y);
        p.roots[n - 1 - k] = cmake(-0.1, -y);
        y += s;
    }
    group_delay_extremum(p, n, ripple, 100);
    return p;
}

cmatrix upf(double ripple, const rootlist &q, int count)
{
    if (count < 1)
        fatal("upf: order too small");
    cmatrix F = cnewm(count, 1);
    for (int k = 0; k < count; k++) {
        const complex qk = q.roots[k];
        const complex q2 = csq(qk);
        const complex w = csub(q2, cmake(1.0, 0.0));
        const complex sk = upf_root(w);
        const complex first = crdiv(cmul(w, sk), q2);
        const complex second = cscale(upf_product(q, count, k), ripple);
        cmatrix_cset(F, k, 0, cadd(first, second));
    }
    return F;
}

cmatrix updf(double ripple, const rootlist &q, int count)
{
    if (count < 1)
        fatal("updf: order too small");
    cmatrix J = cnewm(count, count);
    for (int k = 0; k < count; k++) {
        const complex qk = q.roots[k];
        const complex q2 = csq(qk);
        const complex sk = upf_root(csub(q2, cmake(1.0, 0.0)));
        const complex rp = cscale(upf_product(q, count, k), ripple);
        complex sum = cmake(0.0, 0.0);
        for (int l = 0; l < count; l++) {
            if (l == k)
                continue;
            const complex ql = q.roots[l];
            const complex den = cmul(cadd(qk, ql), csub(ql, qk));
            sum = cadd(sum, crdiv(cscale(ql, 2.0), den));
            cmatrix_cset(J, k, l, cmul(rp, crdiv(cscale(qk, -2.0), den)));
        }
        const complex diag = crdiv(cmul(sk, cadd(q2, cmake(2.0, 0.0))), cmul(q2, qk));
        cmatrix_cset(J, k, k, cadd(diag, cmul(rp, sum)));
    }
    return J;
}

cmatrix updf_differences(double ripple, const rootlist &q, int count)
{
    const double h = 1e-6;
    cmatrix F0 = upf(ripple, q, count);
    cmatrix J = cnewm(count, count);
    rootlist t = copy_rootlist(q.roots, count);
    for (int j = 0; j < count; j++) {
        t.roots[j].re += h;
        cmatrix F1 = upf(ripple, t, count);
        for (int k = 0; k < count; k++)
            cmatrix_cset(J, k, j, cdivr(csub(celem(F1, k, 0), celem(F0, k, 0)), h));
        cfreem(&F1);
        t.roots[j] = q.roots[j];
    }
    free_rootlist(&t);
    cfreem(&F0);
    return J;
}

matrix c_to_r_updf(const cmatrix &J)
{
    if (J.rows != J.cols || J.rows < 1)
        fatal("c_to_r_updf: matrix dimensions incorrect");
    const int n = J.rows, m = n / 2;
    matrix R = newm(n, n);
    auto re = [&](int i, int j) { return celem(J, i, j).re; };
    auto im = [&](int i, int j) { return celem(J, i, j).im; };
    for (int k = 0; k < m; k++) {
        const int kb = n - 1 - k;
        for (int l = 0; l < m; l++) {
            const int lb = n - 1 - l;
            matrix_set(R, k, l, re(k, l) + re(k, lb));
            matrix_set(R, k, lb, -im(k, l) + im(k, lb));
            matrix_set(R, kb, l, im(k, l) + im(k, lb));
            matrix_set(R, kb, lb, re(k, l) - re(k, lb));
        }
        if (n % 2) {
            matrix_set(R, k, m, re(k, m));
            matrix_set(R, kb, m, im(k, m));
            matrix_set(R, m, k, re(m, k) + re(m, kb));
            matrix_set(R, m, kb, -im(m, k) + im(m, kb));
        }
    }
    if (n % 2)
        matrix_set(R, m, m, re(m, m));
    return R;
}

matrix c_to_r_upf(const cmatrix &F)
{
    if (F.cols != 1 || F.rows < 1)
        fatal("c_to_r_upf: matrix dimensions incorrect");
    const int n = F.rows, m = n / 2;
    matrix f = newm(n, 1);
    for (int k = 0; k < m; k++) {
        matrix_set(f, k, 0, -celem(F, k, 0).re);
        matrix_set(f, n - 1 - k, 0, -celem(F, k, 0).im);
    }
    if (n % 2)
        matrix_set(f, m, 0, -celem(F, m, 0).re);
    return f;
}

matrix roots_to_real(const rootlist &q, int n)
{
    const int m = n / 2;
    matrix x = newm(n, 1);
    for (int k = 0; k < m; k++) {
        matrix_set(x, k, 0, q.roots[k].re);
        matrix_set(x, n - 1 - k, 0, q.roots[k].im);
    }
    if (n % 2)
        matrix_set(x, m, 0, q.roots[m].re);
    return x;
}

void real_to_roots(const matrix &x, rootlist &q, int n)
{
    const int m = n / 2;
    for (int k = 0; k < m; k++) {
        q.roots[k] = cmake(elem(x, k, 0), elem(x, n - 1 - k, 0));
        q.roots[n - 1 - k] = cmake(elem(x, k, 0), -elem(x, n - 1 - k, 0));
    }
    if (n % 2)
        q.roots[m] = cmake(elem(x, m, 0), 0.0);
}

double ripple_step(rootlist &q, int count, double ripple, cmatrix &F)
{
    cmatrix J = updf(ripple, q, count);
    matrix R = c_to_r_updf(J);
    cfreem(&J);
    matrix Ri = minv(R);
    freem(&R);
    if (Ri.cols == 0)
        return -1.0;
    matrix f = c_to_r_upf(F);
    matrix d = mmul(Ri, f);
    matrix x = roots_to_real(q, count);
    for (int i = 0; i < count; i++)
        matrix_set(x, i, 0, elem(x, i, 0) + elem(d, i, 0));
    rootlist qn = copy_rootlist(q.roots, count);
    real_to_roots(x, qn, count);
    freem(&x);
    freem(&d);
    freem(&f);
    freem(&Ri);
    if (!usable_transformed(qn, count)) {
        free_rootlist(&qn);
        return -1.0;
    }
    for (int k = 0; k < count; k++)
        q.roots[k] = qn.roots[k];
    free_rootlist(&qn);
    cmatrix Fn = upf(ripple, q, count);
    ccopy_into(Fn, F);
    cfreem(&Fn);
    return cnorm(F);
}

double ripple_step_complex(rootlist &q, int count, double ripple, cmatrix &F)
{
    cmatrix J = updf(ripple, q, count);
    cmatrix Ji = cinv(J);
    cfreem(&J);
    cmatrix d = cmmul(Ji, F);
    cfreem(&Ji);
    for (int k = 0; k < count; k++) {
        complex v = csub(q.roots[k], celem(d, k, 0));
        if (std::fabs(v.im / v.re) < 1e-6)
            v.im = 0.0;
        q.roots[k] = v;
    }
    cfreem(&d);
    cmatrix Fn = upf(ripple, q, count);
    ccopy_into(Fn, F);
    cfreem(&Fn);
    return cnorm(F);
}

int ripple_iterate(rootlist &p, int n, double ripple)
{
    const int max_steps = 100;
    rootlist q = new_rootlist(n);
    for (int k = 0; k < n; k++)
        q.roots[k] = transformed(p.roots[k]);
    bool singular = !usable_transformed(q, n);
    cmatrix F = singular ? cnewm(n, 1) : upf(ripple, q, n);
    double e = singular ? INFINITY : cnorm(F);
    int steps = 0;
    while (!singular && steps < max_steps && e > 1e-6) {
        const double r = ripple_step(q, n, ripple, F);
        steps++;
        if (r < 0.0) {
            singular = true;
            break;
        }
        e = r;
    }
    if (ist.verbosity > 0)
        fprintf(ist.out_fp, "Number of iterations is %d.\n", steps);
    int status = 0;
    if (singular || !(e <= 1e-6)) {
        error("no convergence in %d iterations", max_steps);
        status = 1;
    } else {
        // Newton's method converges quadratically from here: a few more
        // steps, while they halve the residual, give the poles to the
        // working precision instead of to 1e-6.
        for (int extra = 0; extra < 4 && e > 0.0; extra++) {
            rootlist keep = copy_rootlist(q.roots, n);
            cmatrix Fk = ccopy(F);
            const double r = ripple_step(q, n, ripple, F);
            if (!(r >= 0.0 && r < 0.5 * e)) {
                for (int k = 0; k < n; k++)
                    q.roots[k] = keep.roots[k];
                ccopy_into(Fk, F);
                extra = 4;
            } else
                e = r;
            free_rootlist(&keep);
            cfreem(&Fk);
        }
    }
    for (int k = 0; k < n; k++) {
        const complex w = csqrt_wrap(csub(csq(q.roots[k]), cmake(1.0, 0.0)));
        p.roots[k] = (w.re == 0.0 && w.im == 0.0) ? cmake(NAN, NAN) : pole_of(q.roots[k]);
    }
    cfreem(&F);
    free_rootlist(&q);
    return status;
}

bool equiripple_delay(const rootlist &p, int n, double ripple)
{
    if (n < 2)
        return true;
    // tau at 0 and the extremes inside the band, each the vertex of the
    // parabola through three grid points
    const int points = 400 * n;
    const double h = 1.05 / points;
    std::vector<double> ext{pole_group_delay(p, n, 0.0)};
    double t0 = ext[0], t1 = pole_group_delay(p, n, h);
    for (int i = 2; i <= points; i++) {
        const double t2 = pole_group_delay(p, n, i * h);
        const double curv = t2 - 2.0 * t1 + t0;
        if ((t1 - t0) * (t2 - t1) < 0.0 && curv != 0.0)
            ext.push_back(t1 - (t2 - t0) * (t2 - t0) / (8.0 * curv));
        t0 = t1;
        t1 = t2;
    }
    if ((int)ext.size() != n)
        return false;
    // alternating: the maxima equal, the minima equal, their distance the
    // ripple
    double hi_min = INFINITY, hi_max = -INFINITY, lo_min = INFINITY, lo_max = -INFINITY;
    const bool first_high = ext[0] > ext[1];
    for (int i = 0; i < n; i++) {
        const bool high = (i % 2 == 0) == first_high;
        double &mn = high ? hi_min : lo_min, &mx = high ? hi_max : lo_max;
        mn = std::min(mn, ext[i]);
        mx = std::max(mx, ext[i]);
    }
    const double tol = 1e-3 * ripple;
    return hi_max - hi_min <= tol && lo_max - lo_min <= tol && std::fabs(hi_min - lo_max - ripple) <= tol;
}

ss rgd_approx(int n, double ripple)
{
    if (n < 1)
        fatal("Order must be positive");
    if (!(ripple > 0.0))
        fatal("ripple must be positive");
    rootlist p;
    int status = 0;
    if (n == 1) {
        // tau(0) - tau(1) = 1/sigma - sigma/(sigma^2 + 1) = 1/(sigma^3 + sigma)
        // for the pole -sigma: the real root of sigma^3 + sigma - 1/ripple.
        // In hyperbolic form, sigma = (2/sqrt 3) sinh(asinh((3 sqrt 3 / 2) c) / 3):
        // no two cube roots of nearly equal size cancel for a large ripple
        // (sigma tends to c), and nothing is squared that could overflow
        // for a small one.
        const double c = 1.0 / ripple;
        const double sigma = 2.0 / std::sqrt(3.0) * std::sinh(std::asinh(1.5 * std::sqrt(3.0) * c) / 3.0);
        p = new_rootlist(1);
        p.roots[0] = cmake(-sigma, 0.0);
    } else {
        p = initial_gd_poles(n, ripple);
        status = ripple_iterate(p, n, ripple);
    }
    // Poles that did not converge, a pole on or right of the j-axis (or one
    // that is not a number), or a delay that is not the equiripple one are
    // no filter to install.
    if (status != 0) {
        free_rootlist(&p);
        return new_ss(0);
    }
    for (int k = 0; k < n; k++)
        if (!finite(p.roots[k]) || !(p.roots[k].re < 0.0)) {
            error("no stable group-delay approximation found");
            free_rootlist(&p);
            return new_ss(0);
        }
    if (!equiripple_delay(p, n, ripple)) {
        error("no equiripple group delay found for these arguments");
        free_rootlist(&p);
        return new_ss(0);
    }
    pz_new();
    for (int k = 0; k < n; k++)
        if (p.roots[k].im >= 0.0)
            pz_add_pole(p.roots[k].re, p.roots[k].im);
    ss s = pz_cascade();
    pz_free();
    free_rootlist(&p);
    return s;
}
