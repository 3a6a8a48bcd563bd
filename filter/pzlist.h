// The pole/zero list and its realisation as a cascade of first- and
// second-order sections.
#pragma once

#include <vector>

#include "filter/ss.h"

// One list entry: a pole (a conjugate pair when pole_im != 0) and, when
// has_zero is 1, its zero (a conjugate pair when zero_im != 0). Imaginary
// parts are kept as magnitudes.
struct pz_entry {
    double pole_re = 0.0;
    double pole_im = 0.0;
    double zero_re = 0.0;
    double zero_im = 0.0;
    int has_zero = 0;
};

// The program-wide list filled by `cascade` and by the approximations.
struct pz_state {
    std::vector<pz_entry> entries;
};
extern pz_state pz_list;

// A new empty list (an existing one is released).
void pz_new();
// Releases the list; harmless when there is none.
void pz_free();
// Appends the pole (re, |im|) without zero.
void pz_add_pole(double re, double im);
// Sets the zero (re, |im|) of the last pole; an empty list ends the program.
void pz_add_zero(double re, double im);
// The cascade of one section per entry, in list order. The distribution of
// the damping inside a biquad comes from the variable `cascdist` (0.5 when
// it is not defined). A real pole given a complex zero is refused: error
// and an order-0 record.
ss pz_cascade();

// The section of one entry with damping distribution d.
ss pz_section(const pz_entry &e, double d);
// Series connection: the output of c drives s. Both records are released;
// the result has fresh matrices.
ss append_section(ss c, ss s);
