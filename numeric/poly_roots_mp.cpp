// Roots of real polynomials in MPFR by the Ehrlich-Aberth iteration.
//
// A first pass in long double on the polynomial scaled to roots of size
// about 1 gives starting points; the iteration then goes on in MPFR, where
// only the Newton quotient p/p' needs the full precision (the sum over the
// other roots enters the correction to second order and is taken in long
// double). A root z is known when the disk around it of radius
// n (|p(z)| + E) / (|p'(z)| - E'), with E and E' bounds of the evaluation
// errors, is at most 2^-64 of |z| and meets no other root's disk: such a
// disk holds a root of the polynomial, and n disjoint disks hold one each.
// The precision is raised until that holds, then raised once more by 64
// bits, and the roots are taken only when the two agree, so that the
// rounding of the coefficients by the builder cannot move them either.
#include "numeric/poly_roots_mp.h"

#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <memory>
#include <numbers>
#include <vector>

namespace {

using ldc = std::complex<long double>;

constexpr mpfr_prec_t start_bits = 128;
constexpr mpfr_prec_t max_bits = 8192;
// multiplications times the bits of their operands: some 20 s
constexpr double max_work = 6e10;
constexpr int proof_bits = 64;  // each root's disk within 2^-64 of its size

// log2 |x|; -inf for 0.
double log2_abs(mpfr_srcptr x)
{
    if (mpfr_zero_p(x))
        return -INFINITY;
    long e = 0;
    const double m = mpfr_get_d_2exp(&e, x, MPFR_RNDN);
    return std::log2(std::fabs(m)) + static_cast<double>(e);
}

// Starting points: the Ehrlich-Aberth iteration in long double on the
// coefficients scaled to roots of size about 1 (x = 2^ls t), from points on
// the unit circle.
std::vector<ldc> start_points(const mp_array &c, int n, double *ls, double *lcond)
{
    // The geometric mean of the root sizes, 2^ls.
    const double l0 = log2_abs(c[0]), ln = log2_abs(c[n]);
    *ls = std::isfinite(l0) ? (l0 - ln) / n : 0.0;
    std::vector<double> lk(n + 1);
    double top = -INFINITY;
    for (int k = 0; k <= n; k++) {
        lk[k] = log2_abs(c[k]) + k * *ls;
        top = std::max(top, lk[k]);
    }
    std::vector<long double> d(n + 1);
    for (int k = 0; k <= n; k++)
        d[k] = mpfr_zero_p(c[k]) ? 0.0L : std::copysign(std::exp2l(lk[k] - top), mpfr_sgn(c[k]) < 0 ? -1.0L : 1.0L);

    std::vector<ldc> t(n);
    for (int k = 0; k < n; k++)
        t[k] = std::polar(1.0L, 2.0L * std::numbers::pi_v<long double> * k / n + 0.4L);
    std::vector<char> done(n, 0);
    std::vector<long double> last(n, INFINITY);
    for (int it = 0; it < 150; it++) {
        bool all = true;
        for (int i = 0; i < n; i++) {
            if (done[i])
                continue;
            ldc p = d[n], dp = 0.0L;
            for (int k = n - 1; k >= 0; k--) {
                dp = dp * t[i] + p;
                p = p * t[i] + d[k];
            }
            if (p == 0.0L) {
                done[i] = 1;
                continue;
            }
            all = false;
            ldc sum = 0.0L;
            for (int j = 0; j < n; j++)
                if (j != i)
                    sum += 1.0L / (t[i] - t[j]);
            const ldc ratio = dp != 0.0L ? p / dp : ldc(1e-3L);
            const ldc w = ratio / (1.0L - ratio * sum);
            if (!std::isfinite(w.real()) || !std::isfinite(w.imag()))
                continue;
            t[i] -= w;
            const long double rel = std::abs(w) / std::max(std::abs(t[i]), 1e-300L);
            // Converged, or at the floor that the rounding leaves.
            if (rel <= 1e-17L || (rel < 1e-9L && rel > 0.5L * last[i]))
                done[i] = 1;
            last[i] = rel;
        }
        if (all)
            break;
    }
    // log2 of the largest condition number sum |d_k| |t|^k / (|t| |p'(t)|)
    // at the points found: the bits the roots cost beyond their own.
    *lcond = 0.0;
    for (int i = 0; i < n; i++) {
        const long double at = std::abs(t[i]);
        long double s = std::fabs(d[n]);
        ldc dp = 0.0L, p = d[n];
        for (int k = n - 1; k >= 0; k--) {
            dp = dp * t[i] + p;
            p = p * t[i] + d[k];
            s = s * at + std::fabs(d[k]);
        }
        const long double den = at * std::abs(dp);
        if (den > 0.0L && std::isfinite(s))
            *lcond = std::max(*lcond, static_cast<double>(std::log2(s / den)));
    }
    return t;
}

// MPFR working storage of the iteration at one precision.
struct mp_work {
    int n;
    mpfr_prec_t bits;
    mp_array zr, zi;  // the roots
    mp_array t;       // temporaries
    mp_work(int n_, mpfr_prec_t b) : n(n_), bits(b), zr(n_, b), zi(n_, b), t(12, b) {}
};

// p(z) and p'(z) by Horner's scheme, into pr, pi, dr, di.
void horner(const mp_array &c, int n, mpfr_srcptr zr, mpfr_srcptr zi, mpfr_ptr pr, mpfr_ptr pi, mpfr_ptr dr,
            mpfr_ptr di, mpfr_ptr t1, mpfr_ptr t2)
{
    mpfr_set(pr, c[n], MPFR_RNDN);
    mpfr_set_zero(pi, 1);
    mpfr_set_zero(dr, 1);
    mpfr_set_zero(di, 1);
    for (int k = n - 1; k >= 0; k--) {
        mpfr_fmms(t1, dr, zr, di, zi, MPFR_RNDN);
        mpfr_fmma(t2, dr, zi, di, zr, MPFR_RNDN);
        mpfr_add(dr, t1, pr, MPFR_RNDN);
        mpfr_add(di, t2, pi, MPFR_RNDN);
        mpfr_fmms(t1, pr, zr, pi, zi, MPFR_RNDN);
        mpfr_fmma(t2, pr, zi, pi, zr, MPFR_RNDN);
        mpfr_add(pr, t1, c[k], MPFR_RNDN);
        mpfr_swap(pi, t2);
    }
}

ldc to_ld(mpfr_srcptr re, mpfr_srcptr im)
{
    return ldc(mpfr_get_ld(re, MPFR_RNDN), mpfr_get_ld(im, MPFR_RNDN));
}

// The iteration at the precision of w, from the roots it holds, until
// every root has either converged to the precision or reached the floor
// where the rounding of p(z) is as large as p(z) itself, or until the work
// (multiplications times their bits) reaches `budget`. Returns the work.
double aberth_mp(const mp_array &c, mp_work &w, double budget)
{
    const int n = w.n;
    mpfr_ptr pr = w.t[0], pi = w.t[1], dr = w.t[2], di = w.t[3], t1 = w.t[4], t2 = w.t[5];
    mpfr_ptr rr = w.t[6], ri = w.t[7], fr = w.t[8], fi = w.t[9], den = w.t[10], t3 = w.t[11];
    // |c_k| and the sum of |c_k| |z|^k at low precision, for the floor
    mp_array ac(static_cast<std::size_t>(n) + 1, 53), lo(2, 53);
    for (int k = 0; k <= n; k++)
        mpfr_abs(ac[k], c[k], MPFR_RNDU);
    const double lerr = std::log2(8.0 * n + 16.0) - static_cast<double>(w.bits) + 3.0;
    std::vector<ldc> z(n);
    for (int i = 0; i < n; i++)
        z[i] = to_ld(w.zr[i], w.zi[i]);
    std::vector<char> done(n, 0);
    const double goal = -static_cast<double>(w.bits) + 8.0;
    double work = 0.0;
    for (int it = 0; it < 500; it++) {
        bool all = true;
        for (int i = 0; i < n; i++) {
            if (done[i])
                continue;
            if (work > budget)
                return work;
            work += 8.0 * n * static_cast<double>(w.bits);
            horner(c, n, w.zr[i], w.zi[i], pr, pi, dr, di, t1, t2);
            mpfr_hypot(lo[0], w.zr[i], w.zi[i], MPFR_RNDU);
            mpfr_set(lo[1], ac[n], MPFR_RNDU);
            for (int k = n - 1; k >= 0; k--) {
                mpfr_mul(lo[1], lo[1], lo[0], MPFR_RNDU);
                mpfr_add(lo[1], lo[1], ac[k], MPFR_RNDU);
            }
            mpfr_hypot(t3, pr, pi, MPFR_RNDN);
            if (mpfr_zero_p(t3) || log2_abs(t3) <= log2_abs(lo[1]) + lerr) {
                done[i] = 1;  // at the floor
                continue;
            }
            mpfr_fmma(den, dr, dr, di, di, MPFR_RNDN);
            if (mpfr_zero_p(den)) {
                done[i] = 1;
                continue;
            }
            all = false;
            // ratio = p / p'
            mpfr_fmma(rr, pr, dr, pi, di, MPFR_RNDN);
            mpfr_fmms(ri, pi, dr, pr, di, MPFR_RNDN);
            mpfr_div(rr, rr, den, MPFR_RNDN);
            mpfr_div(ri, ri, den, MPFR_RNDN);
            ldc sum = 0.0L;
            for (int j = 0; j < n; j++)
                if (j != i)
                    sum += 1.0L / (z[i] - z[j]);
            // Two roots that long double does not tell apart: a Newton step.
            if (!std::isfinite(sum.real()) || !std::isfinite(sum.imag()))
                sum = 0.0L;
            // correction = ratio / (1 - ratio sum)
            mpfr_set_ld(t1, sum.real(), MPFR_RNDN);
            mpfr_set_ld(t2, sum.imag(), MPFR_RNDN);
            mpfr_fmms(fr, rr, t1, ri, t2, MPFR_RNDN);
            mpfr_fmma(fi, rr, t2, ri, t1, MPFR_RNDN);
            mpfr_ui_sub(fr, 1, fr, MPFR_RNDN);
            mpfr_neg(fi, fi, MPFR_RNDN);
            mpfr_fmma(den, fr, fr, fi, fi, MPFR_RNDN);
            if (mpfr_zero_p(den)) {
                done[i] = 1;
                continue;
            }
            mpfr_fmma(t1, rr, fr, ri, fi, MPFR_RNDN);
            mpfr_fmms(t2, ri, fr, rr, fi, MPFR_RNDN);
            mpfr_div(t1, t1, den, MPFR_RNDN);
            mpfr_div(t2, t2, den, MPFR_RNDN);
            mpfr_sub(w.zr[i], w.zr[i], t1, MPFR_RNDN);
            mpfr_sub(w.zi[i], w.zi[i], t2, MPFR_RNDN);
            z[i] = to_ld(w.zr[i], w.zi[i]);
            // converged: the correction below the precision
            mpfr_hypot(t3, t1, t2, MPFR_RNDN);
            mpfr_hypot(den, w.zr[i], w.zi[i], MPFR_RNDN);
            if (!(log2_abs(t3) - log2_abs(den) > goal))
                done[i] = 1;
        }
        if (all)
            break;
    }
    return work;
}

// log2 of the radius of each root's disk relative to the root's size, and
// the radius itself as a double (0 when it underflows).
void radii(const mp_array &c, mp_work &w, std::vector<double> *lrel, std::vector<double> *rad)
{
    const int n = w.n;
    mpfr_ptr pr = w.t[0], pi = w.t[1], dr = w.t[2], di = w.t[3], t1 = w.t[4], t2 = w.t[5];
    mp_array a(6, 64);
    mpfr_ptr az = a[0], s = a[1], ds = a[2], num = a[3], dd = a[4], ac = a[5];
    lrel->assign(n, INFINITY);
    rad->assign(n, INFINITY);
    // Horner's scheme in complex arithmetic, with rounded coefficients, is
    // within (8n + 16) 2^-bits of the sum of |c_k| |z|^k of the true value.
    const double eps_log = std::log2(8.0 * n + 16.0) - static_cast<double>(w.bits);
    for (int i = 0; i < n; i++) {
        horner(c, n, w.zr[i], w.zi[i], pr, pi, dr, di, t1, t2);
        mpfr_hypot(az, w.zr[i], w.zi[i], MPFR_RNDU);
        mpfr_abs(s, c[n], MPFR_RNDU);
        mpfr_set_zero(ds, 1);
        for (int k = n - 1; k >= 0; k--) {
            mpfr_mul(ds, ds, az, MPFR_RNDU);
            mpfr_add(ds, ds, s, MPFR_RNDU);
            mpfr_mul(s, s, az, MPFR_RNDU);
            mpfr_abs(ac, c[k], MPFR_RNDU);
            mpfr_add(s, s, ac, MPFR_RNDU);
        }
        // |p| + E and |p'| - E'
        mpfr_hypot(num, pr, pi, MPFR_RNDU);
        mpfr_set_d(ac, eps_log, MPFR_RNDU);
        mpfr_exp2(ac, ac, MPFR_RNDU);
        mpfr_mul(s, s, ac, MPFR_RNDU);
        mpfr_add(num, num, s, MPFR_RNDU);
        mpfr_hypot(dd, dr, di, MPFR_RNDD);
        mpfr_mul(ds, ds, ac, MPFR_RNDU);
        mpfr_sub(dd, dd, ds, MPFR_RNDD);
        if (mpfr_sgn(dd) <= 0)
            continue;
        mpfr_div(num, num, dd, MPFR_RNDU);
        mpfr_mul_ui(num, num, static_cast<unsigned long>(n), MPFR_RNDU);
        (*rad)[i] = mpfr_get_d(num, MPFR_RNDU);
        (*lrel)[i] = mpfr_zero_p(az) ? log2_abs(num) : log2_abs(num) - log2_abs(az);
    }
}

// Every disk small enough and apart from the others.
bool resolved(const mp_work &w, const std::vector<double> &lrel, const std::vector<double> &rad)
{
    const int n = w.n;
    std::vector<std::complex<double>> z(n);
    for (int i = 0; i < n; i++) {
        if (!(lrel[i] <= -proof_bits))
            return false;
        z[i] = {mpfr_get_d(w.zr[i], MPFR_RNDN), mpfr_get_d(w.zi[i], MPFR_RNDN)};
    }
    for (int i = 0; i < n; i++)
        for (int j = 0; j < i; j++) {
            const double margin = 4e-16 * std::max(std::abs(z[i]), std::abs(z[j]));
            if (!(std::abs(z[i] - z[j]) > rad[i] + rad[j] + margin))
                return false;
        }
    return true;
}

// The roots of two precisions within 2^-60 of each other.
bool agree(const mp_work &w, const mp_work &prev)
{
    mp_array a(3, w.bits);
    for (int i = 0; i < w.n; i++) {
        mpfr_sub(a[0], w.zr[i], prev.zr[i], MPFR_RNDN);
        mpfr_sub(a[1], w.zi[i], prev.zi[i], MPFR_RNDN);
        mpfr_hypot(a[0], a[0], a[1], MPFR_RNDN);
        mpfr_hypot(a[2], w.zr[i], w.zi[i], MPFR_RNDN);
        if (!mpfr_zero_p(a[0]) && !(log2_abs(a[0]) - log2_abs(a[2]) <= -60.0))
            return false;
    }
    return true;
}

// The root i rounded to double; of a square, its square root with real
// part <= 0.
complex round_root(const mp_work &w, int i, bool real, bool of_square)
{
    if (!of_square)
        return complex{mpfr_get_d(w.zr[i], MPFR_RNDN), real ? 0.0 : mpfr_get_d(w.zi[i], MPFR_RNDN)};
    mp_array a(4, w.bits);
    mpfr_ptr ur = a[0], ui = a[1], m = a[2], t = a[3];
    mpfr_set(ur, w.zr[i], MPFR_RNDN);
    mpfr_set(ui, w.zi[i], MPFR_RNDN);
    if (real) {
        const bool neg = mpfr_sgn(ur) < 0;
        mpfr_abs(t, ur, MPFR_RNDN);
        mpfr_sqrt(t, t, MPFR_RNDN);
        return neg ? complex{0.0, mpfr_get_d(t, MPFR_RNDN)} : complex{-mpfr_get_d(t, MPFR_RNDN), 0.0};
    }
    // sqrt(u) = x + jy with x = sqrt((|u| + Re u) / 2) and y = Im u / (2x),
    // or the other way round for Re u < 0 (no cancellation either way).
    mpfr_hypot(m, ur, ui, MPFR_RNDN);
    const bool left = mpfr_sgn(ur) < 0;
    if (!left)
        mpfr_add(t, m, ur, MPFR_RNDN);
    else
        mpfr_sub(t, m, ur, MPFR_RNDN);
    mpfr_div_2ui(t, t, 1, MPFR_RNDN);
    mpfr_sqrt(t, t, MPFR_RNDN);  // x (or |y|)
    mpfr_div(m, ui, t, MPFR_RNDN);
    mpfr_div_2ui(m, m, 1, MPFR_RNDN);  // y (or x times the sign of Im u)
    double x, y;
    if (!left) {
        x = mpfr_get_d(t, MPFR_RNDN);
        y = mpfr_get_d(m, MPFR_RNDN);
    } else {
        y = mpfr_sgn(ui) < 0 ? -mpfr_get_d(t, MPFR_RNDN) : mpfr_get_d(t, MPFR_RNDN);
        x = std::fabs(mpfr_get_d(m, MPFR_RNDN));
    }
    // The root with real part <= 0.
    return x > 0.0 ? complex{-x, -y} : complex{x, y};
}

}  // namespace

