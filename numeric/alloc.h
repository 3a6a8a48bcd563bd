// Allocation of shared element arrays with the program's allocation check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "base/error.h"

// Size of an allocation made by shared_array, kept with the owner so that
// the routines that fill an existing array can test its capacity.
struct sized_delete {
    std::size_t size;
    template <class T>
    void operator()(T *p) const
    {
        delete[] p;
        release_numeric(size * sizeof(T));
    }
};

// The largest element count an array of T may have.
template <class T>
constexpr std::size_t max_elements()
{
    return static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(T);
}

// n zeroed elements held by a shared owner; a failed allocation ends the
// program with the given label.
template <class T>
std::shared_ptr<T[]> shared_array(std::size_t n, const char *label)
{
    // A count beyond what the address space can hold is a failed allocation
    // too (the array new would throw rather than return null).
    if (n > max_elements<T>())
        check_alloc(nullptr, label);
    reserve_numeric(n * sizeof(T), label);
    T *p = new (std::nothrow) T[n]();
    check_alloc(p, label);
    return std::shared_ptr<T[]>(p, sized_delete{n});
}

// Elements an array made by shared_array holds; -1 when the owner is
// unknown (an array not made here).
template <class T>
long shared_capacity(const std::shared_ptr<T[]> &s)
{
    const sized_delete *d = std::get_deleter<sized_delete>(s);
    return d ? static_cast<long>(d->size) : -1;
}

// A work array of n elements for LAPACK, freed at the end of the scope.
template <class T>
struct work_array {
    T *p = nullptr;
    std::size_t bytes = 0;
    explicit work_array(std::size_t n, const char *label = "workspace")
    {
        if (n > max_elements<T>())
            check_alloc(nullptr, label);
        bytes = (n > 0 ? n : 1) * sizeof(T);
        reserve_numeric(bytes, label);
        p = new (std::nothrow) T[n > 0 ? n : 1];
        check_alloc(p, label);
    }
    ~work_array()
    {
        delete[] p;
        release_numeric(bytes);
    }
    work_array(const work_array &) = delete;
    work_array &operator=(const work_array &) = delete;
};
