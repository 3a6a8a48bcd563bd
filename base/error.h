// Error reporting and allocation checks shared by the whole program.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <new>
#include <stdexcept>

// Report a non-fatal error on standard error ("Error[ in line %d]: ...\n")
// and set the final exit status to 1. The private format knows %d, %f, %s
// and %m (an expression tree).
void error(const char *fmt, ...);
// Same report, then end the program with exit status 1.
[[noreturn]] void fatal(const char *fmt, ...);
void error_print(const char *fmt, va_list ap);
// A numerical routine's own error text, printf format given whole with its
// final newline ("inv3c: error\n"), on standard error; sets the final exit
// status to 1 like error() and returns.
void error_text(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// End the program when an allocation returned null.
void check_alloc(const void *ptr, const char *label);
// Runs grow(), which enlarges a standard container, and ends the program
// like check_alloc when the memory is not there (or the size is beyond the
// container's range).
template <class F>
void checked_growth(F &&grow, const char *label)
{
    try {
        grow();
    } catch (const std::bad_alloc &) {
        check_alloc(nullptr, label);
    } catch (const std::length_error &) {
        check_alloc(nullptr, label);
    }
}
// A std::vector resized or grown by one, under checked_growth.
template <class V>
void checked_resize(V &v, size_t n, const char *label)
{
    checked_growth([&] { v.resize(n); }, label);
}
template <class V, class T>
void checked_push(V &v, T &&x, const char *label)
{
    checked_growth([&] { v.push_back(static_cast<T &&>(x)); }, label);
}
// The memory bound of the numeric arrays (matrices, vectors, work arrays,
// plot arrays): all of them alive at one time take at most 768 MB. An
// allocation that would pass it is refused before it is made: the run ends
// with "numeric arrays would take more than 768 MB (LABEL)".
constexpr unsigned long numeric_max_bytes = 768ul << 20;
void reserve_numeric(unsigned long bytes, const char *label);
void release_numeric(unsigned long bytes);
[[noreturn]] void bad_tag(const char *source, int line, int tag);
// A copy of the name s that xfree releases; the program ends with "could
// not allocate space for LABEL" when there is no memory for it.
char *xstrdup(const char *s, const char *label = "VAR");
void xfree(char *p);

// Every early way out of the program (fatal, check_alloc, bad_tag, the
// scanner's own faults, a parser give-up, a signal) calls fatal_cleanup()
// before it exits; start-up registers there what must be undone (the
// terminal settings). Safe to call more than once.
void set_fatal_cleanup(void (*hook)());
void fatal_cleanup();
