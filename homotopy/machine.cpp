#include "homotopy/machine.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "base/error.h"

double D1MACH(const int &i)
{
    using lim = std::numeric_limits<double>;
    static const double table[5] = {lim::min(), lim::max(), lim::epsilon() / 2, lim::epsilon(), std::log10(2.0)};
    if (i < 1 || i > 5) {
        std::printf(" D1MACH(I): I =%12d is out of bounds.\n", i);
        std::fflush(stdout);
        fatal_cleanup();
        std::exit(1);
    }
    return table[i - 1];
}
