// The frequency and time evaluators keep data made from the analysis filter
// (its Hessenberg form, the eigenvectors folded with B and C, the solves at
// the last frequency and time). `transform: scale` changes the current
// filter in place, through matrices that the analysis copy shares: the tables
// written afterwards must read the scaled filter, never what was kept from
// before.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tests/dynrange/dr_helpers.h"
#include "filter/plotfile.h"
#include "filter/sweep.h"
#include "filter/timeresp.h"
#include "interp/act_transform.h"

using namespace drt;

namespace {

// The rows of the tables in a written plot file, as numbers.
std::vector<dvec> table_rows(FILE *fp)
{
    fflush(fp);
    long end = ftell(fp);
    std::string text(end, '\0');
    rewind(fp);
    size_t got = fread(text.data(), 1, end, fp);
    text.resize(got);
    std::vector<dvec> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream f(line);
        dvec r;
        double x;
        while (f >> x)
            r.push_back(x);
        rows.push_back(r);
    }
    return rows;
}

// A frequency table (H, then F and G as real and imaginary parts) and a time
// table (impulse of H and F, step of G) of the current filter.
std::vector<dvec> write_tables()
{
    FILE *fp = tmpfile();
    init_plot_settings();
    set_freq_sweep(0.0, 3.0, 12, 0);
    set_time_sweep(1.0, 13.0, 12);
    plot_h_reim();
    plot_f_reim();
    plot_g_reim();
    plot_h_impulse();
    plot_f_impulse();
    plot_g_step();
    write_freq_table(fp, fst);
    write_time_table(fp, fst);
    clear_plot_columns();
    std::vector<dvec> rows = table_rows(fp);
    fclose(fp);
    return rows;
}

TEST(ResponseCaches, TablesAfterScaleReadTheScaledFilter)
{
    // 1/(s+1)^3 in companion form, and the same in a dense basis (the
    // Hessenberg route with an orthogonal basis change); both have a
    // singular eigenvector matrix, so the time table takes the exponential
    // route. A third-order lowpass with distinct poles takes the eigen route.
    ss repeated = companion({1, 3, 3, 1}, {1, 0.5, 0.2});
    ss distinct = companion({1, 2, 2, 1}, {1, -0.4, 0.3});
    matrix T = make_ss(3, {1, 0.3, -0.7, 0.2, 2, 0.1, -0.4, 0.9, 1.5}, {0, 0, 0}, {0, 0, 0}).A;
    ss filters[3] = {repeated, transform_ss(T, repeated), transform_ss(T, distinct)};
    const int n = 3;
    for (ss &f : filters) {
        program p;
        install(f);
        std::vector<dvec> before = write_tables();
        const double *c = fst.cur_filter.C.data;
        dvec C0(c, c + n);
        // keep the responses at the first time of the table
        matrix kept[2] = {f_t(fst.ana, 1.0), gs_t(fst.ana, 1.0)};
        freem(&kept[0]);
        freem(&kept[1]);
        act_tr_scale();
        ASSERT_EQ(ist.exit_status, 0);
        // scaled in place: the analysis copy still shares the matrices
        ASSERT_EQ(fst.ana.ana_ss.A.data, fst.cur_filter.A.data);
        ASSERT_EQ(fst.ana.ana_ss.B.data, fst.cur_filter.B.data);
        dvec t(n);
        for (int i = 0; i < n; i++)
            t[i] = fst.cur_filter.C.data[i] / C0[i];  // T = diag(t): C' = C T, B' = T^-1 B
        ASSERT_GT(std::fabs(t[0] - 1.0) + std::fabs(t[1] - 1.0) + std::fabs(t[2] - 1.0), 0.1);

        std::vector<dvec> after = write_tables();
        ASSERT_EQ(after.size(), 26u);
        // Frequency rows: w, Re H, Im H, (Re F_i, Im F_i) i = 1..3, (Re G_i, Im G_i).
        for (int k = 0; k <= 12; k++) {
            const dvec &r = after[k];
            ASSERT_EQ(r.size(), 15u);
            double w = r[0];
            std::vector<cplx> F = F_of(fst.cur_filter, w);
            cplx H = H_of(fst.cur_filter, w);
            EXPECT_NEAR(r[1], H.real(), 2e-6 * std::abs(H)) << "w = " << w;
            EXPECT_NEAR(r[2], H.imag(), 2e-6 * std::abs(H)) << "w = " << w;
            for (int i = 0; i < n; i++) {
                EXPECT_NEAR(r[3 + 2 * i], F[i].real(), 2e-6 * std::abs(F[i])) << "w = " << w;
                EXPECT_NEAR(r[4 + 2 * i], F[i].imag(), 2e-6 * std::abs(F[i])) << "w = " << w;
                // G' = C' R' = G T
                const dvec &b = before[k];
                EXPECT_NEAR(r[9 + 2 * i], b[9 + 2 * i] * t[i], 2e-6 * std::fabs(b[9 + 2 * i] * t[i]) + 1e-300);
                EXPECT_NEAR(r[10 + 2 * i], b[10 + 2 * i] * t[i], 2e-6 * std::fabs(b[10 + 2 * i] * t[i]) + 1e-300);
            }
        }
        // Time rows: t, impulse(H), impulse(F_i), step(G_i): H unchanged,
        // F_i divided by t_i, G_i times t_i.
        for (int k = 13; k < 26; k++) {
            const dvec &r = after[k], &b = before[k];
            ASSERT_EQ(r.size(), 8u);
            EXPECT_NEAR(r[1], b[1], 2e-6 * std::fabs(b[1]) + 1e-12) << "t = " << r[0];
            for (int i = 0; i < n; i++) {
                EXPECT_NEAR(r[2 + i], b[2 + i] / t[i], 2e-6 * std::fabs(b[2 + i] / t[i]) + 1e-12) << "t = " << r[0];
                EXPECT_NEAR(r[5 + i], b[5 + i] * t[i], 2e-6 * std::fabs(b[5 + i] * t[i]) + 1e-12) << "t = " << r[0];
            }
        }
    }
    freem(&T);
    free_ss(&distinct);
    free_ss(&repeated);
}

}  // namespace
