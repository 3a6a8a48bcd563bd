// tevo: start-up, the parser as main loop, and shutdown.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
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
void on_signal(int sig)
{
    out_remove_temporaries();
    restore_terminal();
    signal(sig, SIG_DFL);
    raise(sig);
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
        in_fp = fopen(in_name.c_str(), "r");
        if (!in_fp) {
            perror(in_name.c_str());
            return 1;
        }
        yyin = in_fp;
        std::string out_name = ist.base_name + ".out";
        ist.out_fp = out_open(out_name.c_str(), true);
        if (!ist.out_fp) {
            perror(out_name.c_str());
            return 1;
        }
        yyout = ist.out_fp;
    }
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
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
    return ist.exit_status;
}
