// The pole/zero list and the cascade of sections that realises it.
#include "filter/pzlist.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/error.h"
#include "base/getvar.h"
#include "numeric/matrix.h"

pz_state pz_list;

void pz_new()
{
    pz_free();
}

void pz_free()
{
    pz_list.entries = std::vector<pz_entry>();
}

void pz_add_pole(double re, double im)
{
    pz_entry e;
    e.pole_re = re;
    e.pole_im = std::fabs(im);
    checked_push(pz_list.entries, e, "poles and zeros");
}

void pz_add_zero(double re, double im)
{
    if (pz_list.entries.empty())
        fatal("trying to add zero with no pole defined");
    pz_entry &e = pz_list.entries.back();
    e.zero_re = re;
    e.zero_im = std::fabs(im);
    e.has_zero = 1;
}

// Second-order section of a pole pair p = pr +- j pi. The damping 2 pr is
// split as d : (1 - d) over the two integrators; the coupling a12 makes the
// determinant |p|^2. Written as a hypot, |p|^2 - a11 a22 = (pr (1 - 2d))^2
// + pi^2 cannot round to 0 (or below) for a complex pair.
static ss biquad(const pz_entry &e, double d)
{
    const double pr = e.pole_re, pi = e.pole_im;
    const double p2 = pr * pr + pi * pi;
    if (d < 0.0 || d > 1.0) {
        fprintf(stderr, "Warning: biquad-generation distribution parameter\n");
        fprintf(stderr, "is outside its normal [0:1] range.\n");
    }
    const double a11 = 2.0 * pr * d;
    const double a22 = 2.0 * pr * (1.0 - d);
    const double a12 = std::hypot(pr * (1.0 - 2.0 * d), pi);
    const double a21 = -a12;

    ss s = new_ss(2);
    matrix_set(s.A, 0, 0, a11);
    matrix_set(s.A, 0, 1, a12);
    matrix_set(s.A, 1, 0, a21);
    matrix_set(s.A, 1, 1, a22);
    matrix_set(s.C, 0, 1, 1.0);

    if (!e.has_zero) {
        // Unit gain at DC.
        matrix_set(s.B, 0, 0, p2 / a21);
        s.D = 0.0;
    } else if (e.zero_im != 0.0) {
        // k (s^2 - 2 zr s + |z|^2) / (s^2 - 2 pr s + |p|^2), the larger of
        // the DC and high-frequency gains equal to 1.
        const double z2 = e.zero_re * e.zero_re + e.zero_im * e.zero_im;
        const double k = p2 >= z2 ? 1.0 : p2 / z2;
        const double b1 = -2.0 * k * (e.zero_re - pr);
        s.D = k;
        matrix_set(s.B, 1, 0, b1);
        matrix_set(s.B, 0, 0, ((z2 - p2) * k + a11 * b1) / a21);
    } else {
        // b1 (s - zr) / (s^2 - 2 pr s + |p|^2).
        const double zr = e.zero_re;
        const double z2 = zr * zr;
        const double t = z2 * z2 + 2.0 * z2 * (pi * pi - pr * pr) + p2 * p2;
        double b1;
        double q = 0.0;
        if (t >= 0.0 && (q = std::sqrt(t) - z2) >= 0.0)
            b1 = std::sqrt(((p2 - q) * (p2 - q) + 4.0 * pr * pr * q) / (q + z2));
        else
            b1 = p2 / zr;
        matrix_set(s.B, 1, 0, b1);
        matrix_set(s.B, 0, 0, (a11 - zr) * b1 / a21);
        s.D = 0.0;
    }
    return s;
}

// First-order section of a real pole p.
static ss first_order(const pz_entry &e)
{
    const double p = e.pole_re;
    ss s = new_ss(1);
    matrix_set(s.A, 0, 0, p);
    matrix_set(s.C, 0, 0, 1.0);
    if (e.has_zero) {
        // k (s - z) / (s - p)
        const double z = e.zero_re;
        const double k = (std::fabs(z) >= std::fabs(p) && z != 0.0) ? p / z : 1.0;
        s.D = k;
        matrix_set(s.B, 0, 0, (p - z) * k);
    } else {
        // Unit gain at DC; an integrator for p = 0.
        matrix_set(s.B, 0, 0, p != 0.0 ? -p : 1.0);
        s.D = 0.0;
    }
    return s;
}

ss pz_section(const pz_entry &e, double d)
{
    return e.pole_im != 0.0 ? biquad(e, d) : first_order(e);
}

ss append_section(ss c, ss s)
{
    if (c.n == 0)
        return s;
    const int N = c.n, m = s.n;
    ss r = new_ss(N + m);
    for (int i = 0; i < N; i++)
        for (int j = 0; j < N; j++)
            matrix_set(r.A, i, j, elem(c.A, i, j));
    for (int i = 0; i < m; i++) {
        for (int j = 0; j < N; j++)
            matrix_set(r.A, N + i, j, elem(s.B, i, 0) * elem(c.C, 0, j));
        for (int j = 0; j < m; j++)
            matrix_set(r.A, N + i, N + j, elem(s.A, i, j));
    }
    for (int i = 0; i < N; i++) {
        matrix_set(r.B, i, 0, elem(c.B, i, 0));
        matrix_set(r.C, 0, i, s.D * elem(c.C, 0, i));
    }
    for (int i = 0; i < m; i++) {
        matrix_set(r.B, N + i, 0, c.D * elem(s.B, i, 0));
        matrix_set(r.C, 0, N + i, elem(s.C, 0, i));
    }
    r.D = c.D * s.D;
    free_ss(&c);
    free_ss(&s);
    return r;
}

static bool finite_matrix(const matrix &m)
{
    for (int i = 0; i < m.rows * m.cols; i++)
        if (!std::isfinite(m.data[i]))
            return false;
    return true;
}

static bool finite_record(const ss &s)
{
    return s.n == 0 || (finite_matrix(s.A) && finite_matrix(s.B) && finite_matrix(s.C) && std::isfinite(s.D));
}

ss pz_cascade()
{
    ss c = new_ss(0);
    for (const pz_entry &e : pz_list.entries) {
        if (e.pole_im == 0.0 && e.has_zero && e.zero_im != 0.0) {
            error("the real pole %f cannot have a complex zero", e.pole_re);
            return c;
        }
    }
    const double *dv = getvar("cascdist");
    const double d = dv ? *dv : 0.5;
    for (const pz_entry &e : pz_list.entries)
        c = append_section(c, pz_section(e, d));
    // Poles or zeros near the end of double range (|p|^2 or |z|^2
    // overflowing) make an element infinite or undefined; such a record is
    // no filter to install.
    if (!finite_record(c)) {
        free_ss(&c);
        error("poles or zeros out of range");
        return new_ss(0);
    }
    return c;
}
