// Classical lowpass approximations realised as cascades of sections (or,
// for the maximally flat case, as a tridiagonal ladder).
#include "filter/approx.h"

#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "filter/current.h"
#include "filter/pzlist.h"
#include "base/error.h"
#include "numeric/complex.h"
#include "base/elliptic.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"
#include "numeric/poly_roots_mp.h"

namespace {

// Sorts by real part, ascending; a pair is swapped only when the first has
// the strictly larger real part, so ties keep their order.
void sort_by_real_part(std::vector<complex> &r)
{
    const size_t n = r.size();
    for (size_t i = 0; i + 1 < n; i++)
        for (size_t j = 0; j + 1 < n - i; j++)
            if (r[j].re > r[j + 1].re)
                std::swap(r[j], r[j + 1]);
}

// The polynomials whose roots are the poles, in MPFR (coefficient k
// multiplies x^k), for the root finder of numeric/poly_roots_mp.h. Each
// builder works at the precision of the numbers it fills. The spectral
// polynomials q(w) of the Gaussian, Bessel-Chebyshev and elliptic
// approximations are even, and are given in u = s^2 = -w^2, whose degree is
// the order: the poles are the square roots of the roots u with real part
// below 0.

mpfr_prec_t prec_of(const mp_array &c)
{
    return mpfr_get_prec(c[0]);
}

// The reverse Bessel polynomial of order n: coefficient k is
// (2n - k)! / (2^(n-k) k! (n-k)!), so c_k = c_(k+1) (2n - k)(k + 1) / (2(n - k)).
void mp_bessel(mp_array &c, int n)
{
    mpfr_set_ui(c[n], 1, MPFR_RNDN);
    for (int k = n - 1; k >= 0; k--) {
        mpfr_mul_ui(c[k], c[k + 1], static_cast<unsigned long>(2 * n - k) * (k + 1), MPFR_RNDN);
        mpfr_div_ui(c[k], c[k], 2ul * (n - k), MPFR_RNDN);
    }
}

// 10^(x/10) - 1 without the cancellation of a small x.
void mp_db_excess(mpfr_ptr r, double x)
{
    mpfr_log_ui(r, 10, MPFR_RNDN);
    mpfr_mul_d(r, r, x / 10.0, MPFR_RNDN);
    mpfr_expm1(r, r, MPFR_RNDN);
}

// u-coefficients of T_n(w / a)^2: entry i is the coefficient of w^(2i)
// times (-1)^i. T_n by T_k = 2w T_(k-1) - T_(k-2).
void mp_chebyshev_square(mp_array &sq, int n, mpfr_srcptr a)
{
    const mpfr_prec_t bits = prec_of(sq);
    const std::size_t m = static_cast<std::size_t>(n) + 1;
    mp_array t0(m, bits), t1(m, bits), t2(m, bits), acc(2, bits);
    mpfr_set_ui(t0[0], 1, MPFR_RNDN);
    mpfr_set_ui(t1[1], 1, MPFR_RNDN);
    mp_array *lo = &t0, *hi = &t1, *nx = &t2;
    if (n == 0)
        hi = &t0;
    for (int k = 2; k <= n; k++) {
        for (int i = 0; i <= k; i++) {
            if (i > 0)
                mpfr_mul_2ui((*nx)[i], (*hi)[i - 1], 1, MPFR_RNDN);
            else
                mpfr_set_zero((*nx)[i], 1);
            if (i <= k - 2)
                mpfr_sub((*nx)[i], (*nx)[i], (*lo)[i], MPFR_RNDN);
        }
        mp_array *old = lo;
        lo = hi;
        hi = nx;
        nx = old;
    }
    // coefficient i divided by a^i
    mpfr_set_ui(acc[0], 1, MPFR_RNDN);
    for (int i = 1; i <= n; i++) {
        mpfr_div(acc[0], acc[0], a, MPFR_RNDN);
        mpfr_mul((*hi)[i], (*hi)[i], acc[0], MPFR_RNDN);
    }
    for (int i = 0; i <= n; i++) {
        mpfr_set_zero(sq[i], 1);
        for (int j = std::max(0, 2 * i - n); j <= std::min(n, 2 * i); j++) {
            mpfr_mul(acc[1], (*hi)[j], (*hi)[2 * i - j], MPFR_RNDN);
            mpfr_add(sq[i], sq[i], acc[1], MPFR_RNDN);
        }
        if (i % 2)
            mpfr_neg(sq[i], sq[i], MPFR_RNDN);
    }
}

// q := q + e sq, entry by entry.
void mp_add_ripple(mp_array &q, const mp_array &sq, int n, mpfr_srcptr e)
{
    mp_array t(1, prec_of(q));
    for (int i = 0; i <= n; i++) {
        mpfr_mul(t[0], sq[i], e, MPFR_RNDN);
        mpfr_add(q[i], q[i], t[0], MPFR_RNDN);
    }
}

// u-coefficients of the Taylor polynomial of exp(2 w^2): (-2)^i / i!.
void mp_gauss(mp_array &c, int n)
{
    mpfr_set_ui(c[0], 1, MPFR_RNDN);
    for (int i = 1; i <= n; i++) {
        mpfr_mul_si(c[i], c[i - 1], -2, MPFR_RNDN);
        mpfr_div_ui(c[i], c[i], static_cast<unsigned long>(i), MPFR_RNDN);
    }
}

// p := p (u + a)^times, p of degree d before (its array long enough).
void mp_mul_linear(mp_array &p, int *d, mpfr_srcptr a, int times)
{
    mp_array t(1, prec_of(p));
    for (int r = 0; r < times; r++) {
        mpfr_set((p)[*d + 1], p[*d], MPFR_RNDN);
        for (int k = *d; k >= 1; k--) {
            mpfr_mul(t[0], p[k], a, MPFR_RNDN);
            mpfr_add(p[k], p[k - 1], t[0], MPFR_RNDN);
        }
        mpfr_mul(p[0], p[0], a, MPFR_RNDN);
        ++*d;
    }
}

// sn(u_i, k) into x[i] for the n/2 places u_i = (2i + 1) K / n (even n) or
// (2i + 2) K / n (odd n) with k = 1 / ks, at the precision of x: K and sn
// from the arithmetic-geometric mean of 1 and k' = sqrt(1 - k^2) (the
// descending Landen transformation).
void mp_elliptic_points(mp_array &x, int n, double ks)
{
    const mpfr_prec_t bits = prec_of(x);
    const int steps = 128;
    mp_array a(steps + 1, bits), c(steps + 1, bits), v(4, bits);
    mpfr_ptr k = v[0], b = v[1], phi = v[2], t = v[3];
    mpfr_set_ui(k, 1, MPFR_RNDN);
    mpfr_div_d(k, k, ks, MPFR_RNDN);
    mpfr_ui_sub(t, 1, k, MPFR_RNDN);
    mpfr_add_ui(b, k, 1, MPFR_RNDN);
    mpfr_mul(b, b, t, MPFR_RNDN);
    mpfr_sqrt(b, b, MPFR_RNDN);  // k'
    mpfr_set_ui(a[0], 1, MPFR_RNDN);
    mpfr_set(c[0], k, MPFR_RNDN);
    int N = 0;
    while (N < steps && !mpfr_zero_p(c[N]) && mpfr_get_exp(c[N]) > mpfr_get_exp(a[N]) - static_cast<mpfr_exp_t>(bits)) {
        mpfr_sub(c[N + 1], a[N], b, MPFR_RNDN);
        mpfr_div_2ui(c[N + 1], c[N + 1], 1, MPFR_RNDN);
        mpfr_mul(t, a[N], b, MPFR_RNDN);
        mpfr_add(a[N + 1], a[N], b, MPFR_RNDN);
        mpfr_div_2ui(a[N + 1], a[N + 1], 1, MPFR_RNDN);
        mpfr_sqrt(b, t, MPFR_RNDN);
        N++;
    }
    // K = pi / (2 a_N); phi_N = 2^N a_N u = 2^(N-1) pi u / K, so that
    // u_i gives phi_N = 2^(N-1) pi (2i + 1 or 2i + 2) / n.
    for (int i = 0; i < n / 2; i++) {
        mpfr_const_pi(phi, MPFR_RNDN);
        mpfr_mul_ui(phi, phi, static_cast<unsigned long>(n % 2 == 0 ? 2 * i + 1 : 2 * i + 2), MPFR_RNDN);
        mpfr_div_ui(phi, phi, static_cast<unsigned long>(n), MPFR_RNDN);
        mpfr_mul_2si(phi, phi, N - 1, MPFR_RNDN);
        for (int j = N; j >= 1; j--) {
            mpfr_sin(t, phi, MPFR_RNDN);
            mpfr_mul(t, t, c[j], MPFR_RNDN);
            mpfr_div(t, t, a[j], MPFR_RNDN);
            mpfr_asin(t, t, MPFR_RNDN);
            mpfr_add(phi, phi, t, MPFR_RNDN);
            mpfr_div_2ui(phi, phi, 1, MPFR_RNDN);
        }
        mpfr_sin(x[i], phi, MPFR_RNDN);
    }
}

// Evaluation of the u-polynomial c at u.
void mp_eval(mpfr_ptr r, const mp_array &c, int n, mpfr_srcptr u)
{
    mpfr_set(r, c[n], MPFR_RNDN);
    for (int k = n - 1; k >= 0; k--) {
        mpfr_mul(r, r, u, MPFR_RNDN);
        mpfr_add(r, r, c[k], MPFR_RNDN);
    }
}

// Arguments at the edge of double range (a ripple or damping whose
// 10^(x/10) overflows, or one so small that 10^(x/10) - 1 is 0, a band limit
// whose square overflows) give infinite or undefined poles. Such values must never reach the root
// finder or the current filter: the approximation reports that instead.
const char *const no_poles_message = "no finite poles for these arguments";

ss no_finite_poles()
{
    error("%s", no_poles_message);
    return new_ss(0);
}

bool all_finite(const matrix &m)
{
    for (int i = 0; i < m.rows * m.cols; i++)
        if (!std::isfinite(m.data[i]))
            return false;
    return true;
}

// The record itself, or order 0 with the message when any element is not
// finite.
ss finite_or_nothing(ss s)
{
    if (s.n > 0 && !(all_finite(s.A) && all_finite(s.B) && all_finite(s.C) && std::isfinite(s.D))) {
        free_ss(&s);
        return no_finite_poles();
    }
    return s;
}

}  // namespace

