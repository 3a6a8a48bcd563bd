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
//       first turned into the simplest fractions within 1e-12 relative; refused with
//       exit status 1 when its coefficients outgrow the exact road's limit
//   algebra_probe walk FILE
//       the Groebner walk of the system from grevlex, as it prints
//
// FILE holds one polynomial per line in the notation of print_termlist
// ("2 * B0 * B1^2 - B2 + 0.5"); blank lines and lines starting with "#" are
// skipped. Results go to standard output; a line that cannot be read is an
// error naming the line, with exit status 1.
#include <algorithm>
#include <cerrno>
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

// What the probe takes, checked as a file is read: beyond these the
// routines run for minutes or hours (the Groebner bases grow with the
// degrees, polysys tracks one path per point of the Bezout number), and
// exponents past a few thousand come near the range of the int exponents.
constexpr int max_exponent = 1000;
constexpr int max_variables = 64;  // B0 .. B63
constexpr int max_equations = 64;
constexpr int max_terms = 5000;    // in the whole system
constexpr double max_paths = 20000;
// Paths times terms times the largest degree: about 3 s at the bound (4900
// paths of degree 70 that diverge cost 1.4e6 and 17 s).
constexpr double max_path_cost = 300000;
// The processor time of tracking the paths (the paths that fail are
// tracked again with shorter steps and in other homotopies): 1 s and 5 ms
// a path, 30 s at most, the same in every build. The systems of a few
// hundred to a thousand paths tried take 1 to 2 ms a path (eco-7, cyclic-6
// of 486 and 720 paths in 0.5 and 1 s); a system whose paths keep failing
// for longer is refused there.
constexpr double path_seconds_base = 1.0, path_seconds_each = 0.005, path_seconds_max = 30.0;
constexpr int max_ladder_order = 8;
// The work of one Groebner basis (terms met in the pair queue and the
// reductions, and the limbs of the exact coefficients): a basis that needs
// more is refused with its size. It is reached in about 3 s (about 10 s
// under the sanitizers); for a system of more than 15 unknowns a unit
// weighs unknowns / 8 (270 basis elements in B0 .. B63 took 4 s, 70 s
// under the sanitizers, with units of weight one).
constexpr long max_groebner_work = 10000000;

// The first limit that the polynomial passes, or an empty text.
std::string over_limit(const termlist &L)
{
    for (int i = 0; i < L.n; i++) {
        const poly_term &t = L.t[i];
        if (!std::isfinite(static_cast<double>(t.coef)))
            return "coefficient is not finite";
        if (t.n > max_variables)
            return "variable B" + std::to_string(t.n - 1) + " is beyond B" +
                   std::to_string(max_variables - 1);
        for (int k = 0; k < t.n; k++)
            if (t.exp[k] > max_exponent)
                return "exponent " + std::to_string(t.exp[k]) + " of B" + std::to_string(k) +
                       " is above " + std::to_string(max_exponent);
    }
    return "";
}

// Reads the system of FILE into *E; false after reporting on stderr (a
// file that cannot be read, holds no polynomial, or passes a limit).
bool read_system(const char *name, eq_array *E)
{
    FILE *f = fopen(name, "r");
    if (!f) {
        fprintf(stderr, "algebra_probe: cannot open %s: %s\n", name, strerror(errno));
        return false;
    }
    std::string line;
    int line_no = 0, terms = 0;
    bool ok = true;
    for (;;) {
        line.clear();
        int c;
        while ((c = fgetc(f)) != EOF && c != '\n')
            line += static_cast<char>(c);
        if (c == EOF && ferror(f)) {
            // A folder opens but does not read (EISDIR).
            fprintf(stderr, "algebra_probe: cannot read %s: %s\n", name, strerror(errno));
            ok = false;
            break;
        }
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
        } else if (poly_text::parse_termlist(line.c_str(), &L, &err, max_variables - 1)) {
            err = over_limit(L);
            terms += L.n;
            if (err.empty() && E->n == max_equations)
                err = "more than " + std::to_string(max_equations) + " equations";
            if (err.empty() && terms > max_terms)
                err = "more than " + std::to_string(max_terms) + " terms in the system";
            if (err.empty()) {
                sp_resize(&E->eq, static_cast<std::size_t>(E->n) + 1, "equation array");
                E->eq[E->n++] = std::move(L);
                continue;
            }
        }
        fprintf(stderr, "algebra_probe: %s line %d: cannot read polynomial: %s\n", name, line_no,
                err.c_str());
        ok = false;
        break;
    }
    fclose(f);
    if (ok && E->n == 0) {
        fprintf(stderr, "algebra_probe: %s holds no polynomial\n", name);
        ok = false;
    }
    return ok;
}

