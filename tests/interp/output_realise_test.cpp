// The realisation items of transform: (bandpass, lowpass, orthogonal,
// transpose) as the statement runs them: the new filter, what becomes of the
// cached Gramians and of the capacitor values, and the reports.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/dynrange/dr_helpers.h"
#include "filter/transfer.h"
#include "interp/act_output.h"
#include "interp/act_realise.h"
#include "base/error.h"
#include "base/vars.h"

using namespace drt;

namespace {

// Every element of the program matrix M against the row-major reference,
// relative to the largest reference element.
void expect_matrix(const matrix &M, const dvec &ref, double rel, const char *what)
{
    int n = M.rows;
    ASSERT_EQ(M.cols, n) << what;
    ASSERT_EQ((int)ref.size(), n * n) << what;
    double scale = 0;
    for (double x : ref)
        scale = std::max(scale, std::fabs(x));
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
            EXPECT_NEAR(at(M, i, j), ref[i * n + j], rel * scale) << what << " (" << i << ", " << j << ")";
}

// A second-order filter whose K is diagonal with distinct entries and whose
// W is full, so a Gramian placed in the wrong Kronecker order shows.
ss two_poles() { return make_ss(2, {0, 1, -2, -3}, {0, 1}, {1, 0}); }

struct Realise : ::testing::Test {
    program p;
    void SetUp() override
    {
        install(two_poles());
        ensure_k(fst);
        ensure_w(fst);
        ASSERT_EQ(fst.cur_K.cols, 2);
        ASSERT_EQ(fst.cur_W.cols, 2);
    }
};

TEST_F(Realise, BandpassCarriesTheGramiansOfTheNewFilter)
{
    fst.cur_filter.cap[0] = fst.cur_filter.cap[1] = 1e-12;
    act_tr_bandpass(new_numb(3.0), new_numb(2.0));
    ASSERT_EQ(fst.cur_filter.n, 4);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(fst.cur_filter.cap[i], 0.0);
    // The carried Gramians agree with the Lyapunov solutions of the
    // bandpass record (GSL).
    ss now = fst.cur_filter;
    expect_matrix(fst.cur_K, gram_k(now), 1e-8, "K");
    expect_matrix(fst.cur_W, gram_w(now), 1e-8, "W");
    // and H'(s) = H((s^2 + 9) / (2 s)) with H = 1/(s^2 + 3s + 2)
    for (double w : {0.5, 3.0, 7.0}) {
        cplx s(0, w), p2 = (s * s + 9.0) / (2.0 * s);
        cplx want = 1.0 / (p2 * p2 + 3.0 * p2 + 2.0);
        cplx got(h_jw(fst.ana, w).re, h_jw(fst.ana, w).im);
        EXPECT_NEAR(std::abs(got - want), 0.0, 1e-12 * std::abs(want)) << "w " << w;
    }
}

TEST_F(Realise, LowpassScalesTheGramiansAndDividesAgain)
{
    set_var_number("ctot", 4e-12);
    fst.cur_filter.cap[0] = 1e-12;
    fst.cur_filter.cap[1] = 3e-12;
    act_tr_lowpass(new_numb(2.0));
    ASSERT_EQ(fst.cur_filter.n, 2);
    ss now = fst.cur_filter;
    expect_matrix(fst.cur_K, gram_k(now), 1e-8, "K");
    expect_matrix(fst.cur_W, gram_w(now), 1e-8, "W");
    // W is cached, ctot defined and evalc on: the equal division again
    EXPECT_DOUBLE_EQ(fst.cur_filter.cap[0], 2e-12);
    EXPECT_DOUBLE_EQ(fst.cur_filter.cap[1], 2e-12);
}

TEST_F(Realise, UncachedGramiansStayEmpty)
{
    drop_k();
    drop_w();
    act_tr_bandpass(new_numb(1.0), new_numb(1.0));
    EXPECT_EQ(fst.cur_K.cols, 0);
    EXPECT_EQ(fst.cur_W.cols, 0);
    act_tr_lowpass(new_numb(3.0));
    EXPECT_EQ(fst.cur_K.cols, 0);
    EXPECT_EQ(fst.cur_W.cols, 0);
}

TEST_F(Realise, OrthogonalAndTransposeDropTheGramiansAndKeepH)
{
    using item = void (*)();
    for (item run : {static_cast<item>(act_tr_orthogonal), static_cast<item>(act_tr_transpose)}) {
        install(two_poles());
        ensure_k(fst);
        ensure_w(fst);
        fst.cur_filter.cap[0] = fst.cur_filter.cap[1] = 1e-12;
        run();
        ASSERT_EQ(fst.cur_filter.n, 2);
        EXPECT_EQ(fst.cur_K.cols, 0);
        EXPECT_EQ(fst.cur_W.cols, 0);
        EXPECT_EQ(fst.cur_filter.cap[0], 0.0);
        EXPECT_EQ(fst.cur_filter.cap[1], 0.0);
        for (double w : {0.0, 1.0, 4.0}) {
            cplx want = 1.0 / (cplx(0, w) * cplx(0, w) + cplx(0, 3 * w) + 2.0);
            cplx got(h_jw(fst.ana, w).re, h_jw(fst.ana, w).im);
            EXPECT_NEAR(std::abs(got - want), 0.0, 1e-12) << "w " << w;
        }
    }
    // the orthogonal form: tridiagonal with A(k, k-1) = -A(k-1, k)
    install(two_poles());
    act_tr_orthogonal();
    EXPECT_NEAR(at(fst.cur_filter.A, 1, 0), -at(fst.cur_filter.A, 0, 1), 1e-12);
    EXPECT_EQ(at(fst.cur_filter.A, 1, 1), 0.0);
}

TEST_F(Realise, BadArgumentsLeaveTheFilterAlone)
{
    matrix A = fst.cur_filter.A;
    act_tr_bandpass(new_varnode(xstrdup("nothing")), new_numb(1.0));
    act_tr_bandpass(new_numb(1.0), new_numb(-1.0));
    act_tr_lowpass(new_numb(0.0));
    EXPECT_EQ(fst.cur_filter.n, 2);
    EXPECT_EQ(fst.cur_filter.A.data, A.data);
    EXPECT_EQ(fst.cur_K.cols, 2);
    EXPECT_EQ(ist.exit_status, 1);
    EXPECT_EQ(p.report(), "");
}

TEST_F(Realise, ReportsFollowTheLevelOfBla)
{
    set_var_number("bla", 1);
    act_tr_bandpass(new_numb(1.0), new_numb(1.0));
    std::string r = p.report();
    std::string stars(26, '*');
    std::string title = stars + "    Bandpass Transform:     " + stars + "\n\n";
    ASSERT_EQ(r.substr(0, title.size()), title);
    EXPECT_EQ(r.substr(title.size(), 23), "\nBandpass filter:\n\nA =\n");
    EXPECT_NE(r.find("(4, 4)"), std::string::npos);
    act_tr_lowpass(new_numb(2.0));
    r = p.report();
    EXPECT_NE(r.find(std::string(27, '*') + "    Lowpass Transform:    " + std::string(27, '*') + "\n\n"
                     "\nTransformed Filter:\n\nA =\n"),
              std::string::npos);
}

}  // namespace

