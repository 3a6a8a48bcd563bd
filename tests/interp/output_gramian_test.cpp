// `output: K;` and `output: W;` print a Gramian only when every printed
// entry is known: against GSL's Kronecker solution where it is, and refused
// (nothing printed, an error) where its small entries are lost.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "tests/dynrange/dr_helpers.h"
#include "filter/approx.h"
#include "interp/act_output.h"

using namespace drt;

namespace {

TEST(OutputGramian, PrintedWhenKnownRefusedWhenNot)
{
    {
        program p;
        install(chebyshev(6, 1.0));
        act_out_w();
        std::string r = p.report();
        ASSERT_EQ(r.rfind("W =\n(6, 6)\n", 0), 0u) << r;
        // every printed number against the Kronecker solution (GSL), to the
        // printed digits
        dvec want = gram_w(fst.cur_filter);
        const char *at_text = r.c_str() + 11;
        for (int i = 0; i < 6; i++)
            for (int j = 0; j < 6; j++) {
                char *end = nullptr;
                double got = std::strtod(at_text, &end);
                ASSERT_NE(end, at_text);
                at_text = end;
                EXPECT_NEAR(got, want[i * 6 + j], 5e-7 * std::fabs(want[i * 6 + j]) + 1e-300) << i << ", " << j;
            }
        EXPECT_EQ(ist.exit_status, 0);
    }
    {
        // unscaled chebyshev(100, 1): W spans 45 decades and its smallest
        // entries are not known to a digit
        program p;
        install(chebyshev(100, 1.0));
        act_out_w();
        EXPECT_EQ(p.report(), "");
        EXPECT_EQ(ist.exit_status, 1);
    }
}

}  // namespace
