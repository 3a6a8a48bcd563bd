// Checked output files: written beside the target and renamed over it only
// when everything was written.
#include "base/outfile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/globals.h"

namespace {

// Files open at one time: the report, the plot file, a `write` or `writesp`
// file and the debug dumps; a few spare.
constexpr int max_open = 8;

struct out_slot {
    volatile sig_atomic_t in_use = 0;
    volatile sig_atomic_t has_temp = 0;  // temp[] names a file to remove on failure
    FILE *fp = nullptr;
    int fd = -1;
    int err = 0;          // the first failure (an errno value), 0 while all is well
    bool report = false;  // installed also on an early exit
    std::string name;     // as the user gave it, for messages
    std::string target;   // the file the temporary file is renamed over
    char temp[PATH_MAX + 16] = {};
};

out_slot slots[max_open];
bool exit_hook_set = false;

// The stream's own write: every byte is handed to the file or the first
// failure is kept with its reason. The stream is always told that the bytes
// went out: the failure is reported when the file is committed, nothing more
// is written after it (the file is lost anyway), and stdio never meets a
// failing write (a failed write in the middle of a long fprintf made it read
// past the text it was copying).
ssize_t slot_write(void *cookie, const char *buf, size_t size)
{
    out_slot *s = static_cast<out_slot *>(cookie);
    if (s->err)
        return static_cast<ssize_t>(size);
    size_t done = 0;
    while (done < size) {
        ssize_t w = write(s->fd, buf + done, size - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            s->err = w < 0 ? errno : ENOSPC;
            return static_cast<ssize_t>(size);
        }
        done += static_cast<size_t>(w);
    }
    return static_cast<ssize_t>(size);
}

int slot_close(void *cookie)
{
    out_slot *s = static_cast<out_slot *>(cookie);
    int r = close(s->fd);
    if (r != 0 && !s->err)
        s->err = errno;
    s->fd = -1;
    return r;
}

out_slot *slot_of(FILE *fp)
{
    for (out_slot &s : slots)
        if (s.in_use && s.fp == fp)
            return &s;
    return nullptr;
}

void release(out_slot *s)
{
    s->has_temp = 0;
    s->in_use = 0;
    s->fp = nullptr;
    s->err = 0;
    s->report = false;
    s->name.clear();
    s->target.clear();
    s->temp[0] = '\0';
}

// At exit (normal or through exit(1) after a fatal error): the report keeps
// what was written up to there; every other file still open is dropped.
void close_all_at_exit()
{
    for (out_slot &s : slots) {
        if (!s.in_use)
            continue;
        if (s.report)
            out_commit(s.fp);
        else
            out_abort(s.fp);
    }
}

// The file descriptor to write: a temporary file beside a regular target, or
// the target itself. -1 with errno set on failure.
int open_target(out_slot *s, const char *name)
{
    struct stat st;
    bool exists = stat(name, &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe: written directly, never replaced.
        return open(name, O_WRONLY | O_TRUNC | O_CLOEXEC);
    }
    s->target = name;
    mode_t mode;
    if (exists) {
        // The file must be writable as it is, as for a plain open; a link
        // is followed so that the link itself stays.
        if (access(name, W_OK) != 0)
            return -1;
        char real[PATH_MAX];
        if (realpath(name, real))
            s->target = real;
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    std::string tmpl = s->target + ".XXXXXX";
    if (tmpl.size() >= sizeof s->temp) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(s->temp, tmpl.c_str(), tmpl.size() + 1);
    int fd = mkostemp(s->temp, O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        s->temp[0] = '\0';
        s->target.clear();
        if (exists && (e == EACCES || e == EROFS || e == EPERM)) {
            // The folder takes no new file, but the file itself is
            // writable: write it in place as a plain open would.
            return open(name, O_WRONLY | O_TRUNC | O_CLOEXEC);
        }
        // A name that does not exist yet: the reason is the folder's.
        errno = e;
        return -1;
    }
    s->has_temp = 1;
    // The permissions a plain open would give (or the old file's); when
    // that fails only the permissions differ, so the write goes on.
    (void)fchmod(fd, mode);
    return fd;
}

}  // namespace

FILE *out_open(const char *name, bool report)
{
    out_slot *s = nullptr;
    for (out_slot &c : slots)
        if (!c.in_use) {
            s = &c;
            break;
        }
    if (!s) {
        errno = EMFILE;
        return nullptr;
    }
    if (!exit_hook_set) {
        atexit(close_all_at_exit);
        exit_hook_set = true;
    }
    s->name = name;
    s->err = 0;
    s->report = report;
    s->in_use = 1;
    s->fd = open_target(s, name);
    if (s->fd < 0) {
        int e = errno;
        release(s);
        errno = e;
        return nullptr;
    }
    cookie_io_functions_t io = {nullptr, slot_write, nullptr, slot_close};
    s->fp = fopencookie(s, "w", io);
    if (!s->fp) {
        int e = errno;
        close(s->fd);
        if (s->has_temp)
            unlink(s->temp);
        release(s);
        errno = e;
        return nullptr;
    }
    return s->fp;
}

bool out_commit(FILE *fp)
{
    out_slot *s = slot_of(fp);
    if (!s) {
        // Not a file of out_open (standard output): only flush and check.
        return fflush(fp) == 0 && !ferror(fp);
    }
    if (fflush(fp) != 0 && !s->err)
        s->err = errno ? errno : EIO;
    if (!s->err && s->has_temp && fsync(s->fd) != 0)
        s->err = errno;
    fclose(fp);  // closes the descriptor through slot_close, which keeps a failure
    if (!s->err && s->has_temp && rename(s->temp, s->target.c_str()) != 0)
        s->err = errno;
    bool ok = !s->err;
    if (!ok) {
        if (s->has_temp)
            unlink(s->temp);
        fprintf(stderr, "cannot write %s: %s\n", s->name.c_str(), strerror(s->err));
        ist.exit_status = 1;
    }
    release(s);
    return ok;
}

void out_abort(FILE *fp)
{
    out_slot *s = slot_of(fp);
    if (!s) {
        fclose(fp);
        return;
    }
    fclose(fp);
    if (s->has_temp)
        unlink(s->temp);
    release(s);
}

void out_remove_temporaries()
{
    for (out_slot &s : slots)
        if (s.in_use && s.has_temp) {
            unlink(s.temp);
            s.has_temp = 0;
        }
}
