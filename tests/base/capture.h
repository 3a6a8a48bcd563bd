// Captures what a piece of code writes to standard error or to a stream.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

inline std::string read_all(FILE *f)
{
    std::string s;
    rewind(f);
    int c;
    while ((c = fgetc(f)) != EOF)
        s += static_cast<char>(c);
    return s;
}

inline std::string capture_stderr(const std::function<void()> &fn)
{
    fflush(stderr);
    FILE *tmp = tmpfile();
    int saved = dup(2);
    dup2(fileno(tmp), 2);
    fn();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string s = read_all(tmp);
    fclose(tmp);
    return s;
}

inline std::string capture_stream(const std::function<void(FILE *)> &fn)
{
    FILE *tmp = tmpfile();
    fn(tmp);
    fflush(tmp);
    std::string s = read_all(tmp);
    fclose(tmp);
    return s;
}
