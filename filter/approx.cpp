// Classical lowpass approximations realised as cascades of sections (or,
// for the maximally flat case, as a tridiagonal ladder).
#include "filter/approx.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "filter/pzlist.h"
#include "base/error.h"
#include "numeric/complex.h"
#include "base/elliptic.h"
#include "numeric/matrix.h"
#include "numeric/poly.h"

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

// The Chebyshev polynomial T_n(x / a): coefficient i divided by a^i.
poly scaled_chebyshev(int n, double a)
{
    poly t = ChebyshevPoly(n);
    double f = 1.0;
    for (int i = 1; i <= t.degree; i++) {
        f *= a;
        t.coef[i] /= f;
    }
    return t;
}

// p + (10^(ripple/10) - 1) T^2.
poly add_ripple(const poly &p, const poly &t, double ripple)
{
    poly t2 = poly_mul(t, t);
    poly q = poly_lincomb(1.0, p, std::pow(10.0, ripple / 10.0) - 1.0, t2);
    freepoly(&t2);
    return q;
}

// Arguments at the edge of double range (a ripple or damping whose
// 10^(x/10) overflows, or one so small that 10^(x/10) - 1 is 0, a band limit
// whose square overflows, an order whose polynomial coefficients overflow)
// give infinite or undefined poles. Such values must never reach the root
// finder or the current filter: the approximation reports that instead.
const char *const no_poles_message = "no finite poles for these arguments";

ss no_finite_poles()
{
    error("%s", no_poles_message);
    return new_ss(0);
}

