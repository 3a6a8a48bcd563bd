#include "base/globals.h"

interp_state ist;

FILE *report_stream()
{
    return ist.out_fp ? ist.out_fp : stdout;
}