// The Groebner routines run under the work bound; past it the partial
// result is no basis and is not printed. A unit of work weighs one per
// eight unknowns of the system (one up to B7).
void bound_groebner_work(const eq_array &E)
{
    int unknowns = 0;
    for (int i = 0; i < E.n; i++)
        for (int k = 0; k < E.eq[i].n; k++)
            unknowns = std::max(unknowns, E.eq[i].t[k].n);
    algst.work_limit = max_groebner_work;
    algst.work_weight = std::max(1, unknowns / 8);
    algst.work_done = 0;
    algst.work_exceeded = false;
}

bool groebner_work_fits(const eq_array &E)
{
    if (!algst.work_exceeded)
        return true;
    int terms = 0;
    for (int i = 0; i < E.n; i++)
        terms += E.eq[i].n;
    fprintf(stderr,
            "algebra_probe: the Groebner basis needs more than %ld steps of work "
            "(%d equations of %d terms when it was stopped); refused\n",
            max_groebner_work, E.n, terms);
    return false;
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
    bound_groebner_work(E);
    std::string why;
    int ok = checked_groebner_basis(&E, &why);
    algst.monomial_order = saved;
    if (!groebner_work_fits(E))
        return 1;
    if (!ok) {
        fprintf(stderr, "algebra_probe: the basis could not be determined reliably: %s\n", why.c_str());
        return 1;
    }
    print_eq_array(E, stdout);
    return ist.exit_status;
}

int run_polysys(const char *file)
{
    eq_array E;
    if (!read_system(file, &E))
        return 1;
    // One path per point of the Bezout number, the product of the degrees;
    // each path costs about the terms times the degree per step, and a path
    // that diverges takes the most steps. An unknown that no equation
    // names leaves no isolated root: every path runs to its step limit.
    double paths = 1;
    int max_degree = 1, terms = 0;
    std::vector<char> named(E.n, 0);
    bool beyond = false;  // a variable past the unknowns, which polysys refuses itself
    for (int i = 0; i < E.n; i++) {
        int d = 0;
        for (int k = 0; k < E.eq[i].n; k++) {
            const poly_term &t = E.eq[i].t[k];
            int x = 0;
            for (int v = 0; v < t.n; v++) {
                x += t.exp[v];
                if (t.exp[v] != 0 && v < E.n)
                    named[v] = 1;
                if (t.exp[v] != 0 && v >= E.n)
                    beyond = true;
            }
            d = std::max(d, x);
        }
        terms += E.eq[i].n;
        max_degree = std::max(max_degree, d);
        paths *= std::max(d, 1);
    }
    for (int v = 0; v < E.n && !beyond; v++)
        if (!named[v]) {
            fprintf(stderr, "algebra_probe: the unknown B%d appears in no equation, so no root is isolated; refused\n",
                    v);
            return 1;
        }
    const double cost = paths * terms * max_degree;
    if (paths > max_paths || cost > max_path_cost) {
        fprintf(stderr,
                "algebra_probe: the system needs %.6g paths of degree up to %d in %d terms "
                "(at most %.0f paths, and paths times terms times degree at most %.0f); refused\n",
                paths, max_degree, terms, max_paths, max_path_cost);
        return 1;
    }
    algst.path_seconds = std::min(path_seconds_max, path_seconds_base + path_seconds_each * paths);
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
    if (n > max_ladder_order) {
        fprintf(stderr, "algebra_probe: ladder order %d is above %d; refused\n", n, max_ladder_order);
        return 1;
    }
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
    eq_array_q Q = eq_array_q_from_eq_array(E, rational_tolerance);
    if (ist.exit_status)
        return 1;
    bound_groebner_work(E);
    groebner_basis_q(&Q);
    if (algst.exact_too_large) {
        fprintf(stderr, "algebra_probe: the exact basis needs coefficients of more than %ld bits\n",
                algst.exact_bit_limit);
        return 1;
    }
    if (algst.work_exceeded) {
        fprintf(stderr,
                "algebra_probe: the exact Groebner basis needs more than %ld steps of work "
                "(%d equations when it was stopped); refused\n",
                max_groebner_work, Q.n);
        return 1;
    }
    print_eq_array_q(Q, stdout);
    return ist.exit_status;
}

int run_walk(const char *file)
{
    eq_array E;
    if (!read_system(file, &E))
        return 1;
    bound_groebner_work(E);
    groebner_grevlex_walk(&E);
    if (!groebner_work_fits(E))
        return 1;
    return ist.exit_status;
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
