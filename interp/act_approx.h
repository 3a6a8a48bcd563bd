// Actions of the approximation statements and of `cascade`.
#pragma once

void act_chebyshev(int n, double ripple);
void act_butterworth(int n);
void act_cauer(int n, double ripple, double band_limit);
void act_bessel(int n);
void act_gauss(int n);
void act_tgauss(int n, double ripple, double damping);
void act_bessel_chebyshev(int n, double ripple, double damping);
void act_ic(int n, double damping);
void act_rgd(int n, double ripple);

// cascade ( pole(re[, im]) [zero(re[, im])], ... ) ;
// act_cascade_start after "cascade (", act_pole / act_zero as each is read
// (im is 0 when omitted), act_cascade_end at the final ";".
void act_cascade_start();
void act_pole(double re, double im);
void act_zero(double re, double im);
void act_cascade_end();