bool poly_roots_mp(int n, const mp_poly_builder &build, bool of_square, std::vector<complex> *roots)
{
    roots->clear();
    if (n < 1)
        return n == 0;
    mpfr_prec_t bits = start_bits;
    mp_array c0(static_cast<std::size_t>(n) + 1, bits);
    build(c0);
    for (int k = 0; k <= n; k++)
        if (!mpfr_number_p(c0[k]))
            return false;
    if (mpfr_zero_p(c0[n]))
        return false;
    double ls = 0.0, lcond = 0.0;
    const std::vector<ldc> t = start_points(c0, n, &ls, &lcond);
    {
        const double need = lcond + proof_bits + std::log2(8.0 * n + 16.0) + 16.0;
        if (need > static_cast<double>(bits))
            bits = static_cast<mpfr_prec_t>(64.0 * std::ceil(std::min(need, static_cast<double>(max_bits)) / 64.0));
    }

    std::unique_ptr<mp_work> w = std::make_unique<mp_work>(n, bits), prev;
    {
        mp_array a(2, bits);
        mpfr_set_d(a[0], ls, MPFR_RNDN);
        mpfr_exp2(a[0], a[0], MPFR_RNDN);
        for (int i = 0; i < n; i++) {
            mpfr_set_ld(a[1], t[i].real(), MPFR_RNDN);
            mpfr_mul(w->zr[i], a[1], a[0], MPFR_RNDN);
            mpfr_set_ld(a[1], t[i].imag(), MPFR_RNDN);
            mpfr_mul(w->zi[i], a[1], a[0], MPFR_RNDN);
        }
    }
    std::vector<double> lrel, rad;
    bool ok = false;
    double work = 0.0;
    // Once the disks are small (below 2^-40 of the roots), those of simple
    // roots shrink by the bits added, those of a double root by half of them
    // (of a root of multiplicity m by 1/m): two passes in a row that gain
    // less than 3/4 of the bits end the search.
    double last_worst = INFINITY;
    mpfr_prec_t last_bits = 0;
    int slow = 0;
    for (;;) {
        mp_array c(static_cast<std::size_t>(n) + 1, bits);
        build(c);
        work += aberth_mp(c, *w, max_work - work);
        radii(c, *w, &lrel, &rad);
        if (resolved(*w, lrel, rad)) {
            if (prev && agree(*w, *prev)) {
                ok = true;
                break;
            }
            prev = std::move(w);
            bits += 64;
        } else {
            // Too few bits for the roots: as many more as the disks miss
            // by, or twice as many where the disks say nothing.
            double worst = -INFINITY;
            for (double l : lrel)
                worst = std::max(worst, l);
            if (last_worst < -40.0 && worst < -40.0 &&
                last_worst - worst < 0.75 * static_cast<double>(bits - last_bits)) {
                if (++slow >= 2)
                    break;
            } else
                slow = 0;
            last_worst = worst;
            last_bits = bits;
            prev.reset();
            const double more = std::isfinite(worst) && worst < 0.0 ? worst + proof_bits + 32.0 : 3.0 * bits;
            bits += static_cast<mpfr_prec_t>(std::clamp(more, 64.0, static_cast<double>(max_bits)));
        }
        // A multiple or nearly multiple root is never resolved: the slow
        // shrinking of its disk, or else the bound on the work, ends the
        // search.
        if (bits > max_bits || work > max_work)
            break;
        auto next = std::make_unique<mp_work>(n, bits);
        const mp_work &from = prev ? *prev : *w;
        for (int i = 0; i < n; i++) {
            mpfr_set(next->zr[i], from.zr[i], MPFR_RNDN);
            mpfr_set(next->zi[i], from.zi[i], MPFR_RNDN);
        }
        w = std::move(next);
    }
    if (ok) {
        // Real roots: the disk meets the real axis. Complex ones come in
        // conjugate pairs, the lower one listed as the exact conjugate of
        // the upper.
        std::vector<int> partner(n, -1);
        std::vector<char> real(n, 0);
        for (int i = 0; i < n; i++) {
            const double im = mpfr_get_d(w->zi[i], MPFR_RNDN);
            real[i] = std::fabs(im) <= rad[i];
        }
        for (int i = 0; i < n && ok; i++) {
            if (real[i] || partner[i] >= 0 || mpfr_sgn(w->zi[i]) < 0)
                continue;
            const std::complex<double> zc(mpfr_get_d(w->zr[i], MPFR_RNDN), -mpfr_get_d(w->zi[i], MPFR_RNDN));
            int best = -1;
            double bd = INFINITY;
            for (int j = 0; j < n; j++) {
                if (j == i || real[j] || partner[j] >= 0 || mpfr_sgn(w->zi[j]) > 0)
                    continue;
                const double d =
                    std::abs(zc - std::complex<double>(mpfr_get_d(w->zr[j], MPFR_RNDN), mpfr_get_d(w->zi[j], MPFR_RNDN)));
                if (d < bd) {
                    bd = d;
                    best = j;
                }
            }
            if (best < 0 || !(bd <= rad[i] + rad[best] + 4e-16 * std::abs(zc)))
                ok = false;
            else {
                partner[i] = best;
                partner[best] = i;
            }
        }
        for (int i = 0; i < n && ok; i++)
            if (!real[i] && partner[i] < 0)
                ok = false;
        if (ok) {
            std::vector<complex> r(n);
            for (int i = 0; i < n; i++)
                if (real[i] || mpfr_sgn(w->zi[i]) > 0)
                    r[i] = round_root(*w, i, real[i], of_square);
            for (int i = 0; i < n; i++)
                if (!real[i] && mpfr_sgn(w->zi[i]) < 0)
                    r[i] = complex{r[partner[i]].re, -r[partner[i]].im};
            *roots = r;
        }
    }
    return ok;
}
