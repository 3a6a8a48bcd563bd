// Buchberger's algorithm on the extended-precision polynomials.
#include "algebra/buchberger.h"

#include "algebra/buchberger_impl.h"
#include "algebra/groebner.h"

namespace {

struct ld_ops {
    using eqs = eq_array;
    using list = termlist;
    static constexpr int count_verbosity = 1;
    static void sort_eqs(eq_array *E) { sort_eq_array(E); }
    static int add_unique(eq_array *E, const termlist &f) { return add_unique_equation(E, f); }
    static termlist spoly(termlist *f, termlist *g) { return s_poly(f, g); }
    static termlist reduce(const eq_array &E, const termlist &f) { return reduce_poly(E, f); }
    static void print_eqs(const eq_array &E, FILE *fp) { print_eq_array(E, fp); }
    static void print_list(const termlist &f, FILE *fp) { print_termlist(f, fp); }
    static bool stopped() { return false; }
};

}  // namespace

int pair_sugar(const termlist &f, const termlist &g, subterm *lcm)
{
    return groebner_impl::pair_sugar(f, g, lcm);
}

void update_pairs(const eq_array &E, p_pair_array *P)
{
    groebner_impl::update_pairs(E, P);
}

void report_redundant(const eq_array &E, p_pair_array *P)
{
    groebner_impl::report_redundant(E, P);
}

void add_equation(eq_array *E, const termlist &f, p_pair_array *P)
{
    groebner_impl::add_equation<ld_ops>(E, f, P);
}

void buchberger(eq_array *E)
{
    groebner_impl::buchberger<ld_ops>(E);
}

void groebner_basis(eq_array *E)
{
    buchberger(E);
    if (algst.work_exceeded)
        return;
    minimise_basis(E);
    reduce_basis(E);
}