ss poly_to_filter(const rootlist &roots)
{
    const complex *first = roots.roots;
    std::vector<complex> r(first, first + roots.n);
    sort_by_real_part(r);
    pz_new();
    for (const complex &z : r)
        if (z.im >= 0.0)
            pz_add_pole(z.re, z.im);
    ss s = pz_cascade();
    pz_free();
    return s;
}

double poly_solve_level(const poly &p, double factor)
{
    const double target = factor * p.coef[0];
    poly dp = poly_deriv(p);
    double x = 1.0;
    for (int step = 0; step < 100; step++) {
        const double dx = (target - poly_eval(p.coef, p.degree, x)) / poly_eval(dp.coef, dp.degree, x);
        x += dx;
        if (std::fabs(dx) <= 1e-6)
            break;
    }
    freepoly(&dp);
    return x;
}

namespace {

const char *const unresolved_message = "the poles cannot be found to double precision for these arguments";

// The cascade of the poles that poly_roots_mp found (found false: it could
// not), every one of them left of the j-axis, or order 0 with the reason.
ss stable_poles_to_filter(bool found, const std::vector<complex> &poles)
{
    if (!found) {
        error("%s", unresolved_message);
        return new_ss(0);
    }
    for (const complex &p : poles)
        if (!(p.re < 0.0)) {
            error("no stable poles found for these arguments");
            return new_ss(0);
        }
    rootlist rl = copy_rootlist(poles.data(), (int)poles.size());
    ss s = poly_to_filter(rl);
    free_rootlist(&rl);
    return finite_or_nothing(s);
}

// The n poles of a spectral polynomial given in u = s^2 (degree n): the
// square roots of its roots with real part below 0. A root u on the
// negative real axis is a pole on the j-axis, which no stable filter has.
ss spectral_poles_to_filter(int n, const mp_poly_builder &build_u)
{
    if (!order_allowed(n))
        return new_ss(0);
    std::vector<complex> poles;
    const bool found = poly_roots_mp(n, build_u, true, &poles);
    return stable_poles_to_filter(found, poles);
}

}  // namespace

