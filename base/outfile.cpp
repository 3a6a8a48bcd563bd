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
#include <sys/file.h>
#include <sys/mman.h>
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
    int fd = -1;          // what the stream writes: a temporary, a device or the spool
    int place = -1;       // the target itself, rewritten at the commit (in-place road)
    int err = 0;          // the first failure (an errno value), 0 while all is well
    bool report = false;  // installed also on an early exit
    std::string name;     // as the user gave it, for messages
    std::string target;   // the file the temporary file is renamed over
    char temp[PATH_MAX + 16] = {};
};

out_slot slots[max_open];
bool exit_hook_set = false;
FILE *plain_stdout = nullptr;  // the C library's own standard output, while ours stands in

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
    // The close of a spool says nothing about the target: only the
    // descriptor that is the file counts.
    if (r != 0 && !s->err && s->place < 0)
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
    s->place = -1;
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

// The kernel's rule for following a link in a sticky folder that all may
// write (/tmp), where the system applies it (fs.protected_symlinks): only a
// link of the follower or of the folder's owner is followed. A plain open
// refuses the others, and so does a write here.
bool may_follow(const std::string &link, const struct stat &ls)
{
    int rule = 1;
    if (FILE *f = fopen("/proc/sys/fs/protected_symlinks", "re")) {
        if (fscanf(f, "%d", &rule) != 1)
            rule = 1;
        fclose(f);
    }
    if (rule == 0)
        return true;
    size_t slash = link.rfind('/');
    std::string dir = slash == std::string::npos ? "." : link.substr(0, slash + 1);
    struct stat ds;
    if (stat(dir.c_str(), &ds) != 0)
        return true;
    bool shared = (ds.st_mode & S_ISVTX) && (ds.st_mode & S_IWOTH);
    return !shared || ls.st_uid == geteuid() || ls.st_uid == ds.st_uid;
}

// The file that a write to the missing name makes: the name itself or,
// when it is a link whose file is missing (also through further links), the
// name the last link points to, so that the link stays a link as it does
// under a plain open. A relative link text is read from the link's folder.
// False with errno set on a loop of links or a link that may not be
// followed.
bool missing_target(const char *name, std::string *path)
{
    std::string p = name;
    for (int hops = 0; hops < 40; hops++) {
        struct stat ls;
        if (lstat(p.c_str(), &ls) != 0 || !S_ISLNK(ls.st_mode)) {
            *path = p;
            return true;
        }
        if (!may_follow(p, ls)) {
            errno = EACCES;
            return false;
        }
        char text[PATH_MAX];
        ssize_t n = readlink(p.c_str(), text, sizeof text - 1);
        if (n < 0)
            return false;
        text[n] = '\0';
        size_t slash = p.rfind('/');
        if (text[0] == '/' || slash == std::string::npos)
            p = text;
        else
            p = p.substr(0, slash + 1) + text;
    }
    errno = ELOOP;
    return false;
}

