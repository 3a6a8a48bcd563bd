#include "homotopy/end_game.h"

#include <algorithm>
#include <cmath>

#include "homotopy/hermite.h"
#include "homotopy/machine.h"
#include "homotopy/tracker.h"
#include "numeric/lapack.h"

void hom_zero_finder(double &t, double &ft, double &b, double &c, const double &relerr, const double &abserr,
                     int &flag, hom_zero_state &st)
{
    // The sign of 0 counts as +.
    auto same_sign = [](double x, double y) { return (x >= 0.0) == (y >= 0.0); };
    if (flag >= 0) {
        st.u = D1MACH(4);
        st.re = std::max(relerr, st.u);
        st.ae = std::max(abserr, 0.0);
        st.ic = 0;
        st.acbs = std::fabs(b - c);
        st.a = c;
        t = st.a;
        flag = -1;
        return;
    }
    if (flag == -1) {
        st.fa = ft;
        t = b;
        flag = -2;
        return;
    }
    if (flag == -2) {
        st.fb = ft;
        st.fc = st.fa;
        st.count = 2;
        st.fx = std::max(std::fabs(st.fb), std::fabs(st.fc));
    } else {
        st.fb = ft;
        if (st.fb == 0.0) {
            flag = 2;
            return;
        }
        st.count++;
        if (same_sign(st.fb, st.fc)) {
            c = st.a;
            st.fc = st.fa;
        }
    }

    // Main step.
    if (std::fabs(st.fc) < std::fabs(st.fb)) {
        st.a = b;
        st.fa = st.fb;
        b = c;
        st.fb = st.fc;
        c = st.a;
        st.fc = st.fa;
    }
    const double cmb = 0.5 * (c - b);
    const double tol = st.re * std::fabs(b) + st.ae;
    if (std::fabs(cmb) <= tol) {
        if (same_sign(st.fb, st.fc))
            flag = 4;
        else
            flag = std::fabs(st.fb) > st.fx ? 3 : 1;
        return;
    }
    if (st.count > 499) {
        flag = 5;
        return;
    }
    double p = (b - st.a) * st.fb;
    double q = st.fa - st.fb;
    if (p < 0.0) {
        p = -p;
        q = -q;
    }
    st.a = b;
    st.fa = st.fb;
    bool bisect = false;
    st.ic++;
    if (st.ic > 3) {
        if (8.0 * std::fabs(cmb) >= st.acbs) {
            bisect = true;
        } else {
            st.ic = 0;
            st.acbs = std::fabs(cmb);
        }
    }
    if (bisect)
        b = 0.5 * (c + b);
    else if (p <= std::fabs(q) * tol)
        b = cmb >= 0.0 ? b + tol : b - tol;
    else if (p < cmb * q)
        b = b + p / q;
    else
        b = 0.5 * (c + b);
    t = b;
    flag = -3;
}

void hom_end_game(const int &N, int &nfe, int &flag, const double &relerr, const double &abserr, double *y,
                  double *yp, double *yold, double *ypold, const double *p, double *qr, double *alpha, double *tz,
                  int *pivot, double *w, double *wp, double *par, int *ipar)
{
    const int np1 = N + 1, one = 1, nx = N;
    const double u = D1MACH(4);
    const double re = std::max(relerr, u);
    const double ae = std::max(abserr, 0.0);
    for (int round = 0; round < 20; round++) {
        for (int j = 0; j < np1; j++)
            w[j] = y[j] - yold[j];
        const double dels = dnrm2_(&np1, w, &one);

        // sigma in [0, dels] where the lambda component of the cubic is 1.
        double sigma = 0.0, c = dels, t = 0.0, ft = 0.0;
        int zflag = 0;
        hom_zero_state zs;
        for (;;) {
            hom_zero_finder(t, ft, sigma, c, re, ae, zflag, zs);
            if (zflag > 0)
                break;
            ft = hom_hermite(yold[0], ypold[0], y[0], yp[0], dels, t) - 1.0;
        }
        if (zflag > 2) {
            flag = 6;
            return;
        }
        for (int j = 0; j < np1; j++)
            w[j] = hom_hermite(yold[j], ypold[j], y[j], yp[j], dels, sigma);

        for (int corr = 0; corr < 2; corr++) {
            double rholen = 0.0;
            hom_tangent(rholen, w, wp, ypold, p, qr, alpha, tz, pivot, nfe, N, flag, par, ipar);
            if (flag > 0)
                return;
            for (int j = 0; j < np1; j++)
                w[j] += tz[j];
        }
        if (std::fabs(w[0] - 1.0) <= re + ae &&
            dnrm2_(&nx, tz + 1, &one) <= re * dnrm2_(&nx, w + 1, &one) + ae) {
            std::copy(w, w + np1, y);
            return;
        }
        if ((w[0] - 1.0) * (yold[0] - 1.0) > 0.0) {
            std::copy(w, w + np1, yold);
            std::copy(wp, wp + np1, ypold);
        } else {
            std::copy(w, w + np1, y);
            std::copy(wp, wp + np1, yp);
        }
    }
    flag = 6;
}