namespace {

// The numbers of the lines after the first of a report such as
// "Tops of F:\n%g\n%g\n".
std::vector<double> numbers_after_first_line(const std::string &r)
{
    std::vector<double> v;
    size_t pos = r.find('\n');
    while (pos != std::string::npos && pos + 1 < r.size()) {
        v.push_back(std::stod(r.substr(pos + 1)));
        pos = r.find('\n', pos + 1);
    }
    return v;
}

TEST(OutputTops, AgreeWithDenseSampling)
{
    program p;
    // (s + 0.5)(s^2 + 0.2 s + 4): a real pole and a resonance near w = 2,
    // with a zero pair below it.
    ss f = companion({2.0, 4.1, 0.7, 1.0}, {1.0, 0.0, 0.3});
    install(f);
    act_out_top_h();
    std::string rh = p.report();
    ASSERT_EQ(rh.substr(0, 10), "Top of H: ");
    double top_h = std::stod(rh.substr(10));
    double ref_h = 0;
    for (int k = 0; k < 200000; k++) {
        double w = 1e-3 * std::pow(1e6, k / 199999.0);
        ref_h = std::max(ref_h, std::abs(H_of(f, w)));
    }
    ref_h = std::max(ref_h, std::abs(H_of(f, 0.0)));
    EXPECT_NEAR(top_h, ref_h, 1e-5 * ref_h);

    act_out_top_f();
    std::string rf = p.report().substr(rh.size());
    ASSERT_EQ(rf.substr(0, 11), "Tops of F:\n");
    std::vector<double> tops = numbers_after_first_line(rf);
    dvec ref = sampled_tops(f, 1e-3, 1e3, 200000);
    ASSERT_EQ(tops.size(), ref.size());
    for (size_t i = 0; i < ref.size(); i++)
        EXPECT_NEAR(tops[i], ref[i], 1e-5 * ref[i]) << "F_" << i + 1;
}

}  // namespace
