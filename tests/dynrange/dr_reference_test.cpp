// `output: dr;` against dynamic ranges made at 120 digits: every printed
// figure is within 1e-5 of the exact one, or the report refuses it. The
// cases are the approximations as the program builds them, around and
// above the orders where the Schur form of the whole matrix printed wrong
// figures (unscaled chebyshev(100, 1): -278.37 dB where -402.92 dB is true).
//
// How the references were made, once, by hand: the double matrices A, B, C
// and D of each filter (after `transform: scale;` for the scaled cases) were
// written with %.17g; in mpmath at 120 digits, W and K of the cascades came
// from the block substitution down their sections (checked by a residual
// below 1e-70 of the right-hand side), and those of the Butterworth ladder
// from iterative refinement of SciPy's solve_continuous_lyapunov with the
// residual computed exactly in mpmath until the corrections fell below
// 1e-40. The noise is 2 k T sum b_i W_ii / c_i with c_i = ctot / n
// (ctot = 1e-10, k = 1.3804e-23, T = 300), the L2 level C K C^T / max K_ii
// (umax = 1), the L-infinity level top|H| / max_i top|F_i|, with the tops
// from numpy: F = (jwI - A)^-1 B by forward substitution over the sections
// (or the tridiagonal recursion of the ladder) on 40001 log-spaced points
// from 1e-4 to 1e4 and 81 points around each section's pole frequency, each
// local maximum refined by golden-section search. The columns are
// sqrt(u^2 / noise), as `output: dr;` prints it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "dr_helpers.h"
#include "dynrange/dr_report.h"
#include "dynrange/scale.h"
#include "filter/approx.h"
#include "base/vars.h"

using namespace drt;