ss chebyshev(int n, double ripple)
{
    if (n < 1) {
        error("order must be larger than zero");
        return new_ss(0);
    }
    if (ripple < 0.0) {
        error("ripple must be larger than zero");
        return new_ss(0);
    }
    const int m = (n + 1) / 2;
    double sh = 1.0, ch = 1.0;  // ripple 0: the maximally flat poles
    if (ripple != 0.0) {
        const double x = std::pow(10.0, ripple / 10.0);
        const double v = arccosh((1.0 + x) / (x - 1.0)) / (2.0 * n);
        sh = std::sinh(v);
        ch = std::cosh(v);
        if (!std::isfinite(sh) || !std::isfinite(ch))
            return no_finite_poles();
    }
    rootlist r = new_rootlist(m);
    for (int k = 0; k < n / 2; k++) {
        const double theta = (2 * k + 1) * M_PI / (2.0 * n);
        r.roots[m - 1 - k] = cmake(-sh * std::sin(theta), ch * std::cos(theta));
    }
    if (n % 2)
        r.roots[0] = cmake(-sh, 0.0);
    ss s = poly_to_filter(r);
    free_rootlist(&r);
    return finite_or_nothing(s);
}

ss butterworth(int n)
{
    if (n < 1) {
        error("order must be larger than zero");
        return new_ss(0);
    }
    ss s = new_ss(n);
    if (n == 1) {
        matrix_set(s.A, 0, 0, -1.0);
        matrix_set(s.B, 0, 0, 1.0);
    } else {
        for (int i = 0; i < n; i++) {
            const double g = 2.0 * std::sin((2 * i + 1) * M_PI / (2.0 * n));
            if (i == 0) {
                matrix_set(s.A, 0, 0, -1.0 / g);
                matrix_set(s.A, 0, 1, 1.0 / g);
                matrix_set(s.B, 0, 0, 2.0 / g);
            } else if (i < n - 1) {
                matrix_set(s.A, i, i - 1, -1.0 / g);
                matrix_set(s.A, i, i + 1, 1.0 / g);
            } else {
                matrix_set(s.A, i, i - 1, -1.0 / g);
                matrix_set(s.A, i, i, -1.0 / g);
            }
        }
    }
    // At DC the ladder states alternate in sign: the last one is -u for even
    // n, so the output takes the sign that gives H(0) = 1.
    matrix_set(s.C, 0, n - 1, n % 2 ? 1.0 : -1.0);
    return s;
}

