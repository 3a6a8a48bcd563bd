// Three-dimensional arrays of doubles (m3) and ints (im3), first index
// fastest: element (i, j, k) at data[(k d2 + j) d1 + i], the layout of the
// homotopy solver's arrays. Each record owns its elements.
#pragma once

#include <vector>

struct m3 {
    int d1 = 0;
    int d2 = 0;
    int d3 = 0;
    std::vector<double> data;
};

struct im3 {
    int d1 = 0;
    int d2 = 0;
    int d3 = 0;
    std::vector<int> data;
};

// d1 x d2 x d3 zeroed elements; a negative dimension prints its message and
// ends the program with status 1.
m3 newm3(int d1, int d2, int d3);
long m3index(const m3 &A, int i, int j, int k);
double m3_element(const m3 &A, int i, int j, int k);
// Releases the elements and zeroes the dimensions.
void free_m3(m3 *A);

im3 newim3(int d1, int d2, int d3);
long im3index(const im3 &A, int i, int j, int k);
int im3_element(const im3 &A, int i, int j, int k);
// Releases the elements and zeroes the dimensions.
void free_im3(im3 *A);