bool poly_usable(const poly &p)
{
    for (int i = 0; i <= p.degree; i++)
        if (!std::isfinite(p.coef[i]))
            return false;
    return p.degree >= 0 && p.coef[p.degree] != 0.0;
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

poly gauss_poly(int n)
{
    poly p = newpoly(2 * n);
    double c = 1.0;  // 2^i / i!
    for (int i = 0; i <= n; i++) {
        p.coef[2 * i] = c;
        c *= 2.0 / (i + 1);
    }
    return p;
}

ss spectral_poles_to_filter(const poly &q, int n)
{
    if (!poly_usable(q))
        return no_finite_poles();
    rootlist roots = poly_root(q.coef, q.degree);
    // A root (a, b) of q in w with b <= 0 is the left-half-plane pole
    // s = b + j a.
    std::vector<complex> poles;
    for (int i = 0; i < roots.n && (int)poles.size() < n; i++)
        if (roots.roots[i].im <= 0.0)
            poles.push_back(cmake(roots.roots[i].im, roots.roots[i].re));
    free_rootlist(&roots);
    if ((int)poles.size() < n) {
        error("only %d of %d poles found", (int)poles.size(), n);
        return new_ss(0);
    }
    // q is positive on the real w axis, so none of its roots is real. One
    // that comes out real to within rounding (a pole on the j-axis) is an
    // artefact of a polynomial too ill-conditioned for the root finder, as
    // at high orders; such a pole set is no stable filter.
    for (complex p : poles)
        if (!(p.re < -1e-9 * cmod(p))) {
            error("no stable poles found for these arguments");
            return new_ss(0);
        }
    // Poles on the real axis come out of the root finder with an imaginary
    // part of rounding noise, of either sign. Count them as real; when the
    // noise exceeds the threshold, the unmatched members of one half plane
    // nearest to the axis are the real ones.
    std::vector<complex> upper, lower, real;
    for (complex p : poles) {
        const double thr = 1e-9 * cmod(p);
        if (p.im > thr)
            upper.push_back(p);
        else if (p.im < -thr)
            lower.push_back(p);
        else
            real.push_back(cmake(p.re, 0.0));
    }
    std::vector<complex> &more = upper.size() > lower.size() ? upper : lower;
    const size_t excess = upper.size() > lower.size() ? upper.size() - lower.size()
                                                      : lower.size() - upper.size();
    std::stable_sort(more.begin(), more.end(),
                     [](const complex &x, const complex &y) { return std::fabs(x.im) < std::fabs(y.im); });
    for (size_t i = 0; i < excess; i++)
        real.push_back(cmake(more[i].re, 0.0));
    more.erase(more.begin(), more.begin() + excess);

    // Each remaining upper pole stands for its pair.
    rootlist rl = new_rootlist((int)(upper.size() + real.size()));
    int k = 0;
    for (const complex &u : upper)
        rl.roots[k++] = u;
    for (const complex &r : real)
        rl.roots[k++] = r;
    ss s = poly_to_filter(rl);
    free_rootlist(&rl);
    return finite_or_nothing(s);
}

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
    const int m = n / 2;
    const double e = std::pow(10.0, ripple / 10.0) - 1.0;
    if (!(e > 0.0) || !std::isfinite(e))
        return no_finite_poles();
    const double k = 1.0 / ks;
    const double K = ellint_k(k);
    double g = 1.0;
    std::vector<double> x(m), y(m);
    for (int i = 0; i < m; i++) {
        const double u = (n % 2 == 0 ? 2 * i + 1 : 2 * i + 2) * K / n;
        x[i] = sn(u, k);
        y[i] = ks / x[i];  // the zero frequencies
        g *= (1.0 - y[i] * y[i]) / (1.0 - x[i] * x[i]);
    }
    // The elliptic rational function R = g prod (w^2 - x_i^2) / (w^2 - y_i^2)
    // (times w for odd n), written in s = j w: numerator PZ (squared) and
    // denominator PP (squared) of R^2.
    rootlist z = new_rootlist(2 * m + (n % 2 ? 2 : 0));
    rootlist p = new_rootlist(2 * m);
    for (int i = 0; i < m; i++) {
        z.roots[2 * i] = z.roots[2 * i + 1] = cmake(0.0, x[i]);
        p.roots[2 * i] = p.roots[2 * i + 1] = cmake(0.0, y[i]);
    }
    poly pz = poly_from_roots(z.roots, z.n);
    poly pp = poly_from_roots(p.roots, p.n);
    const double c2 = n % 2 == 0 ? g * g : -g * g;
    poly q = poly_lincomb(1.0, pp, e * c2, pz);
    if (!poly_usable(q)) {
        freepoly(&q);
        freepoly(&pp);
        freepoly(&pz);
        free_rootlist(&p);
        free_rootlist(&z);
        return no_finite_poles();
    }
    rootlist qr = poly_root(q.coef, q.degree);

    std::vector<complex> kept;
    for (int i = 0; i < qr.n; i++) {
        complex r = qr.roots[i];
        // The real pole may carry an imaginary part of rounding noise.
        if (std::fabs(r.im) <= 1e-9 * cmod(r))
            r.im = 0.0;
        if (r.re < 0.0 && r.im >= 0.0)
            kept.push_back(r);
    }
    sort_by_real_part(kept);
    // One root per pole pair and, for odd n, the real pole, all clearly left
    // of the j-axis. At high orders the root finder can lose or add roots or
    // put them on the axis; such a set is no filter of order n.
    bool usable = (int)kept.size() == (n + 1) / 2;
    for (const complex &r : kept)
        usable = usable && r.re < -1e-9 * cmod(r);
    if (!usable) {
        free_rootlist(&qr);
        freepoly(&q);
        freepoly(&pp);
        freepoly(&pz);
        free_rootlist(&p);
        free_rootlist(&z);
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
    free_rootlist(&qr);
    freepoly(&q);
    freepoly(&pp);
    freepoly(&pz);
    free_rootlist(&p);
    free_rootlist(&z);
    return finite_or_nothing(s);
}

ss bessel(int n)
{
    if (n < 1)
        fatal("Order of Bessel filter must be positive");
    poly b = BesselPoly(n);
    if (!poly_usable(b)) {
        freepoly(&b);
        return no_finite_poles();
    }
    rootlist r = poly_root(b.coef, n);
    // The Bessel poles lie in the left half plane; a root on or right of the
    // j-axis comes from a polynomial too ill-conditioned for the root
    // finder, as at high orders.
    for (int i = 0; i < r.n; i++)
        if (!(r.roots[i].re < -1e-9 * cmod(r.roots[i]))) {
            free_rootlist(&r);
            freepoly(&b);
            error("no stable poles found for these arguments");
            return new_ss(0);
        }
    ss s = poly_to_filter(r);
    free_rootlist(&r);
    freepoly(&b);
    return finite_or_nothing(s);
}

ss gauss(int n)
{
    if (n < 1)
        fatal("Order of Gauss filter must be positive");
    poly p = gauss_poly(n);
    ss s = spectral_poles_to_filter(p, n);
    freepoly(&p);
    return s;
}

ss tgauss(int n, double ripple, double damping)
{
    if (n < 1)
        fatal("Order of Gauss filter must be positive");
    if (ripple < 0.0)
        fatal("Ripple must be positive");
    if (!(damping > 0.0))
        fatal("Damping must be positive");
    poly p = gauss_poly(n);
    poly t = scaled_chebyshev(n, std::sqrt(std::log(10.0) * damping / 20.0));
    poly q = add_ripple(p, t, ripple);
    ss s = spectral_poles_to_filter(q, n);
    freepoly(&q);
    freepoly(&t);
    freepoly(&p);
    return s;
}

ss bessel_chebyshev(int n, double ripple, double damping)
{
    if (n < 1)
        fatal("Order of filter must be positive");
    if (ripple < 0.0)
        fatal("Ripple must be positive");
    if (!(damping > 0.0))
        fatal("Damping must be positive");
    poly b = BesselPoly(n);
    // |B(jx)|^2 / B(0)^2: B(s) B(-s) with s^2 = -x^2.
    poly p = poly_mirror_product(b);
    for (int i = 2; i <= p.degree; i += 4)
        p.coef[i] = -p.coef[i];
    const double p0 = p.coef[0];
    for (int i = 0; i <= p.degree; i++)
        p.coef[i] /= p0;
    const double x0 = poly_solve_level(p, std::pow(10.0, damping / 10.0));
    poly t = scaled_chebyshev(n, x0);
    poly q = add_ripple(p, t, ripple);
    ss s = spectral_poles_to_filter(q, n);
    freepoly(&q);
    freepoly(&t);
    freepoly(&p);
    freepoly(&b);
    return s;
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