ss cauer(int n, double ripple, double band_limit)
{
    if (n < 1) {
        error("order must be larger than zero");
        return new_ss(0);
    }
    if (!(ripple > 0.0)) {
        error("ripple must be larger than zero");
        return new_ss(0);
    }
    const double ks = band_limit;
    if (!(ks > 1.0)) {
        error("band limit must be larger than one");
        return new_ss(0);
    }
    if (!order_allowed(n))
        return new_ss(0);
    const int m = n / 2;
    const double e = std::pow(10.0, ripple / 10.0) - 1.0;
    if (!(e > 0.0) || !std::isfinite(e))
        return no_finite_poles();
    // The zero places x_i = sn(u_i, 1/ks) and the zero frequencies
    // y_i = ks / x_i, rounded from 128 bits.
    double g = 1.0;
    std::vector<double> x(m), y(m);
    {
        mp_array xm(static_cast<std::size_t>(m) + 1, 128), t(1, 128);
        mp_elliptic_points(xm, n, ks);
        for (int i = 0; i < m; i++) {
            x[i] = mpfr_get_d(xm[i], MPFR_RNDN);
            mpfr_set_d(t[0], ks, MPFR_RNDN);
            mpfr_div(t[0], t[0], xm[i], MPFR_RNDN);
            y[i] = mpfr_get_d(t[0], MPFR_RNDN);
            g *= (1.0 - y[i] * y[i]) / (1.0 - x[i] * x[i]);
        }
    }
    if (!std::isfinite(g) || g == 0.0)
        return no_finite_poles();
    for (int i = 0; i < m; i++)
        if (!std::isfinite(y[i] * y[i]))
            return no_finite_poles();
    // The elliptic rational function R = g prod (w^2 - x_i^2) / (w^2 - y_i^2)
    // (times w for odd n); the poles are the left-half-plane roots of
    // PP + e c2 PZ, with PZ = prod (s^2 + x_i^2)^2 (times s^2 for odd n),
    // PP = prod (s^2 + y_i^2)^2 and c2 = g^2 (even n) or -g^2 (odd n):
    // 1 + e R^2 in s = j w, times the square of R's denominator. In u = s^2
    // it has degree n.
    const auto build = [&](mp_array &c) {
        const mpfr_prec_t bits = prec_of(c);
        mp_array pz(static_cast<std::size_t>(n) + 2, bits), v(3, bits), xs(static_cast<std::size_t>(m) + 1, bits);
        mp_elliptic_points(xs, n, ks);
        int dz = 0, dp = 0;
        mpfr_set_ui(pz[0], 1, MPFR_RNDN);
        mpfr_set_ui(c[0], 1, MPFR_RNDN);
        mpfr_set_ui(v[2], 1, MPFR_RNDN);  // g
        for (int i = 0; i < m; i++) {
            mpfr_sqr(v[0], xs[i], MPFR_RNDN);
            mp_mul_linear(pz, &dz, v[0], 2);
            mpfr_ui_sub(v[1], 1, v[0], MPFR_RNDN);
            mpfr_div(v[2], v[2], v[1], MPFR_RNDN);
            mpfr_set_d(v[0], ks, MPFR_RNDN);
            mpfr_div(v[0], v[0], xs[i], MPFR_RNDN);
            mpfr_sqr(v[0], v[0], MPFR_RNDN);
            mp_mul_linear(c, &dp, v[0], 2);
            mpfr_ui_sub(v[1], 1, v[0], MPFR_RNDN);
            mpfr_mul(v[2], v[2], v[1], MPFR_RNDN);
        }
        if (n % 2) {
            mpfr_set_zero(v[0], 1);
            mp_mul_linear(pz, &dz, v[0], 1);
        }
        // e c2 with e = 10^(ripple/10) - 1
        mpfr_sqr(v[2], v[2], MPFR_RNDN);
        if (n % 2)
            mpfr_neg(v[2], v[2], MPFR_RNDN);
        mp_db_excess(v[0], ripple);
        mpfr_mul(v[2], v[2], v[0], MPFR_RNDN);
        for (int i = dp + 1; i <= n; i++)
            mpfr_set_zero(c[i], 1);
        mp_add_ripple(c, pz, dz, v[2]);
    };
    std::vector<complex> roots;
    if (!poly_roots_mp(n, build, true, &roots)) {
        error("%s", unresolved_message);
        return new_ss(0);
    }

    std::vector<complex> kept;
    for (const complex &r : roots)
        if (r.re < 0.0 && r.im >= 0.0)
            kept.push_back(r);
    sort_by_real_part(kept);
    // One root per pole pair and, for odd n, the real pole, all left of
    // the j-axis.
    bool usable = (int)kept.size() == (n + 1) / 2 && (int)roots.size() == n;
    for (const complex &r : roots)
        usable = usable && r.re < 0.0;
    if (!usable) {
        error("no stable poles found for these arguments");
        return new_ss(0);
    }

    pz_new();
    int next_zero = m - 1;  // zeros handed out from the last to the first
    size_t first = 0;
    if (n % 2) {
        // The real pole has no zero and goes last.
        for (size_t i = 0; i < kept.size(); i++)
            if (kept[i].im == 0.0) {
                first = i;
                break;
            }
    }
    for (size_t i = 0; i < kept.size(); i++) {
        if (n % 2 && i == first)
            continue;
        pz_add_pole(kept[i].re, kept[i].im);
        if (kept[i].im != 0.0 && next_zero >= 0)
            pz_add_zero(0.0, y[next_zero--]);
    }
    if (n % 2 && !kept.empty())
        pz_add_pole(kept[first].re, kept[first].im);
    ss s = pz_cascade();
    pz_free();
    return finite_or_nothing(s);
}

