// tevo: start-up, the parser as main loop, and shutdown.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gsl/gsl_errno.h>

#include "interp/act_settings.h"
#include "base/error.h"
#include "base/expr.h"
#include "base/globals.h"
#include "base/outfile.h"
#include "interp/lineedit.h"
#include "interp/parse.h"
#include "interp/scanner.h"

namespace {

struct terminal_state {
    struct termios saved;
    volatile sig_atomic_t changed = 0;
} term;

void restore_terminal()
{
    if (term.changed) {
        tcsetattr(fileno(stdin), TCSADRAIN, &term.saved);
        term.changed = 0;
    }
}

// An interrupted run leaves every file as it was before the run: the
// temporary files of the report and of a table being written are removed.
// SIGQUIT (Ctrl-\) ends the run as SIGTERM does: the process dies by the
// signal it got, and leaves no core file beside the old ones.
void on_signal(int sig)
{
    out_remove_temporaries();
    restore_terminal();
    if (sig == SIGQUIT)
        prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    signal(sig, SIG_DFL);
    raise(sig);
}

// A standard stream that the caller closed keeps its number taken, by
// /dev/null opened the wrong way round, so that it fails as a closed one
// does (EBADF) and no file of the run gets its number: the report would go
// into NAME.plot, messages into NAME.out. Each open takes the lowest free
// number, which is the one being filled.
void hold_closed_descriptors()
{
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            (void)open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
}

// NAME.in opened for reading, or null after the file name and the system's
// reason: a folder opens but cannot be read, so it is refused here, before
// NAME.out is made.
FILE *open_input(const std::string &name)
{
    FILE *fp = fopen(name.c_str(), "r");
    struct stat st;
    if (fp && fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(fp);
        fp = nullptr;
        errno = EISDIR;
    }
    if (!fp)
        perror(name.c_str());
    return fp;
}

// A signal that the caller ignores (a run in the background) stays ignored.
void catch_signal(int sig)
{
    if (signal(sig, on_signal) == SIG_IGN)
        signal(sig, SIG_IGN);
}

void gsl_handler(const char *reason, const char *file, int line, int)
{
    fatal("GSL %s:%d %s", file, line, reason);
}

}  // namespace

int main(int argc, char **argv)
{
    hold_closed_descriptors();
    FILE *std_out = out_standard_output();
    FILE *in_fp = nullptr;
    if (argc == 1) {
        ist.out_fp = stdout;
        ist.base_name = "tevo";
        ist.interactive = isatty(fileno(stdin));
        yyin = stdin;
        if (ist.interactive) {
            history_init();
            if (tcgetattr(fileno(stdin), &term.saved) == 0) {
                struct termios raw = term.saved;
                raw.c_lflag &= ~(ICANON | ECHO);
                // Every way out restores the terminal: exit() through the
                // exit handler, the signals through their handler.
                set_fatal_cleanup(restore_terminal);
                atexit(restore_terminal);
                term.changed = 1;
                tcsetattr(fileno(stdin), TCSADRAIN, &raw);
            }
        }
    } else {
        ist.interactive = 0;
        ist.base_name = argv[1];
        std::string in_name = ist.base_name + ".in";
        in_fp = open_input(in_name);
        if (!in_fp)
            return 1;
        yyin = in_fp;
        std::string out_name = ist.base_name + ".out";
        ist.out_fp = out_open(out_name.c_str(), true);
        if (!ist.out_fp) {
            perror(out_name.c_str());
            return 1;
        }
        yyout = ist.out_fp;
    }
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        catch_signal(sig);
    setbuf(ist.out_fp, nullptr);
    fprintf(ist.out_fp, "tevo %s\n", "1.04");
    gsl_set_error_handler(gsl_handler);
    ist.vars = new_varlist();

    if (yyparse() != 0) {
        restore_terminal();
        exit(1);
    }

    free_varlist_all(ist.vars);
    ist.vars = nullptr;
    flush_expr_cache();
    history_free();
    act_shutdown_free();
    delete_input_buffer();
    restore_terminal();
    if (in_fp) {
        fclose(in_fp);
        out_commit(ist.out_fp);
    }
    ist.out_fp = nullptr;
    out_commit(std_out);
    return ist.exit_status;
}
