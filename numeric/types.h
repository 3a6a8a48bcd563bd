// Value types of the numerical library.
//
// Every record is a small value passed and returned by value. A copy of a
// record shares its element array: the in-place routines (scaling of a
// filter, matrix_set, ...) write through any copy and every holder sees the
// change. The array itself is held by a shared owner, so it lives exactly as
// long as some record still refers to it: freeing one handle (freem and its
// twins) releases that handle only, and a record that goes out of scope
// without being freed does not leak.
#pragma once

#include <cstddef>
#include <memory>

// The element pointer of a record. A normal build uses a plain pointer. The
// checking build (cmake -DTEVO_DEEP_CONST=ON) uses a pointer whose
// constness follows the record's, so that a routine that writes elements
// through a `const T&` fails to compile: what a call may change is then
// visible in its signature (see the Layout section of the README).
#ifdef TEVO_DEEP_CONST
template <class T>
struct elem_ptr {
    T *p = nullptr;
    elem_ptr() = default;
    elem_ptr(T *q) : p(q) {}
    elem_ptr &operator=(T *q)
    {
        p = q;
        return *this;
    }
    operator T *() { return p; }
    operator const T *() const { return p; }
    T &operator[](std::ptrdiff_t i) { return p[i]; }
    const T &operator[](std::ptrdiff_t i) const { return p[i]; }
    T *operator->() { return p; }
    const T *operator->() const { return p; }
    T &operator*() { return *p; }
    const T &operator*() const { return *p; }
    T *operator+(std::ptrdiff_t i) { return p + i; }
    const T *operator+(std::ptrdiff_t i) const { return p + i; }
};
#else
template <class T>
using elem_ptr = T *;
#endif

struct complex {
    double re;
    double im;
};

struct matrix {
    int rows = 0;
    int cols = 0;
    elem_ptr<double> data = nullptr;           // column-major: (i, j) at data[j*rows + i]
    std::shared_ptr<double[]> store;  // keeps data alive while any copy holds it
};

struct cmatrix {
    int rows = 0;
    int cols = 0;
    elem_ptr<complex> data = nullptr;
    std::shared_ptr<complex[]> store;
};

struct vector {
    int n = 0;
    elem_ptr<double> data = nullptr;
    std::shared_ptr<double[]> store;
};

struct ivector {
    int n = 0;
    elem_ptr<int> data = nullptr;
    std::shared_ptr<int[]> store;
};

struct poly {
    elem_ptr<double> coef = nullptr;  // coef[k] multiplies s^k, k = 0 .. degree
    int degree = -1;         // -1: the empty polynomial
    std::shared_ptr<double[]> store;
};

struct rootlist {
    elem_ptr<complex> roots = nullptr;
    int n = 0;
    std::shared_ptr<complex[]> store;
};
