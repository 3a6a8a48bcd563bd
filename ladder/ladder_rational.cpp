// The rational road of the ladder equations and their script form.
#include "ladder/ladder_rational.h"

#include <cstdio>

#include "algebra/rational.h"
#include "ladder/ladder_drivers.h"
#include "ladder/side_drivers.h"
#include "base/globals.h"
#include "ladder/symbolic_ladder.h"
#include "numeric/matrix.h"

namespace {

void print_titled(FILE *fp, const char *title, const eq_array &E)
{
    fputs(title, fp);
    print_eq_array(E, fp);
    fputs("\n", fp);
}

void print_titled_q(FILE *fp, const char *title, const eq_array_q &E)
{
    fputs(title, fp);
    print_eq_array_q(E, fp);
    fputs("\n", fp);
}

}  // namespace

void rational_pipeline(const double *a, const double *q, int n)
{
    if (!ladder_driver_order(n))
        return;
    FILE *fp = report_stream();
    print_ladder_poly(a, n, fp);

    eq_array E = ladder_eq_array(a, q, n);
    print_titled(fp, "\nequations:\n", E);
    eq_array_q R = eq_array_q_from_eq_array(E, rational_tolerance);
    print_titled_q(fp, "\nrational:\n", R);
    prereduce_q(&R);
    print_titled_q(fp, "\npreprocessed:\n", R);
    groebner_basis_q(&R);
    print_titled_q(fp, "\ngroebner:\n", R);
    eq_array F = eq_array_to_ld(R);
    print_titled(fp, "\nfloating-point:\n", F);

    matrix M = groebner_solve(&F, n);
    freem(&M);
}

void write_cas_script(const double *a, const double *p, int n)
{
    if (!ladder_driver_order(n))
        return;
    FILE *fp = report_stream();
    eq_array E = ladder_eq_array(a, p, n);
    fputs("ring r=real,(", fp);
    for (int k = 0; k <= n - 2; k++)
        fprintf(fp, k ? ",B%d" : "B%d", k);
    fputs("), lp;\n", fp);
    for (int k = 0; k <= n - 2; k++) {
        fprintf(fp, "poly f%d=", k);
        print_termlist(E.eq[k], fp);
        fputs(";\n", fp);
    }
    fputs("ideal i=", fp);
    for (int k = 0; k <= n - 2; k++)
        fprintf(fp, k < n - 2 ? "f%d," : "f%d;\n", k);
    fputs("ideal g=groebner(i);\n", fp);
    fputs("g;\n", fp);
    fputs("quit;\n", fp);
}