namespace {

struct dr_reference {
    const char *name;
    std::function<ss()> build;
    bool scaled;       // `transform: scale;` (L-infinity) first
    double linf, l2;   // the exact sqrt(u^2 / noise) under each scaling
    bool linf_prints;  // the report has the figure now (a refusal would be a loss)
    bool l2_prints;
};

// The figure of the last report in text, or a negative value when it has
// none.
double printed_range(const std::string &text)
{
    std::size_t at = text.rfind("Dynamic range: ");
    if (at == std::string::npos)
        return -1.0;
    return std::strtod(text.c_str() + at + 15, nullptr);
}

TEST(DynamicRangeReference, TrueOrRefused)
{
    const dr_reference cases[] = {
        {"butterworth 20", [] { return butterworth(20); }, false, 3.039070321e+03, 1.242603028e+03, true, true},
        {"butterworth 60", [] { return butterworth(60); }, false, 7.751582387e+02, 2.373842254e+02, true, true},
        {"butterworth 100", [] { return butterworth(100); }, false, 4.101349599e+02, 1.101510510e+02, true, true},
        {"butterworth 60 scaled", [] { return butterworth(60); }, true, 1.408279951e+03, 2.581938018e+02, true, true},
        {"bessel 10", [] { return bessel(10); }, false, 1.796699248e+03, 1.045251573e+03, true, true},
        {"bessel 20", [] { return bessel(20); }, false, 3.406873694e+02, 1.721658236e+02, true, true},
        {"bessel 40", [] { return bessel(40); }, false, 1.070015576e+02, 3.631500742e+01, true, true},
        {"bessel 40 scaled", [] { return bessel(40); }, true, 1.471554845e+03, 4.994275442e+02, true, true},
        {"cauer 9, 0.5, 1.5", [] { return cauer(9, 0.5, 1.5); }, false, 1.037714883e+03, 1.715918962e+03, true, true},
        {"cauer 15, 0.1, 1.2", [] { return cauer(15, 0.1, 1.2); }, false, 2.402083319e+01, 4.013898948e+01, true,
         true},
        {"cauer 15, 0.1, 1.2 scaled", [] { return cauer(15, 0.1, 1.2); }, true, 1.455459983e+02, 1.455459983e+02,
         true, true},
        {"chebyshev 30, 0.1", [] { return chebyshev(30, 0.1); }, false, 8.759332131e-03, 1.446725698e-02, true, true},
        {"chebyshev 20, 1", [] { return chebyshev(20, 1); }, false, 1.745395404e+00, 1.936460764e+00, true, true},
        {"chebyshev 40, 1", [] { return chebyshev(40, 1); }, false, 1.352528983e-05, 1.501269802e-05, true, true},
        {"chebyshev 44, 1", [] { return chebyshev(44, 1); }, false, 1.289589489e-06, 1.431446723e-06, true, false},
        {"chebyshev 48, 1", [] { return chebyshev(48, 1); }, false, 1.230872452e-07, 1.366298332e-07, true, true},
        {"chebyshev 60, 1", [] { return chebyshev(60, 1); }, false, 1.076072395e-10, 1.194512315e-10, true, false},
        {"chebyshev 66, 1", [] { return chebyshev(66, 1); }, false, 3.189774069e-12, 3.540904456e-12, true, false},
        {"chebyshev 68, 1", [] { return chebyshev(68, 1); }, false, 9.875033768e-13, 1.096211351e-12, true, false},
        {"chebyshev 70, 1", [] { return chebyshev(70, 1); }, false, 3.057607245e-13, 3.394209968e-13, true, false},
        {"chebyshev 72, 1", [] { return chebyshev(72, 1); }, false, 9.468614449e-14, 1.051101443e-13, true, false},
        {"chebyshev 80, 1", [] { return chebyshev(80, 1); }, false, 8.719083400e-16, 9.679054726e-16, true, false},
        {"chebyshev 90, 1", [] { return chebyshev(90, 1); }, false, 2.493510428e-18, 2.768068325e-18, true, false},
        {"chebyshev 100, 1", [] { return chebyshev(100, 1); }, false, 7.147923876e-21, 7.935020305e-21, true, false},
        {"chebyshev 60, 1 scaled", [] { return chebyshev(60, 1); }, true, 3.093464666e-10, 3.093465307e-10, true,
         false},
        {"chebyshev 70, 1 scaled", [] { return chebyshev(70, 1); }, true, 9.088284916e-13, 9.143445027e-13, true,
         false},
        {"chebyshev 100, 1 scaled", [] { return chebyshev(100, 1); }, true, 2.351755705e-20, 2.351756941e-20, true,
         false},
    };
    for (const dr_reference &c : cases) {
        program p;
        set_var_number("ctot", 1e-10);
        set_var_number("umax", 1);
        install(c.build());
        ASSERT_GT(fst.cur_filter.n, 0) << c.name;
        if (c.scaled) {
            ASSERT_EQ(do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, 1.0), 0) << c.name;
        }
        for (int linf : {1, 0}) {
            ist.linf_flag = linf;
            ist.exit_status = 0;
            std::size_t before = p.report().size();
            print_dr(p.out);
            double got = printed_range(p.report().substr(before));
            double want = linf ? c.linf : c.l2;
            std::string what = std::string(c.name) + (linf ? ", L-infinity" : ", L2");
            if (got < 0) {
                EXPECT_NE(ist.exit_status, 0) << what << ": no figure and no error";
                EXPECT_FALSE(linf ? c.linf_prints : c.l2_prints) << what << ": refused";
            } else {
                EXPECT_NEAR(got, want, 1e-5 * want) << what;
            }
        }
    }
}

// A cached Gramian that is wrong (a negative K_ii, as a transformation that
// lost its digits leaves it) is never used as it is: the report refines it
// against the filter and prints the true figure, and L2 scaling does the
// same instead of refusing.
TEST(DynamicRangeReference, WrongCachedGramianIsRefinedFirst)
{
    const double want = 6.423154322e+03;  // chebyshev(6, 1), L2, from the table's references
    program p;
    set_var_number("ctot", 1e-10);
    set_var_number("umax", 1);
    install(chebyshev(6, 1));
    ensure_k();
    ensure_w();
    ASSERT_EQ(fst.cur_K.cols, 6);
    matrix K = mcopy(fst.cur_K);
    fst.cur_K.data[0] = -fst.cur_K.data[0];
    fst.cur_W.data[7] *= 1.5;
    ist.linf_flag = 0;
    print_dr(p.out);
    EXPECT_NEAR(printed_range(p.report()), want, 1e-5 * want);
    EXPECT_EQ(ist.exit_status, 0);
    EXPECT_NEAR(fst.cur_K.data[0], K.data[0], 1e-12 * K.data[0]);
    fst.cur_K.data[0] = -fst.cur_K.data[0];
    EXPECT_EQ(do_scale(fst.cur_filter, fst.cur_W, &fst.cur_K, 0, 0, 1.0), 0);
    for (int i = 1; i < 6; i++)
        EXPECT_NEAR(at(fst.cur_K, i, i), at(fst.cur_K, 0, 0), 1e-9 * at(fst.cur_K, 0, 0));
    freem(&K);
}

}  // namespace
