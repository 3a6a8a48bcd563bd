// Arrays of MPFR numbers of one precision, zero at the start and released
// with the scope; their limbs are counted against the bound of the numeric
// arrays.
#pragma once

#include <mpfr.h>

#include <cstddef>

#include "numeric/alloc.h"

struct mp_array {
    std::size_t count, bytes;
    work_array<__mpfr_struct> v;
    mp_array(std::size_t n, mpfr_prec_t bits, const char *label = "extended-precision numbers")
        : count(n), bytes(n * mpfr_custom_get_size(bits)), v(n, label)
    {
        reserve_numeric(bytes, label);
        for (std::size_t k = 0; k < n; k++) {
            mpfr_init2(&v.p[k], bits);
            mpfr_set_zero(&v.p[k], 1);
        }
    }
    ~mp_array()
    {
        for (std::size_t k = 0; k < count; k++)
            mpfr_clear(&v.p[k]);
        release_numeric(bytes);
    }
    mp_array(const mp_array &) = delete;
    mp_array &operator=(const mp_array &) = delete;
    __mpfr_struct *operator[](std::size_t k) { return &v.p[k]; }
    const __mpfr_struct *operator[](std::size_t k) const { return &v.p[k]; }
    std::size_t size() const { return count; }
};
