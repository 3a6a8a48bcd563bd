#include "filter/cmdtext.h"

#include "filter/ss.h"
#include "filter/sweep.h"
#include "base/getvar.h"
#include "numeric/matrix.h"

void print_input(FILE *out, const cap_ss &filter, int percount, int capflag)
{
    fprintf(out, "input:\n\norder = %d;\n\n", filter.n);
    fprintf(out, "A =\n");
    print_matrix_e(out, filter.A, percount);
    fprintf(out, "B =\n");
    print_matrix_e(out, filter.B, percount);
    fprintf(out, "C =\n");
    print_matrix_e(out, filter.C, percount);
    fprintf(out, "D = %e ;\n", filter.D);
    fprintf(out, ";\n");
    if (capflag && filter.cap) {
        for (int i = 0; i < filter.n; i++)
            fprintf(out, "C%d = %e ;\n", i + 1, filter.cap[i]);
    }
    fprintf(out, "\n");
}

void write_freq_settings(FILE *out)
{
    if (pst.hertz_flag)
        fprintf(out, "set: hertz;\n");
    if (pst.freq_defined)
        fprintf(out, "freq=%s(%e, %e, %d);\n", pst.freq_log ? "log" : "lin", pst.freq_start,
                pst.freq_stop, pst.freq_points);
}

int cmdtext_line_length()
{
    return per_line_count(getvar("fmax"));
}