ss bessel(int n)
{
    if (n < 1)
        fatal("Order of Bessel filter must be positive");
    if (!order_allowed(n))
        return new_ss(0);
    // Every root of the reverse Bessel polynomial lies left of the j-axis.
    std::vector<complex> poles;
    const bool found = poly_roots_mp(n, [n](mp_array &c) { mp_bessel(c, n); }, false, &poles);
    return stable_poles_to_filter(found, poles);
}

ss gauss(int n)
{
    if (n < 1)
        fatal("Order of Gauss filter must be positive");
    return spectral_poles_to_filter(n, [n](mp_array &c) { mp_gauss(c, n); });
}

ss tgauss(int n, double ripple, double damping)
{
    if (n < 1)
        fatal("Order of Gauss filter must be positive");
    if (ripple < 0.0)
        fatal("Ripple must be positive");
    if (!(damping > 0.0))
        fatal("Damping must be positive");
    if (!std::isfinite(std::pow(10.0, ripple / 10.0)))
        return no_finite_poles();
    // q(w) = exp2 Taylor polynomial + (10^(ripple/10) - 1) T_n(w / a)^2
    // with a = sqrt(ln(10) damping / 20).
    return spectral_poles_to_filter(n, [=](mp_array &c) {
        const mpfr_prec_t bits = prec_of(c);
        mp_array sq(static_cast<std::size_t>(n) + 1, bits), v(2, bits);
        mpfr_log_ui(v[0], 10, MPFR_RNDN);
        mpfr_mul_d(v[0], v[0], damping, MPFR_RNDN);
        mpfr_div_ui(v[0], v[0], 20, MPFR_RNDN);
        mpfr_sqrt(v[0], v[0], MPFR_RNDN);
        mp_chebyshev_square(sq, n, v[0]);
        mp_gauss(c, n);
        mp_db_excess(v[1], ripple);
        mp_add_ripple(c, sq, n, v[1]);
    });
}

