// The rational road of the ladder equations and their script form, on an
// order-4 ladder with diagonal (-1/2, 0, 0, -1/2) and products
// (1, 1/2, 1/4), whose ladder polynomial is s^4 + s^3 - 3/2 s^2 - 9/8 s + 1/8.
// The expected equations and their lex basis over QQ are SymPy's
// (groebner of the coefficients of s^0..s^2 of P_4(a, B) - p, B0 > B1 > B2).
#include <gtest/gtest.h>

#include <string>

#include "base/globals.h"
#include "ladder/ladder_rational.h"
#include "tests/base/capture.h"

namespace {

const double kA[] = {-0.5, 0, 0, -0.5};
const double kP[] = {0.125, -1.125, -1.5, 1, 1};

std::string report(int verbosity, void (*fn)(const double *, const double *, int), int n = 4)
{
    return capture_stream([&](FILE *f) {
        FILE *saved = ist.out_fp;
        int v = ist.verbosity;
        ist.out_fp = f;
        ist.verbosity = verbosity;
        fn(kA, kP, n);
        ist.out_fp = saved;
        ist.verbosity = v;
    });
}

TEST(RationalPipeline, PrintsEveryStageWithTheExactBasis)
{
    std::string out = report(0, rational_pipeline);
    EXPECT_EQ(out.rfind("s=\n(1) * s^4 +\n(1) * s^3 +\n", 0), 0u) << out;
    const char *stages[] = {
        "\n\nequations:\n"
        "  0   B0 * B2 - 0.25 * B1 - 0.125\n"
        "  1    - 0.5 * B2 - B1 - 0.5 * B0 + 1.125\n"
        "  2    - B2 - B1 - B0 + 1.75\n\n",
        "\nrational:\n"
        "  0   B0 * B2 - 1/4 * B1 - 1/8\n"
        "  1    - 1/2 * B2 - B1 - 1/2 * B0 + 9/8\n"
        "  2    - B2 - B1 - B0 + 7/4\n\n",
        "\ngroebner:\n  0   B0 + B2 - 5/4\n  1   B1 - 1/2\n  2   B2^2 - 5/4 * B2 + 1/4\n\n",
        "\nfloating-point:\n  0   B0 + B2 - 1.25\n  1   B1 - 0.5\n  2   B2^2 - 1.25 * B2 + 0.25\n\n",
    };
    std::size_t at = 0;
    for (const char *s : stages) {
        std::size_t k = out.find(s, at);
        EXPECT_NE(k, std::string::npos) << s << "\nin\n" << out;
        if (k != std::string::npos)
            at = k;
    }
    EXPECT_NE(out.find("\npreprocessed:\n"), std::string::npos);
    // A negative verbosity leaves out the symbolic polynomial only.
    std::string quiet = report(-1, rational_pipeline);
    EXPECT_EQ(quiet.rfind("\nequations:\n", 0), 0u);
}

TEST(CasScript, WritesTheLadderEquations)
{
    EXPECT_EQ(report(0, write_cas_script),
              "ring r=real,(B0,B1,B2), lp;\n"
              "poly f0=B0 * B2 - 0.25 * B1 - 0.125;\n"
              "poly f1= - 0.5 * B2 - B1 - 0.5 * B0 + 1.125;\n"
              "poly f2= - B2 - B1 - B0 + 1.75;\n"
              "ideal i=f0,f1,f2;\n"
              "ideal g=groebner(i);\n"
              "g;\n"
              "quit;\n");
}

TEST(CasScript, OrderBelowTwoIsRefused)
{
    std::string err = capture_stderr([] {
        EXPECT_EQ(report(0, write_cas_script, 1), "");
        EXPECT_EQ(report(0, rational_pipeline, 0), "");
    });
    EXPECT_NE(err.find("a ladder needs order 2 or more"), std::string::npos);
    ist.exit_status = 0;
}

}  // namespace
