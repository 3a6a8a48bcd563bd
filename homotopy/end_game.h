// The end game of a path: the point of the zero curve at lambda = 1, found
// between the last two points of the tracker, and the scalar zero finder it
// uses.
#pragma once

// State of one search of hom_zero_finder, owned by its caller.
struct hom_zero_state {
    double u = 0, re = 0, ae = 0;
    double a = 0, fa = 0, fb = 0, fc = 0, fx = 0;
    int count = 0, ic = 0;
    double acbs = 0;
};

// Zero of a real function on the bracket [b, c] by reverse communication.
// Start with flag >= 0; while flag comes back -1, -2 or -3, evaluate the
// function at t, store the value in ft and call again. Results: 1 b is a
// root within the tolerance, 2 f(b) = 0, 3 a sign change with |f(b)| grown
// (a pole), 4 no sign change, 5 more than 499 evaluations.
void hom_zero_finder(double &t, double &ft, double &b, double &c, const double &relerr, const double &abserr,
                     int &flag, hom_zero_state &st);

// The point at lambda = 1 between the previous point (lambda < 1) and y
// (lambda >= 1), into y. flag stays as it was on success; 6 when the search
// fails, or the positive flag of the tangent routine.
void hom_end_game(const int &N, int &nfe, int &flag, const double &relerr, const double &abserr, double *y,
                  double *yp, double *yold, double *ypold, const double *p, double *qr, double *alpha, double *tz,
                  int *pivot, double *w, double *wp, double *par, int *ipar);
