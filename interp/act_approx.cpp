// Actions of the approximation statements and of `cascade`: each builds a
// normalised filter and installs it as the current filter. A routine that
// reported an error gives an order-0 record, which leaves the current
// filter as it was. Orders beyond the program's bound are refused first.
#include "interp/act_approx.h"

#include "filter/approx.h"
#include "filter/current.h"
#include "filter/pzlist.h"
#include "filter/rgd.h"

void act_chebyshev(int n, double ripple)
{
    if (order_allowed(n))
        install_filter(chebyshev(n, ripple));
}
void act_butterworth(int n)
{
    if (order_allowed(n))
        install_filter(butterworth(n));
}
void act_cauer(int n, double ripple, double band_limit)
{
    if (order_allowed(n))
        install_filter(cauer(n, ripple, band_limit));
}
void act_bessel(int n)
{
    if (order_allowed(n))
        install_filter(bessel(n));
}
void act_gauss(int n)
{
    if (order_allowed(n))
        install_filter(gauss(n));
}
void act_tgauss(int n, double ripple, double damping)
{
    if (order_allowed(n))
        install_filter(tgauss(n, ripple, damping));
}
void act_bessel_chebyshev(int n, double ripple, double damping)
{
    if (order_allowed(n))
        install_filter(bessel_chebyshev(n, ripple, damping));
}
void act_ic(int n, double damping)
{
    if (order_allowed(n))
        install_filter(ic_approx(n, damping));
}
void act_rgd(int n, double ripple)
{
    if (order_allowed(n))
        install_filter(rgd_approx(n, ripple));
}

// A list left over from a statement that ended in a syntax error is
// released by pz_new.
void act_cascade_start() { pz_new(); }
void act_pole(double re, double im) { pz_add_pole(re, im); }
void act_zero(double re, double im) { pz_add_zero(re, im); }
void act_cascade_end()
{
    install_filter(pz_cascade());
    pz_free();
}
