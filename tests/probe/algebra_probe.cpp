// algebra_probe: runs the polynomial-system routines that no statement of
// the command language reaches, on a system read from a file.
//
//   algebra_probe groebner lex FILE
//   algebra_probe groebner grevlex FILE
//       the reduced Groebner basis of the system under that order, checked
//       against rounding (checked_groebner_basis); a basis that does not
//       hold up is refused with the reason and exit status 1
//   algebra_probe polysys FILE
//       all roots of the square system by the homotopy solver, as polysys
//       prints them; exit status 1 when it reports an error
//   algebra_probe ladder DRIVER p0 p1 ... pn [w w1 w2 ...]
//       the ladder driver DRIVER on the target p0 + p1 s + ... + pn s^n with
//       the weights after the word w, printing what it prints: verify
//       (ladder_by_groebner_verify) and eliminate2 (g_ladder_eliminate2) on
//       the scaled target and diagonal of the drivers' preamble, polysys
//       (ladder_by_polysys), test0, test1, test2 (ladder_symbolic_test with
//       method 0, 1 or 2)
//   algebra_probe rational FILE
//       the exact reduced lex basis of the system, its coefficients
//       first turned into nearby rationals (relative 0.001); refused with
//       exit status 1 when its coefficients outgrow the exact road's limit
//   algebra_probe walk FILE
//       the Groebner walk of the system from grevlex, as it prints
//
// FILE holds one polynomial per line in the notation of print_termlist
// ("2 * B0 * B1^2 - B2 + 0.5"); blank lines and lines starting with "#" are
// skipped. Results go to standard output; a line that cannot be read is an
// error naming the line, with exit status 1.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "algebra/buchberger.h"
#include "algebra/checked_groebner.h"
#include "algebra/order.h"
#include "algebra/polysys.h"
#include "algebra/rational.h"
#include "algebra/spoly.h"
#include "algebra/walk.h"
#include "base/globals.h"
#include "ladder/side_drivers.h"
#include "tests/algebra/poly_text.h"

namespace {

int usage()
{
    fprintf(stderr,
            "usage: algebra_probe groebner lex|grevlex FILE\n"
            "       algebra_probe polysys FILE\n"
            "       algebra_probe ladder verify|eliminate2|polysys|test0|test1|test2 p0 p1 ... pn [w w1 w2 ...]\n"
            "       algebra_probe rational FILE\n"
            "       algebra_probe walk FILE\n");
    return 1;
}

// Reads the system of FILE into *E; false after reporting on stderr.
bool read_system(const char *name, eq_array *E)
{
    FILE *f = fopen(name, "r");
    if (!f) {
        fprintf(stderr, "algebra_probe: cannot open %s\n", name);
        return false;
    }
    std::string line;
    int line_no = 0;
    bool ok = true;
    for (;;) {
        line.clear();
        int c;
        while ((c = fgetc(f)) != EOF && c != '\n')
            line += static_cast<char>(c);
        if (c == EOF && line.empty())
            break;
        line_no++;
        std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        termlist L;
        std::string err;
        if (line.find('\0') != std::string::npos) {
            err = "a NUL byte in the line";
        } else if (poly_text::parse_termlist(line.c_str(), &L, &err)) {
            sp_resize(&E->eq, static_cast<std::size_t>(E->n) + 1, "equation array");
            E->eq[E->n++] = std::move(L);
            continue;
        }
        fprintf(stderr, "algebra_probe: %s line %d: cannot read polynomial: %s\n", name, line_no,
                err.c_str());
        ok = false;
        break;
    }
    fclose(f);
    return ok;
}

int run_groebner(const char *order, const char *file)
{
    int sel;
    if (!strcmp(order, "lex"))
        sel = 1;
    else if (!strcmp(order, "grevlex"))
        sel = 2;
    else
        return usage();
    eq_array E;
    if (!read_system(file, &E))
        return 1;
    int saved = algst.monomial_order;
    algst.monomial_order = sel;
    std::string why;
    int ok = checked_groebner_basis(&E, &why);
    algst.monomial_order = saved;
    if (!ok) {
        fprintf(stderr, "algebra_probe: the basis could not be determined reliably: %s\n", why.c_str());
        return 1;
    }
    print_eq_array(E, stdout);
    return 0;
}

int run_polysys(const char *file)
{
    eq_array E;
    if (!read_system(file, &E))
        return 1;
    polysys(E);
    return ist.exit_status;
}

// A finite number that fills the whole argument.
bool read_number(const char *text, double *x)
{
    char *end;
    *x = strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(*x);
}

int run_ladder(int argc, char **argv)
{
    const char *driver = argv[2];
    std::vector<double> p, w;
    bool weights = false;
    for (int i = 3; i < argc; i++) {
        double x;
        if (!weights && !strcmp(argv[i], "w")) {
            weights = true;
        } else if (read_number(argv[i], &x)) {
            (weights ? w : p).push_back(x);
        } else {
            fprintf(stderr, "algebra_probe: not a number: %s\n", argv[i]);
            return 1;
        }
    }
    if (p.empty())
        return usage();
    const int n = static_cast<int>(p.size()) - 1;
    const int nw = static_cast<int>(w.size());
    if (!strcmp(driver, "polysys")) {
        ladder_by_polysys(nw, w.data(), p.data(), n);
    } else if (!strcmp(driver, "test0") || !strcmp(driver, "test1") || !strcmp(driver, "test2")) {
        ladder_symbolic_test(nw, w.data(), p.data(), n, driver[4] - '0');
    } else if (!strcmp(driver, "verify") || !strcmp(driver, "eliminate2")) {
        std::vector<double> q(n + 1), a(std::max(n, 1));
        if (ladder_preamble(nw, w.data(), p.data(), n, q.data(), a.data())) {
            if (driver[0] == 'v')
                ladder_by_groebner_verify(a.data(), q.data(), n);
            else
                g_ladder_eliminate2(a.data(), q.data(), n);
        }
    } else {
        return usage();
    }
    return ist.exit_status;
}

int run_rational(const char *file)
{
    eq_array E;
    if (!read_system(file, &E))
        return 1;
    eq_array_q Q = eq_array_q_from_eq_array(E, 0.001);
    groebner_basis_q(&Q);
    if (algst.exact_too_large) {
        fprintf(stderr, "algebra_probe: the exact basis needs coefficients of more than %ld bits\n",
                algst.exact_bit_limit);
        return 1;
    }
    print_eq_array_q(Q, stdout);
    return 0;
}

int run_walk(const char *file)
{
    eq_array E;
    if (!read_system(file, &E))
        return 1;
    groebner_grevlex_walk(&E);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    ist.out_fp = stdout;
    if (argc == 4 && !strcmp(argv[1], "groebner"))
        return run_groebner(argv[2], argv[3]);
    if (argc == 3 && !strcmp(argv[1], "polysys"))
        return run_polysys(argv[2]);
    if (argc >= 4 && !strcmp(argv[1], "ladder"))
        return run_ladder(argc, argv);
    if (argc == 3 && !strcmp(argv[1], "rational"))
        return run_rational(argv[2]);
    if (argc == 3 && !strcmp(argv[1], "walk"))
        return run_walk(argv[2]);
    return usage();
}