// Where the content waits when the target is rewritten in place: a file
// without a name in the temporary folder ($TMPDIR, else /tmp), else one in
// memory. Having no name, it is gone after any end of the run, SIGKILL
// included.
int make_spool()
{
    const char *dir = getenv("TMPDIR");
    int fd = open(dir && *dir ? dir : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        fd = memfd_create("tevo spool", MFD_CLOEXEC);
    return fd;
}

// An existing file beside which no temporary file can be made (a folder
// that takes no new entry: no write permission, no inode or quota left):
// the stream goes to a spool and the commit rewrites the file, open for
// writing as place, in place. why is the reason the temporary file failed;
// it is the reason given when no spool can be made either.
int spool_in_place(out_slot *s, int place, int why)
{
    int spool = make_spool();
    if (spool < 0) {
        close(place);
        errno = why;
        return -1;
    }
    s->place = place;
    return spool;
}

// The file descriptor to write: a temporary file beside a regular target,
// the spool of a target rewritten in place, or a device itself. -1 with
// errno set on failure.
int open_target(out_slot *s, const char *name)
{
    struct stat st;
    bool exists = stat(name, &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe: written directly, never replaced.
        return open(name, O_WRONLY | O_TRUNC | O_CLOEXEC);
    }
    mode_t mode;
    int place = -1;
    if (exists) {
        // Opened as a plain open opens it, so that a file that may not be
        // written, or a link that is not followed there, is refused as it
        // would be; kept for a rewrite in place. A link is followed so that
        // the link itself stays.
        place = open(name, O_WRONLY | O_CLOEXEC);
        if (place < 0)
            return -1;
        char real[PATH_MAX];
        s->target = realpath(name, real) ? real : name;
        mode = st.st_mode & 07777;
    } else {
        if (!missing_target(name, &s->target))
            return -1;
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    std::string tmpl = s->target + ".XXXXXX";
    int fd = -1;
    if (tmpl.size() < sizeof s->temp) {
        memcpy(s->temp, tmpl.c_str(), tmpl.size() + 1);
        fd = mkostemp(s->temp, O_CLOEXEC);
    } else {
        errno = ENAMETOOLONG;
    }
    if (fd < 0) {
        int e = errno;
        s->temp[0] = '\0';
        s->target.clear();
        if (exists)
            return spool_in_place(s, place, e);
        // A name that does not exist yet: the reason is the folder's.
        errno = e;
        return -1;
    }
    if (place >= 0)
        close(place);
    s->has_temp = 1;
    // The permissions a plain open would give (or the old file's); when
    // that fails only the permissions differ, so the write goes on.
    (void)fchmod(fd, mode);
    return fd;
}

// Copies the bytes [from, to) of the spool to the same offsets of the
// target; 0 or the errno value of the failure.
int copy_span(int spool, int place, off_t from, off_t to)
{
    char buf[1 << 15];
    while (from < to) {
        size_t want = to - from < static_cast<off_t>(sizeof buf) ? static_cast<size_t>(to - from) : sizeof buf;
        ssize_t r = pread(spool, buf, want, from);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return r < 0 ? errno : EIO;
        for (ssize_t done = 0; done < r;) {
            ssize_t w = pwrite(place, buf + done, static_cast<size_t>(r - done), from + done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return w < 0 ? errno : ENOSPC;
            done += w;
        }
        from += r;
    }
    return 0;
}

// The commit of the in-place road: the target takes the spool's content,
// and a failure leaves the old content whole. The part beyond the old end
// is written first and synced; when there is no room for it the file is
// cut back to its old length, untouched. Only then are the old bytes
// overwritten, which takes no new room on a file system that rewrites its
// blocks in place (ext4, xfs, tmpfs). The stop signals wait until the file
// is whole (a SIGKILL in this short copy can still cut it); runs on one file
// take turns. 0 or the errno value of the failure.
int rewrite_in_place(int spool, int place)
{
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&stops, sig);
    sigprocmask(SIG_BLOCK, &stops, &before);
    while (flock(place, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat sp, old;
    int e = fstat(spool, &sp) == 0 && fstat(place, &old) == 0 ? 0 : errno;
    if (!e && sp.st_size > old.st_size) {
        e = copy_span(spool, place, old.st_size, sp.st_size);
        if (!e && fdatasync(place) != 0)
            e = errno;
        if (e)
            (void)ftruncate(place, old.st_size);
    }
    if (!e)
        e = copy_span(spool, place, 0, sp.st_size < old.st_size ? sp.st_size : old.st_size);
    if (!e && sp.st_size < old.st_size && ftruncate(place, sp.st_size) != 0)
        e = errno;
    if (!e && fsync(place) != 0)
        e = errno;
    flock(place, LOCK_UN);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return e;
}

out_slot *free_slot()
{
    for (out_slot &c : slots)
        if (!c.in_use)
            return &c;
    errno = EMFILE;
    return nullptr;
}

void hook_exit()
{
    if (!exit_hook_set) {
        atexit(close_all_at_exit);
        exit_hook_set = true;
    }
}

// The stream over the slot's descriptor; null with errno set.
FILE *cookie_stream(out_slot *s)
{
    cookie_io_functions_t io = {nullptr, slot_write, nullptr, slot_close};
    return fopencookie(s, "w", io);
}

}  // namespace

FILE *out_open(const char *name, bool report)
{
    out_slot *s = free_slot();
    if (!s)
        return nullptr;
    hook_exit();
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
    s->fp = cookie_stream(s);
    if (!s->fp) {
        int e = errno;
        close(s->fd);
        if (s->place >= 0)
            close(s->place);
        if (s->has_temp)
            unlink(s->temp);
        release(s);
        errno = e;
        return nullptr;
    }
    return s->fp;
}

FILE *out_standard_output()
{
    out_slot *s = free_slot();
    if (!s)
        return stdout;
    hook_exit();
    s->name = "standard output";
    s->err = fcntl(STDOUT_FILENO, F_GETFL) < 0 ? EBADF : 0;
    s->report = true;
    s->in_use = 1;
    s->fd = STDOUT_FILENO;
    s->fp = cookie_stream(s);
    if (!s->fp) {
        release(s);
        return stdout;
    }
    plain_stdout = stdout;
    stdout = s->fp;
    return s->fp;
}

bool out_commit(FILE *fp)
{
    out_slot *s = slot_of(fp);
    if (!s) {
        // Not a file of out_open: only flush and check.
        return fflush(fp) == 0 && !ferror(fp);
    }
    if (fflush(fp) != 0 && !s->err)
        s->err = errno ? errno : EIO;
    if (!s->err && s->has_temp && fsync(s->fd) != 0)
        s->err = errno;
    if (!s->err && s->place >= 0)
        s->err = rewrite_in_place(s->fd, s->place);
    if (fp == stdout && plain_stdout)
        stdout = plain_stdout;
    fclose(fp);  // closes the descriptor through slot_close, which keeps a failure
    if (s->place >= 0 && close(s->place) != 0 && !s->err)
        s->err = errno;
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
    if (fp == stdout && plain_stdout)
        stdout = plain_stdout;
    fclose(fp);
    if (s->place >= 0)
        close(s->place);
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
