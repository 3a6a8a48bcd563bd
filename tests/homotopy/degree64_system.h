// Three quartic equations with 64 finite, distinct roots (the top-degree
// parts x_j^4 + 0.3 x_(j+1)^2 x_(j+2)^2 have no common nonzero root, so no
// path goes to infinity).
#pragma once

#include <vector>

#include "system_fixture.h"

inline std::vector<std::vector<term_spec>> degree64_system()
{
    std::vector<std::vector<term_spec>> eqs(3);
    const double cst[3] = {1.0, -0.7, 0.4};
    for (int j = 0; j < 3; j++) {
        const int a = j, b = (j + 1) % 3, c = (j + 2) % 3;
        auto mono = [&](int ea, int eb, int ec) {
            std::vector<int> x(3);
            x[a] = ea;
            x[b] = eb;
            x[c] = ec;
            return x;
        };
        eqs[j] = {{1.0, mono(4, 0, 0)},
                  {0.3, mono(0, 2, 2)},
                  {-1.0, mono(0, 1, 0)},
                  {0.5, mono(1, 0, 1)},
                  {-cst[j], mono(0, 0, 0)}};
    }
    return eqs;
}