ss bessel_chebyshev(int n, double ripple, double damping)
{
    if (n < 1)
        fatal("Order of filter must be positive");
    if (ripple < 0.0)
        fatal("Ripple must be positive");
    if (!(damping > 0.0))
        fatal("Damping must be positive");
    if (!std::isfinite(std::pow(10.0, ripple / 10.0)) || !std::isfinite(std::pow(10.0, damping / 10.0)))
        return no_finite_poles();
    return spectral_poles_to_filter(n, [=](mp_array &c) {
        const mpfr_prec_t bits = prec_of(c);
        const std::size_t m = static_cast<std::size_t>(n) + 1;
        mp_array b(m, bits), sq(m, bits), v(8, bits);
        mp_bessel(b, n);
        // |B(jw)|^2 / B(0)^2 in u = -w^2: coefficient i is that of s^(2i)
        // in B(s) B(-s), over B(0)^2.
        mpfr_sqr(v[0], b[0], MPFR_RNDN);
        for (int i = 0; i <= n; i++) {
            mpfr_set_zero(c[i], 1);
            for (int j = std::max(0, 2 * i - n); j <= std::min(n, 2 * i); j++) {
                mpfr_mul(v[1], b[j], b[2 * i - j], MPFR_RNDN);
                if ((2 * i - j) % 2)
                    mpfr_sub(c[i], c[i], v[1], MPFR_RNDN);
                else
                    mpfr_add(c[i], c[i], v[1], MPFR_RNDN);
            }
            mpfr_div(c[i], c[i], v[0], MPFR_RNDN);
        }
        // x0 > 0 where |B(j x0)|^2 / B(0)^2 = 10^(damping/10): Newton's
        // method kept inside a bracket [lo, hi] (bisection when a step
        // leaves it). The function rises and is convex for x > 0.
        mpfr_ptr target = v[0], lo = v[1], hi = v[2], x = v[3], f = v[4], u = v[5], df = v[6], step = v[7];
        mpfr_log_ui(target, 10, MPFR_RNDN);
        mpfr_mul_d(target, target, damping / 10.0, MPFR_RNDN);
        mpfr_exp(target, target, MPFR_RNDN);
        mp_array dc(m, bits);
        for (int i = 1; i <= n; i++)
            mpfr_mul_ui(dc[i - 1], c[i], static_cast<unsigned long>(i), MPFR_RNDN);  // d/du
        auto value = [&](mpfr_srcptr at) {
            mpfr_sqr(u, at, MPFR_RNDN);
            mpfr_neg(u, u, MPFR_RNDN);
            mp_eval(f, c, n, u);
            mpfr_sub(f, f, target, MPFR_RNDN);
        };
        mpfr_set_zero(lo, 1);
        mpfr_set_ui(hi, 1, MPFR_RNDN);
        for (value(hi); mpfr_sgn(f) < 0 && mpfr_number_p(hi); value(hi))
            mpfr_mul_2ui(hi, hi, 1, MPFR_RNDN);
        mpfr_set(x, hi, MPFR_RNDN);
        for (int it = 0; it < 4 * static_cast<int>(bits); it++) {
            value(x);
            if (mpfr_sgn(f) < 0)
                mpfr_set(lo, x, MPFR_RNDN);
            else
                mpfr_set(hi, x, MPFR_RNDN);
            // dP/dx = -2x P'(u)
            mp_eval(df, dc, n - 1, u);
            mpfr_mul(df, df, x, MPFR_RNDN);
            mpfr_mul_si(df, df, -2, MPFR_RNDN);
            mpfr_div(step, f, df, MPFR_RNDN);
            mpfr_sub(step, x, step, MPFR_RNDN);
            if (!(mpfr_cmp(step, lo) > 0 && mpfr_cmp(step, hi) < 0)) {
                mpfr_add(step, lo, hi, MPFR_RNDN);
                mpfr_div_2ui(step, step, 1, MPFR_RNDN);
            }
            mpfr_sub(f, step, x, MPFR_RNDN);
            mpfr_swap(x, step);
            if (mpfr_zero_p(f) || mpfr_get_exp(f) < mpfr_get_exp(x) - static_cast<mpfr_exp_t>(bits) + 4)
                break;
        }
        mp_chebyshev_square(sq, n, x);
        mp_db_excess(v[0], ripple);
        mp_add_ripple(c, sq, n, v[0]);
    });
}

