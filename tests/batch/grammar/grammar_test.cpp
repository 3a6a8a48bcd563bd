// The grammar with recording actions: every statement and item reaches its
// action, with the values of its constants and the trees of its expressions,
// at the moment its last token has been read; error recovery, abandoning a
// statement, bye, and the parser's results.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/expr.h"
#include "base/globals.h"
#include "interp/parse.h"
#include "interp/scanner.h"
#include "recorder.h"

void yyrestart(FILE *);

namespace {

struct run_result {
    int status;
    std::vector<std::string> calls;
    std::string err;
};

// The first differing call, so that a long list shows where it went wrong.
void expect_calls(const std::vector<std::string> &got, const std::vector<std::string> &want)
{
    for (size_t i = 0; i < got.size() && i < want.size(); i++)
        if (got[i] != want[i]) {
            ADD_FAILURE() << "call " << i << ": got \"" << got[i] << "\", expected \"" << want[i] << "\"";
            return;
        }
    EXPECT_EQ(got.size(), want.size()) << (got.size() > want.size() ? "extra call: " + got[want.size()]
                                                                  : "missing call: " + want[got.size()]);
}

class GrammarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() / ("tevo_grammar_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void file(const std::string &name, const std::string &text)
    {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    run_result parse(const std::string &text)
    {
        file("cmd.in", text);
        std::string cwd = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        FILE *in = fopen("cmd.in", "r");
        yyin = in;
        yyrestart(in);
        ist.vars = new_varlist();
        ist.out_fp = stdout;
        ist.interactive = 0;
        ist.line_no = 1;
        ist.exit_status = 0;
        calls.clear();
        testing::internal::CaptureStderr();
        int r = yyparse();
        std::string err = testing::internal::GetCapturedStderr();
        delete_input_buffer();
        fclose(in);
        free_varlist_all(ist.vars);
        ist.vars = nullptr;
        std::filesystem::current_path(cwd);
        return {r, calls, err};
    }

    std::filesystem::path dir_;
};

TEST_F(GrammarTest, EveryStatementReachesItsActionAtItsLastToken)
{
    file("inc.cmd", "output: \"inside\";\n");
    run_result r = parse(
        "input: order = 2;\n"                                                              // 1
        "A = 1 -2\n"                                                                       // 2
        "3 4;\n"                                                                           // 3
        "B = 1 0; C = 0 1;\n"                                                              // 4
        "D = 0.5;\n"                                                                       // 5
        "input: order = 1; A = 1; B = -1.5; C = +2;;\n"                                    // 6
        "caps = 1e-12 2E-12;\n"                                                            // 7
        "chebyshev(3, 0.5); butterworth(+4); cauer(5, 1, 2.5);\n"                          // 8
        "bessel(2); gauss(3); tgauss(4, 0.1, -1); bc(3, .5, 2d-1); bessel_chebyshev(3, 1, 2);\n"  // 9
        "ic(3, 0.25); rgd(4, 0.01);\n"                                                     // 10
        "cascade(pole(-1), pole(-0.5, 2) zero(0, 3), pole(-2) zero(1));\n"                 // 11
        "output: W k poles zeros dr filter xx caps \"text\" denominator numerator top(H) top(f) bias;\n"  // 12
        "transform: do do2 do2 step = 0.5 do3 step = 1 do4 do4 steps = 7 scale;\n"          // 13
        "transform: scalew(x + 1) scalek(2) bandpass(1, y) lowpass(2 * z) orthogonal transpose;\n"  // 14
        "transform: ladder ladder (0.5, 1) optladder (grid = 3) optladder optladder2(3);\n"  // 15
        "plot: magn(H) phase(G) delay(F) db(h) g dropfact drscfact drfact relsens relsens 2 sens\n"  // 16
        "  sens -1 abssens abssens 3 onoise dr outputcurrents impulse(G) step(F) col;\n"   // 17
        "xplot: H;\n"                                                                      // 18
        "set: optc eqc som nosom num sol sfr mfr evalc rps hertz scale_inf scale2 symbolic 2;\n"  // 19
        "freq = lin(1, 2 * pi, 10); freq = log(0.1, 10, 5); time = lin(0, 1, 3);\n"        // 20
        ".debug = 2; scale_grid = 40; bla = 1; xx = 2;\n"                                  // 21
        "write \"f.txt\"; writesp \"l1\" \"l2\"; writesp;\n"                               // 22
        "history; read \"inc.cmd\";\n"                                                     // 23
        "; output: \"after\";\n"                                                           // 24, counted 25
        "bye ; output: \"never\";\n");
    std::vector<std::string> want = {
        "1 act_start_reset",
        "1 act_input_begin", "1 act_set_order 2",
        "2 act_a_start", "2 act_row_number 1", "2 act_row_number -2",
        "3 act_row_number 3", "3 act_row_number 4", "3 act_row_end", "3 act_a_end",
        "4 act_b_start", "4 act_row_number 1", "4 act_row_number 0", "4 act_row_end", "4 act_b_end",
        "4 act_c_start", "4 act_row_number 0", "4 act_row_number 1", "4 act_row_end", "4 act_c_end",
        "5 act_d_part 0.5", "5 act_input_end",
        "6 act_input_begin", "6 act_set_order 1",
        "6 act_a_start", "6 act_row_number 1", "6 act_row_end", "6 act_a_end",
        "6 act_b_start", "6 act_row_number -1.5", "6 act_row_end", "6 act_b_end",
        "6 act_c_start", "6 act_row_number 2", "6 act_row_end", "6 act_c_end",
        "6 act_input_end",
        "7 act_caps_start", "7 act_row_number 1e-12", "7 act_row_number 2e-12", "7 act_row_end", "7 act_caps_end",
        "8 act_chebyshev 3 0.5", "8 act_butterworth 4", "8 act_cauer 5 1 2.5",
        "9 act_bessel 2", "9 act_gauss 3", "9 act_tgauss 4 0.1 -1", "9 act_bessel_chebyshev 3 0.5 0.2",
        "9 act_bessel_chebyshev 3 1 2",
        "10 act_ic 3 0.25", "10 act_rgd 4 0.01",
        "11 act_cascade_start", "11 act_pole -1 0", "11 act_pole -0.5 2", "11 act_zero 0 3",
        "11 act_pole -2 0", "11 act_zero 1 0", "11 act_cascade_end",
        "12 act_out_w", "12 act_out_k", "12 act_out_poles", "12 act_out_zeros", "12 act_out_dr",
        "12 act_out_filter", "12 act_out_name xx", "12 act_out_caps", "12 act_out_string \"text\"",
        "12 act_out_denominator", "12 act_out_numerator", "12 act_out_top_h", "12 act_out_top_f",
        "12 act_out_bias",
        "13 act_tr_do", "13 act_tr_do2 0.1", "13 act_tr_do2 0.5", "13 act_tr_do3 1", "13 act_tr_do4 3",
        "13 act_tr_do4 7", "13 act_tr_scale", "13 act_transform_end",
        "14 act_tr_scalew ( x + 1 )", "14 act_tr_scalek 2", "14 act_tr_bandpass 1 y",
        "14 act_tr_lowpass ( 2 * z )", "14 act_tr_orthogonal", "14 act_tr_transpose", "14 act_transform_end",
        "15 act_ladder_start", "15 act_tr_ladder", "15 act_ladder_start", "15 act_ladder_weight 0.5",
        "15 act_ladder_weight 1", "15 act_tr_ladder", "15 act_optladder_start", "15 act_ladder_grid 3",
        "15 act_tr_optladder", "15 act_optladder_start", "15 act_tr_optladder", "15 act_tr_optladder2 3",
        "15 act_transform_end",
        "16 act_plot_start", "16 act_plot_magn 0", "16 act_plot_phase 1", "16 act_plot_delay 2",
        "16 act_plot_db 0", "16 act_plot_reim 1", "16 act_plot_dropfact", "16 act_plot_drscfact",
        "16 act_plot_drfact", "16 act_plot_relsens 1", "16 act_plot_relsens 2",
        // A bare sens at the end of line 16 is complete only when the next token shows no index.
        "17 act_plot_sens 1", "17 act_plot_sens -1", "17 act_plot_abssens 1",
        "17 act_plot_abssens 3", "17 act_plot_onoise", "17 act_plot_dr", "17 act_plot_outputcurrents",
        "17 act_plot_impulse 1", "17 act_plot_step 2", "17 act_plot_name col", "17 act_plot_end",
        "18 act_xplot_start", "18 act_plot_reim 0", "18 act_xplot_end",
        "19 act_set_optc", "19 act_set_eqc", "19 act_set_som", "19 act_set_nosom", "19 act_set_num",
        "19 act_set_sol", "19 act_set_sfr", "19 act_set_mfr", "19 act_set_evalc", "19 act_set_rps",
        "19 act_set_hertz", "19 act_set_scale_inf", "19 act_set_scale2", "19 act_set_symbolic 2",
        "20 act_freq_sweep 1 ( 2 * pi ) 10 0", "20 act_freq_sweep 0.1 10 5 1", "20 act_time_sweep 0 1 3",
        "21 act_debug 2", "21 act_scale_grid 40", "21 act_bla 1", "21 act_assign xx 2",
        "22 act_write \"f.txt\"", "22 act_writesp_start", "22 act_writesp_string \"l1\"",
        "22 act_writesp_string \"l2\"", "22 act_writesp_end", "22 act_writesp_start", "22 act_writesp_end",
        "23 act_history", "23 act_read \"inc.cmd\"",
        "23 act_out_string \"inside\"",
        // The included line counts: line 24 of the file is line 25 for the scanner.
        "25 act_out_string \"after\"",
    };
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    expect_calls(r.calls, want);
}

TEST_F(GrammarTest, ExpressionTrees)
{
    struct {
        const char *text;
        const char *tree;
    } cases[] = {
        {"x - y - z", "( ( x - y ) - z )"},
        {"x / y / z", "( ( x / y ) / z )"},
        {"x ^ y ^ z", "( x ^ ( y ^ z ) )"},
        {"- x ^ y", "-( ( x ^ y ) )"},
        {"- x * y", "( -( x ) * y )"},
        {"x * - y", "( x * -( y ) )"},
        {"x ^ - y", "( x ^ -( y ) )"},
        {"sin x ^ y", "( sin( x ) ^ y )"},
        {"sin x * y", "( sin( x ) * y )"},
        {"exp - x", "exp( -( x ) )"},
        {"sin - x ^ y", "sin( -( ( x ^ y ) ) )"},
        {"+ x + + y", "( x + y )"},
        {"x + y * z - 4 / 2", "( ( x + ( y * z ) ) - ( 4 / 2 ) )"},
        {"(x + y) * z", "( ( x + y ) * z )"},
        {"abs asin acos tan atan log log10 sqrt cos x",
         "abs( asin( acos( tan( atan( log( log10( sqrt( cos( x ) ) ) ) ) ) ) ) )"},
        {"sn(x, 0.5) + cn(1, y) * dn(x + 1, z)", "( sn( x, 0.5 ) + ( cn( 1, y ) * dn( ( x + 1 ), z ) ) )"},
        {"2.5e3 * 1D-3", "( 2500 * 0.001 )"},
    };
    for (auto &c : cases) {
        run_result r = parse(std::string("v = ") + c.text + ";\n");
        ASSERT_EQ(r.calls.size(), 2u) << c.text << "\n" << r.err;
        EXPECT_EQ(r.calls[1], std::string("1 act_assign v ") + c.tree) << c.text;
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(GrammarTest, ErrorRecovery)
{
    run_result r = parse("output: xx 1 yy; output: \"next\";\n"
                         "x = ) ) ) ;\n"
                         "output \"no colon\"; output: \"ok\";\n");
    std::vector<std::string> want = {
        "1 act_start_reset", "1 act_out_name xx", "1 act_input_abandon", "1 act_writesp_abort",
        "1 act_out_string \"next\"",
        // Three bad tokens in a row: one message.
        "2 act_input_abandon", "2 act_writesp_abort",
        "3 act_input_abandon", "3 act_writesp_abort", "3 act_out_string \"ok\"",
    };
    expect_calls(r.calls, want);
    EXPECT_EQ(r.err, "parse error in line 1.\nparse error in line 2.\nparse error in line 3.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ist.exit_status, 1);
}

// The begin hook runs before the order is read, so a syntax error inside
// the order item is already within the statement and gives it up.
TEST_F(GrammarTest, InputBeginsBeforeItsOrder)
{
    run_result r = parse("input: order = x;\noutput: \"next\";\n");
    std::vector<std::string> want = {"1 act_start_reset", "1 act_input_begin", "1 act_input_abandon",
                                     "1 act_writesp_abort", "2 act_out_string \"next\""};
    expect_calls(r.calls, want);
    EXPECT_EQ(r.err, "parse error in line 1.\n");
}

TEST_F(GrammarTest, AnActionCanAbandonItsStatementWithoutParseError)
{
    abandon_caps = true;
    run_result r = parse("caps = 1 2 3; output: \"next\";\n");
    abandon_caps = false;
    std::vector<std::string> want = {"1 act_start_reset", "1 act_caps_start", "1 act_input_abandon",
                                     "1 act_writesp_abort", "1 act_out_string \"next\""};
    expect_calls(r.calls, want);
    EXPECT_EQ(r.err, "");
}

TEST_F(GrammarTest, IntegerContextsRefuseHugeIntegers)
{
    run_result r = parse("butterworth(3000000000); bessel(-2147483648); x = 3000000000;\n");
    std::vector<std::string> want = {"1 act_start_reset", "1 act_input_abandon", "1 act_writesp_abort",
                                     "1 act_bessel -2147483648", "1 act_assign x 3e+09"};
    expect_calls(r.calls, want);
    EXPECT_EQ(r.err, "Error in line 1: integer 3000000000 is too large.\n");
}

// A left-associative chain grows the tree, not the parser stack: every walk
// over such a tree recurses once per level, so a million terms would crash
// it. Chains are taken up to the stack's own depth and refused beyond.
TEST_F(GrammarTest, LongChainsStopAtTheStackDepth)
{
    auto chain = [](int terms, const char *op) {
        std::string t = "1";
        for (int i = 1; i < terms; i++)
            t += op + std::string("1");
        return t;
    };
    struct {
        std::string text;
        bool taken;
    } cases[] = {
        {chain(10000, "+"), true},   // 9999 operators: depth 10000
        {chain(10001, "+"), false},
        {chain(10001, "*"), false},
        {chain(10001, "-"), false},
        {chain(1000000, "/"), false},
        {"(" + chain(10000, "+") + ") * 2", false},
        {"sin(" + chain(9998, "-") + ") + 2", true},   // sin counts as a level
    };
    for (auto &c : cases) {
        run_result r = parse("v = " + c.text + "; output: \"next\";\n");
        ASSERT_EQ(r.calls.size(), c.taken ? 3u : 4u) << c.text.substr(0, 40);
        EXPECT_EQ(r.calls[1].rfind(c.taken ? "1 act_assign v (" : "1 act_input_abandon", 0), 0u)
            << c.text.substr(0, 40);
        EXPECT_EQ(r.calls.back(), "1 act_out_string \"next\"");
        EXPECT_EQ(r.err, c.taken ? "" : "Error in line 1: expression nested too deeply.\n");
        EXPECT_EQ(r.status, 0);
    }
}

// A long token is scanned in time linear in its length: the refills move
// the unfinished token to the start of the buffer and scan it again, which
// with blocks of a fixed size (8192 bytes) cost L^2 / 8192, about 2e9 bytes
// here for each of these 4 MB tokens. Linear, it is a small multiple of L.
TEST_F(GrammarTest, LongTokensCostTheirLength)
{
    const size_t L = 4u << 20;
    std::string many_lines;
    while (many_lines.size() < L)
        many_lines += "a line of a long string\n";
    struct {
        const char *what;
        std::string text;
        std::string call;  // the statement's call (its first 40 bytes are compared)
    } cases[] = {
        {"name", std::string(L, 'x') + " = 1;", "1 act_assign " + std::string(27, 'x')},
        {"blanks", "output:" + std::string(L, ' ') + "\"b\";", "1 act_out_string \"b\""},
        {"tabs and blanks", "output:" + std::string(L, '\t') + "\"b\";", "1 act_out_string \"b\""},
        {"comment", "#" + std::string(L, 'c') + "\noutput: \"b\";", "2 act_out_string \"b\""},
        {"string", "output: \"" + std::string(L, 's') + "\";", "1 act_out_string \"" + std::string(22, 's')},
        {"string of lines", "output: \"" + many_lines + "\";", "1 act_out_string \"" + many_lines},
        {"digits", "x = " + std::string(L, '0') + "7;", "1 act_assign x 7"},
    };
    for (auto &c : cases) {
        unsigned long long before = scanner_rescanned_bytes();
        run_result r = parse(c.text + "\n");
        unsigned long long work = scanner_rescanned_bytes() - before;
        EXPECT_LE(work, 6ull * c.text.size()) << c.what;
        ASSERT_EQ(r.calls.size(), 2u) << c.what;
        EXPECT_EQ(r.calls[1].substr(0, 40), c.call.substr(0, 40)) << c.what;
        EXPECT_EQ(r.err, "") << c.what;
    }
}

TEST_F(GrammarTest, ParserResults)
{
    struct {
        std::string text;
        int status;
        const char *err;
    } cases[] = {
        {"", 0, ""},
        {"output: \"a\"; bye output: \"b\"", 0, ""},
        {"x = 1", 1, "parse error in line 1.\n"},
        {"output: \"a\" ; x = (", 1, "parse error in line 1.\n"},
        {"x = " + std::string(10000, '(') + "1;", 2, "parser stack overflow in line 1.\n"},
        {"x = " + std::string(3000, '(') + "1" + std::string(3000, ')') + ";", 0, ""},
    };
    for (auto &c : cases) {
        run_result r = parse(c.text);
        EXPECT_EQ(r.status, c.status) << c.text.substr(0, 40);
        EXPECT_EQ(r.err, c.err) << c.text.substr(0, 40);
    }
}

}  // namespace
