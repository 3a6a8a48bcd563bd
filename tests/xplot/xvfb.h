// Helpers of the window tests: a private virtual X server, child processes
// (tevo, xdotool, xwd), and screenshots read from the xwd format.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace xtest {

using clock = std::chrono::steady_clock;

inline void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A child process with its standard output (optionally) caught in a pipe.
struct child {
    pid_t pid = -1;
    int out_fd = -1;
};

// Starts argv[0] (searched in PATH) with the extra environment entries
// NAME=VALUE (an entry "NAME=" with nothing after it removes NAME), in dir
// when it is not empty. Standard input is /dev/null; standard output goes to
// a pipe when catch_out is set, else to out_file when given; standard error
// to err_file when given.
inline child spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                   bool catch_out, const std::string &dir = "", const std::string &out_file = "",
                   const std::string &err_file = "", int keep_fd = -1)
{
    int pfd[2] = {-1, -1};
    if (catch_out && pipe(pfd) != 0)
        return {};
    pid_t pid = fork();
    if (pid < 0)
        return {};
    if (pid == 0) {
        // A child left behind by a test that dies is ended with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        for (const auto &e : env) {
            auto eq = e.find('=');
            std::string name = e.substr(0, eq), value = e.substr(eq + 1);
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            _exit(126);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        if (catch_out) {
            dup2(pfd[1], 1);
            close(pfd[0]);
            close(pfd[1]);
        }
        else if (!out_file.empty()) {
            int fd = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
        }
        if (!err_file.empty()) {
            int fd = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 2);
        }
        for (int fd = 3; fd < 256; fd++)
            if (fd != keep_fd)
                close(fd);
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    child c;
    c.pid = pid;
    if (catch_out) {
        close(pfd[1]);
        c.out_fd = pfd[0];
    }
    return c;
}

// Waits up to timeout_ms for the child; returns its exit status (128 +
// signal after a signal), or -1 on timeout (the child is then killed).
inline int wait_child(pid_t pid, int timeout_ms)
{
    auto end = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int st = 0;
        pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid)
            return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        if (r < 0)
            return -1;
        if (clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            return -1;
        }
        sleep_ms(20);
    }
}

// Runs a command to its end; its output in *out. Returns the exit status.
inline int run(const std::vector<std::string> &argv, const std::vector<std::string> &env,
               std::string *out = nullptr, int timeout_ms = 10000)
{
    child c = spawn(argv, env, true);
    if (c.pid < 0)
        return -1;
    std::string text;
    char buf[65536];
    fcntl(c.out_fd, F_SETFL, O_NONBLOCK);
    auto end = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        ssize_t n = read(c.out_fd, buf, sizeof buf);
        if (n > 0) {
            text.append(buf, n);
            continue;
        }
        if (n == 0)
            break;
        if (clock::now() > end)
            break;
        sleep_ms(5);
    }
    close(c.out_fd);
    int st = wait_child(c.pid, std::max<int>(100, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now()).count())));
    if (out)
        *out = text;
    return st;
}

// A virtual X server of its own, on the first free display number.
struct xvfb {
    pid_t pid = -1;
    std::string display;  // ":N"
    std::string why_not;  // why no server could be started

    bool start()
    {
        int pfd[2];
        if (pipe(pfd) != 0) {
            why_not = "no pipe for Xvfb";
            return false;
        }
        std::string fd = std::to_string(pfd[1]);
        child c = spawn({"Xvfb", "-displayfd", fd, "-screen", "0", "640x480x24", "-nolisten", "tcp"},
                        {}, false, "", "/dev/null", "/dev/null", pfd[1]);
        close(pfd[1]);
        if (c.pid < 0) {
            close(pfd[0]);
            why_not = "cannot start Xvfb";
            return false;
        }
        pid = c.pid;
        fcntl(pfd[0], F_SETFL, O_NONBLOCK);
        std::string num;
        auto end = clock::now() + std::chrono::seconds(15);
        while (clock::now() < end) {
            char ch;
            ssize_t n = read(pfd[0], &ch, 1);
            if (n == 1) {
                if (ch == '\n')
                    break;
                num += ch;
                continue;
            }
            if (n == 0)
                break;
            int st;
            if (waitpid(pid, &st, WNOHANG) == pid) {
                pid = -1;
                break;
            }
            sleep_ms(10);
        }
        close(pfd[0]);
        if (num.empty()) {
            why_not = pid < 0 ? "Xvfb is not installed or ended at once"
                              : "Xvfb gave no display number";
            stop();
            return false;
        }
        display = ":" + num;
        return true;
    }

    void stop()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            if (wait_child(pid, 5000) < 0)
                kill(pid, SIGKILL);
        }
        pid = -1;
    }

    ~xvfb() { stop(); }
};

// A screenshot: rows of 0xRRGGBB pixels.
struct image {
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
    int count(uint32_t rgb) const
    {
        int n = 0;
        for (uint32_t p : px)
            n += p == rgb;
        return n;
    }
    bool operator==(const image &o) const
    {
        return width == o.width && height == o.height && px == o.px;
    }
};

inline uint32_t be32(const unsigned char *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Reads the xwd dump of a 24- or 32-bit TrueColor window.
inline bool parse_xwd(const std::string &data, image *img)
{
    if (data.size() < 100)
        return false;
    auto *d = reinterpret_cast<const unsigned char *>(data.data());
    uint32_t header_size = be32(d), version = be32(d + 4);
    uint32_t width = be32(d + 16), height = be32(d + 20);
    uint32_t byte_order = be32(d + 28);
    uint32_t bpp = be32(d + 44), bpl = be32(d + 48);
    uint32_t rmask = be32(d + 56), gmask = be32(d + 60), bmask = be32(d + 64);
    uint32_t ncolors = be32(d + 76);
    if (version != 7 || (bpp != 32 && bpp != 24) || rmask == 0)
        return false;
    size_t off = header_size + static_cast<size_t>(ncolors) * 12;
    if (data.size() < off + static_cast<size_t>(bpl) * height)
        return false;
    auto shift = [](uint32_t m) {
        int s = 0;
        while (!(m & 1)) {
            m >>= 1;
            s++;
        }
        return s;
    };
    int rs = shift(rmask), gs = shift(gmask), bs = shift(bmask);
    img->width = static_cast<int>(width);
    img->height = static_cast<int>(height);
    img->px.assign(static_cast<size_t>(width) * height, 0);
    int bytes = static_cast<int>(bpp / 8);
    for (uint32_t y = 0; y < height; y++)
        for (uint32_t x = 0; x < width; x++) {
            const unsigned char *p = d + off + static_cast<size_t>(y) * bpl + x * bytes;
            uint32_t v = 0;
            for (int b = 0; b < bytes; b++)
                v |= byte_order == 0 ? uint32_t(p[b]) << (8 * b)
                                     : uint32_t(p[b]) << (8 * (bytes - 1 - b));
            uint32_t r = (v & rmask) >> rs, g = (v & gmask) >> gs, bl = (v & bmask) >> bs;
            img->px[static_cast<size_t>(y) * width + x] = (r << 16) | (g << 8) | bl;
        }
    return true;
}

}  // namespace xtest