ss ic_approx(int n, double damping)
{
    if (n < 1) {
        error("order must be larger than zero");
        return new_ss(0);
    }
    if (!(damping > 0.0)) {
        error("damping must be positive");
        return new_ss(0);
    }
    const double x = std::pow(10.0, damping / 10.0);
    const double v = arccosh(2.0 * x - 1.0) / (2.0 * n);
    const double sh = std::sinh(v), ch = std::cosh(v);
    if (!(sh > 0.0) || !std::isfinite(sh) || !std::isfinite(ch))
        return no_finite_poles();
    pz_new();
    for (int k = 0; k < n / 2; k++) {
        const double theta = (2 * k + 1) * M_PI / (2.0 * n);
        const double qr = -sh * std::sin(theta), qi = ch * std::cos(theta);
        const double q2 = qr * qr + qi * qi;
        pz_add_pole(qr / q2, qi / q2);
        pz_add_zero(0.0, 1.0 / std::cos(theta));
    }
    if (n % 2)
        pz_add_pole(-1.0 / sh, 0.0);
    ss s = pz_cascade();
    pz_free();
    return finite_or_nothing(s);
}

ss chebyshev_ladder(int n, double ripple)
{
    if (n < 1) {
        error("order must be larger than zero");
        return new_ss(0);
    }
    double sh = 1.0, ch = 1.0;
    if (ripple != 0.0) {
        const double x = std::pow(10.0, ripple / 10.0);
        const double v = arccosh((1.0 + x) / (x - 1.0)) / (2.0 * n);
        sh = std::sinh(v);
        ch = std::cosh(v);
    }
    ss s = new_ss(n);
    // Blocks from the bottom of A upward, each driven by the output of the
    // one above with the gain that makes its DC gain 1.
    for (int j = 0; j < n / 2; j++) {
        const int k = n - 2 - 2 * j;
        const double theta = (2 * j + 1) * M_PI / (2.0 * n);
        const double sg = -sh * std::sin(theta), om = ch * std::cos(theta);
        matrix_set(s.A, k, k, sg);
        matrix_set(s.A, k + 1, k + 1, sg);
        matrix_set(s.A, k, k + 1, -om);
        matrix_set(s.A, k + 1, k, om);
        const double gain = (sg * sg + om * om) / om;
        if (k > 0)
            matrix_set(s.A, k, k - 1, gain);
        else
            matrix_set(s.B, 0, 0, gain);
    }
    if (n % 2) {
        matrix_set(s.A, 0, 0, -sh);
        matrix_set(s.B, 0, 0, sh);
    }
    matrix_set(s.C, 0, n - 1, 1.0);
    return s;
}
