// Error reporting and allocation checks.
#include "base/error.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/expr.h"
#include "base/globals.h"

void error_print(const char *fmt, va_list ap)
{
    fputs("Error", stderr);
    if (!ist.interactive)
        fprintf(stderr, " in line %d", ist.line_no);
    fputs(": ", stderr);
    for (const char *p = fmt; *p; p++) {
        if (*p != '%') {
            fputc(*p, stderr);
            continue;
        }
        p++;
        if (!*p)
            break;
        switch (*p) {
        case 'd':
            fprintf(stderr, "%d", va_arg(ap, int));
            break;
        case 'f':
            fprintf(stderr, "%f", va_arg(ap, double));
            break;
        case 's': {
            const char *s = va_arg(ap, const char *);
            fputs(s ? s : "(null)", stderr);
            break;
        }
        case 'm':
            print_expr(stderr, va_arg(ap, expr_node *));
            break;
        default:
            fputc(*p, stderr);
            break;
        }
    }
    fputs(".\n", stderr);
}

void error(const char *fmt, ...)
{
    if (ist.quiet > 0)
        return;
    va_list ap;
    va_start(ap, fmt);
    error_print(fmt, ap);
    va_end(ap);
    ist.exit_status = 1;
}

void error_text(const char *fmt, ...)
{
    if (ist.quiet > 0)
        return;
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    ist.exit_status = 1;
}

void fatal(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    error_print(fmt, ap);
    va_end(ap);
    fatal_cleanup();
    exit(1);
}

void check_alloc(const void *ptr, const char *label)
{
    if (ptr)
        return;
    fprintf(stderr, "Error: could not allocate space for %s\n.", label);
    fatal_cleanup();
    exit(1);
}

static unsigned long numeric_bytes = 0;

void reserve_numeric(unsigned long bytes, const char *label)
{
    if (bytes > numeric_max_bytes - numeric_bytes)
        fatal("numeric arrays would take more than %d MB (%s)", static_cast<int>(numeric_max_bytes >> 20),
              label);
    numeric_bytes += bytes;
}

void release_numeric(unsigned long bytes)
{
    numeric_bytes -= bytes < numeric_bytes ? bytes : numeric_bytes;
}

void bad_tag(const char *source, int line, int tag)
{
    fprintf(stderr, "Fatal error: %s line %d: bad tag %d.\n", source, line, tag);
    fatal_cleanup();
    exit(1);
}

char *xstrdup(const char *s, const char *label)
{
    const size_t n = strlen(s) + 1;
    char *d = new (std::nothrow) char[n];
    check_alloc(d, label);
    memcpy(d, s, n);
    return d;
}

void xfree(char *p)
{
    delete[] p;
}

// The terminal restorer registered by the start-up code; it runs on every
// early way out so the terminal is never left in raw mode.
static void (*exit_hook)() = nullptr;

void set_fatal_cleanup(void (*hook)())
{
    exit_hook = hook;
}

void fatal_cleanup()
{
    if (exit_hook)
        exit_hook();
}
