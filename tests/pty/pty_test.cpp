// Drives an interactive tevo through a pseudo-terminal: prompt, line editing,
// history recall, `history;`, and the terminal settings on every way out.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

namespace {

const std::string up = "\x1b[A", down = "\x1b[B", right = "\x1b[C", left = "\x1b[D";

class session {
public:
    // data_limit: a limit in bytes on the data of tevo (RLIMIT_DATA), 0 for none.
    // ignore_hangup: tevo starts with SIGHUP ignored, so that closing the
    // terminal shows as the end of its input.
    explicit session(const std::string &dir = "", rlim_t data_limit = 0, bool ignore_hangup = false)
    {
        struct termios t;
        memset(&t, 0, sizeof t);
        cfmakeraw(&t);
        // A cooked terminal as a shell leaves it: canonical input with echo.
        t.c_lflag |= ICANON | ECHO | ISIG;
        t.c_oflag |= OPOST | ONLCR;
        t.c_cc[VINTR] = 3;
        t.c_cc[VMIN] = 1;
        pid_ = forkpty(&fd_, nullptr, &t, nullptr);
        if (pid_ == 0) {
            if (!dir.empty() && chdir(dir.c_str()) != 0)
                _exit(127);
            if (data_limit) {
                struct rlimit rl = {data_limit, data_limit};
                if (setrlimit(RLIMIT_DATA, &rl) != 0)
                    _exit(127);
            }
            if (ignore_hangup)
                signal(SIGHUP, SIG_IGN);
            execl(TEVO_PATH, TEVO_PATH, (char *)nullptr);
            _exit(127);
        }
    }
    ~session()
    {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0)
            close(fd_);
    }
    void type(const std::string &s)
    {
        ssize_t n = write(fd_, s.data(), s.size());
        ASSERT_EQ(n, static_cast<ssize_t>(s.size()));
    }
    // Reads until the text (after the output so far, carriage returns
    // dropped) contains want; false after the timeout.
    bool wait_for(const std::string &want, int ms = 5000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (out_.find(want, mark_) == std::string::npos) {
            int left_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               end - std::chrono::steady_clock::now())
                                               .count());
            if (left_ms <= 0)
                return false;
            struct pollfd p = {fd_, POLLIN, 0};
            if (poll(&p, 1, left_ms) <= 0)
                return false;
            char buf[4096];
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0)
                return false;
            for (ssize_t i = 0; i < n; i++)
                if (buf[i] != '\r')
                    out_ += buf[i];
        }
        mark_ = out_.find(want, mark_) + want.size();
        return true;
    }
    const std::string &output() const { return out_; }
    // Exit status, or 128 + signal.
    int wait_exit()
    {
        int ws = 0;
        // Drain the terminal so the child never blocks on a full buffer.
        for (;;) {
            char buf[4096];
            struct pollfd p = {fd_, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0)
                break;
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0)
                break;
            out_.append(buf, n);
        }
        waitpid(pid_, &ws, 0);
        exited_ = true;
        return WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    }
    // Closes the terminal: tevo's reads then end.
    void hang_up()
    {
        close(fd_);
        fd_ = -1;
    }
    // Exit status (or 128 + signal) of a tevo that ends within ms; -1 when it
    // does not, and it is killed.
    int wait_exit_within(int ms)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        int ws = 0;
        while (waitpid(pid_, &ws, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end)
                return -1;
            usleep(10000);
        }
        exited_ = true;
        return WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    }
    struct termios settings() const
    {
        struct termios t;
        memset(&t, 0, sizeof t);
        tcgetattr(fd_, &t);
        return t;
    }
    pid_t pid() const { return pid_; }

private:
    int fd_ = -1;
    pid_t pid_ = -1;
    bool exited_ = false;
    std::string out_;
    size_t mark_ = 0;
};

// Ends the session with bye: status 0 and no parse error on the way.
void bye_without_errors(session &s)
{
    s.type("bye\n");
    EXPECT_EQ(s.wait_exit(), 0);
    EXPECT_EQ(s.output().find("parse error"), std::string::npos) << s.output();
}

TEST(LineEditor, PromptEditingAndReport)
{
    session s;
    ASSERT_TRUE(s.wait_for("tevo 1.04\ntevo> "));
    // The terminal is switched to non-canonical input without echo.
    struct termios t = s.settings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);

    // Insert in the middle: "ac", three left arrows (before c";), then b.
    s.type("output: \"ac\";" + left + left + left + "b\n");
    EXPECT_TRUE(s.wait_for("\nabc\ntevo> ")) << s.output();

    // Right arrow and backspace: delete the X between b and c.
    s.type("output: \"abXc\";" + left + left + left + left + right + "\x7f\n");
    EXPECT_TRUE(s.wait_for("\nabc\ntevo> ")) << s.output();

    // a, b, c, two left arrows, X and Enter deliver the line aXbc: the
    // name of the assignment that the next line completes.
    s.type("abc" + left + left + "X\n");
    s.type(" = 3; output: aXbc;\n");
    // The first line is no statement yet, so the next prompt follows the ";".
    EXPECT_TRUE(s.wait_for("\n = 3; output: aXbc;\ntevo> 3\ntevo> ")) << s.output();

    // Backspace at column 0 does nothing; Ctrl-U empties the line.
    s.type("\x08junk junk\x15output: \"clean\";\n");
    EXPECT_TRUE(s.wait_for("\nclean\ntevo> ")) << s.output();
    bye_without_errors(s);
}

// ESC and a character other than "[" are dropped together; an unknown final
// character after ESC "[" is ignored; neither reaches the line.
TEST(LineEditor, OtherEscapesAreSwallowed)
{
    session s;
    ASSERT_TRUE(s.wait_for("tevo> "));
    s.type("output: \"a\x1bq\x1b[Zb\x1b\x1b\";\n");
    // ESC ESC drops the second ESC too; the quote after them stays.
    EXPECT_TRUE(s.wait_for("\nab\ntevo> ")) << s.output();
    bye_without_errors(s);
}

// Keys that send longer escape sequences are read whole and leave the line
// as it was: before, the editor took three bytes of a sequence and typed the
// rest into the line (Delete gave "abc~"). Each key is pressed inside a
// string with the cursor two places left of its end, so any byte of the
// sequence that got into the line would show in the output.
TEST(LineEditor, KeysTheEditorDoesNotKnowLeaveTheLine)
{
    struct case_ {
        const char *name;
        std::string keys;
    };
    const case_ cases[] = {
        {"Delete", "\x1b[3~"},
        {"Home", "\x1b[1~"},
        {"End", "\x1b[4~"},
        {"Home (xterm)", "\x1b[H"},
        {"F1 (SS3)", "\x1bOP"},
        {"F5", "\x1b[15~"},
        {"Alt-x", "\x1bx"},
        {"Ctrl-Right", "\x1b[1;5C"},
        {"Ctrl-Up", "\x1b[1;5A"},
        {"Shift-F12", "\x1b[24;2~"},
        {"private parameters", "\x1b[?1;2;3$y"},
        {"all in a row", "\x1b[3~\x1b[1~\x1b[4~\x1b[15~\x1bx\x1b[1;5C"},
    };
    session s;
    ASSERT_TRUE(s.wait_for("tevo> "));
    for (const case_ &k : cases) {
        s.type("output: \"abc\";" + left + left + k.keys + "\n");
        EXPECT_TRUE(s.wait_for("\nabc\ntevo> ", 3000)) << k.name << "\n" << s.output();
    }
    // The known keys still work after them: Left, Left, Backspace removes
    // the c, Up recalls the line before.
    s.type("output: \"abcX\";" + left + left + "\x1b[3~" + left + "\x7f\n");
    EXPECT_TRUE(s.wait_for("\nabX\ntevo> ")) << s.output();
    s.type(up + "\n");
    EXPECT_TRUE(s.wait_for("\nabX\ntevo> ")) << s.output();
    bye_without_errors(s);
}

// A sequence that reaches the editor in pieces is still one key; a control
// byte inside a sequence ends it and counts as typed, so Enter after a
// cut-off sequence ends the line.
TEST(LineEditor, EscapeSequencesInPiecesAndCutOff)
{
    session s;
    ASSERT_TRUE(s.wait_for("tevo> "));
    s.type("output: \"abc\";" + left + left);
    ASSERT_TRUE(s.wait_for("\b\b"));
    for (const char *piece : {"\x1b", "[", "1", ";", "5", "C"}) {
        s.type(piece);
        usleep(50000);
    }
    s.type("\n");
    EXPECT_TRUE(s.wait_for("\nabc\ntevo> ")) << s.output();
    // ESC "[" 1 and then Enter: the line is entered as it was.
    s.type("output: \"def\";\x1b[1\n");
    EXPECT_TRUE(s.wait_for("\ndef\ntevo> ")) << s.output();
    s.type("bye\n");
    EXPECT_EQ(s.wait_exit(), 0);
}

// An escape sequence cut off by the end of input (the terminal closed) ends
// the run as the end of input does: no hang, no crash, and the statement
// typed before it still runs (its file shows it, since the terminal that
// would show its report is gone).
TEST(LineEditor, EscapeAtEndOfInput)
{
    char tmpl[] = "/tmp/tevo_pty_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl, file = dir + "/tevo.ci";
    for (const char *tail : {"\x1b", "\x1b[", "\x1b[1;5", "\x1bO"}) {
        unlink(file.c_str());
        session s(dir, 0, true);
        ASSERT_TRUE(s.wait_for("tevo> "));
        s.type(std::string("writesp \"end\";") + tail);
        ASSERT_TRUE(s.wait_for("writesp \"end\";"));
        s.hang_up();
        int status = s.wait_exit_within(20000);
        // 0, or 1 when the lost report on the closed terminal counts as an
        // error; never a signal or a hang.
        EXPECT_TRUE(status == 0 || status == 1) << status;
        FILE *f = fopen(file.c_str(), "r");
        ASSERT_NE(f, nullptr) << tail + 1;
        char line[64] = "";
        EXPECT_NE(fgets(line, sizeof line, f), nullptr);
        fclose(f);
        EXPECT_STREQ(line, "end\n");
    }
    unlink(file.c_str());
    rmdir(dir.c_str());
}

TEST(LineEditor, RecallAndHistory)
{
    session s;
    ASSERT_TRUE(s.wait_for("tevo> "));
    // Up on a fresh run shows the empty line (stored all the same).
    s.type(up + "\n");
    s.type("x = 5;\n");
    ASSERT_TRUE(s.wait_for("tevo> "));
    s.type("output: x;\n");
    ASSERT_TRUE(s.wait_for("\n5\ntevo> "));
    s.type("x = 7;\n");
    ASSERT_TRUE(s.wait_for("tevo> "));
    // Up twice: the line before the newest (output: x;).
    s.type(up + up + "\n");
    EXPECT_TRUE(s.wait_for("\n7\ntevo> ")) << s.output();
    // Up three times then down once: again the second newest (x = 7;)...
    s.type(up + up + up + down + "\n");
    ASSERT_TRUE(s.wait_for("tevo> "));
    // ... so x is still 7; an edited recall: change 7 to 9.
    s.type(up + up + up + "\x7f\x7f" "9;\n");
    ASSERT_TRUE(s.wait_for("tevo> "));
    s.type("output: x;\n");
    EXPECT_TRUE(s.wait_for("\n9\ntevo> ")) << s.output();
    s.type("history;\n");
    EXPECT_TRUE(s.wait_for("\n\nx = 5;\noutput: x;\nx = 7;\noutput: x;\nx = 7;\nx = 9;\noutput: x;\nhistory;\ntevo> "))
        << s.output();
    s.type("bye\n");
    EXPECT_EQ(s.wait_exit(), 0);
}

TEST(LineEditor, LongLinesAreStoredCut)
{
    session s;
    ASSERT_TRUE(s.wait_for("tevo> "));
    std::string text(200, 'y');
    s.type("x = 1; # " + text + " \n");
    ASSERT_TRUE(s.wait_for("tevo> "));
    s.type("history;\n");
    // The slot keeps 127 characters; the scanner got the whole line.
    std::string stored = "x = 1; # " + std::string(118, 'y') + "\n";
    EXPECT_TRUE(s.wait_for("\n" + stored + "history;\ntevo> ")) << s.output();
    s.type("bye\n");
    EXPECT_EQ(s.wait_exit(), 0);
}

// The scanner asks for at most 8192 bytes: a line of 8191 characters fills
// all but one, and its newline must still be delivered, or the comment on it
// would run on into the next line and swallow that statement.
TEST(LineEditor, ALineThatFillsTheReadKeepsItsNewline)
{
    session s;
    ASSERT_TRUE(s.wait_for("tevo> "));
    std::string line = "# " + std::string(8189, 'y');
    // In pieces, reading the echo of each, so neither side of the terminal
    // fills up.
    for (size_t i = 0; i < line.size(); i += 1000) {
        std::string piece = line.substr(i, 1000);
        s.type(piece);
        ASSERT_TRUE(s.wait_for(piece)) << i;
    }
    s.type("\n");
    s.type("output: \"next\";\n");
    EXPECT_TRUE(s.wait_for("\nnext\ntevo> ")) << s.output().substr(s.output().size() - 200);
    s.type("bye\n");
    EXPECT_EQ(s.wait_exit(), 0);
}

TEST(LineEditor, HistoryKeepsTheLastHundredLines)
{
    session s;
    ASSERT_TRUE(s.wait_for("tevo> "));
    std::string all;
    for (int i = 1; i <= 150; i++)
        all += "v" + std::to_string(i) + " = " + std::to_string(i) + ";\n";
    s.type(all);
    ASSERT_TRUE(s.wait_for("v150 = 150;"));
    s.type("history;\n");
    std::string want = "\n";
    for (int i = 52; i <= 150; i++)
        want += "v" + std::to_string(i) + " = " + std::to_string(i) + ";\n";
    want += "history;\ntevo> ";
    EXPECT_TRUE(s.wait_for(want)) << s.output();
    s.type("bye\n");
    EXPECT_EQ(s.wait_exit(), 0);
}

TEST(LineEditor, HistoryFromAnIncludedFileListsTheTypedLines)
{
    char tmpl[] = "/tmp/tevo_pty_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    FILE *f = fopen((dir + "/f.cmd").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("output: \"from file\";\nhistory;\nbye\n", f);
    fclose(f);
    {
        session s(dir);
        ASSERT_TRUE(s.wait_for("tevo> "));
        s.type("x = 1;\n");
        ASSERT_TRUE(s.wait_for("tevo> "));
        s.type("read \"f.cmd\";\n");
        // The file's lines are not typed, so they are not in the ring.
        EXPECT_TRUE(s.wait_for("\nfrom file\nx = 1;\nread \"f.cmd\";\n")) << s.output();
        EXPECT_EQ(s.wait_exit(), 0);
    }
    unlink((dir + "/f.cmd").c_str());
    rmdir(dir.c_str());
}

// At a terminal the messages carry no line number; while an included file is
// read they do, and after its end the terminal form and the prompt return.
TEST(LineEditor, MessagesAtATerminalAndInAnIncludedFile)
{
    char tmpl[] = "/tmp/tevo_pty_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    FILE *f = fopen((dir + "/e.cmd").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("\nq = 1 / 0; output: q;\noutput r;\n", f);
    fclose(f);
    {
        session s(dir);
        ASSERT_TRUE(s.wait_for("tevo> "));
        s.type("x = 1/0; output: x;\n");
        EXPECT_TRUE(s.wait_for("\ntevo> Error:  1: DIVBY  division by zero.\n0\ntevo> ")) << s.output();
        s.type("output y;\n");
        EXPECT_TRUE(s.wait_for("\nparse error.\ntevo> ")) << s.output();
        s.type("read \"e.cmd\"; read \"none.cmd\";\n");
        // Lines 2 and 3 of the included file: one counter runs over all
        // input, and the newline of the read line is not scanned before the
        // file starts, so they count as 4 and 5. The prompt after the read
        // statement is not shown (a file is being read); the end of the
        // file prints it.
        EXPECT_TRUE(s.wait_for("Error in line 4:  1: DIVBY  division by zero.\n0\n"
                               "parse error in line 5.\ntevo> none.cmd: No such file or directory\ntevo> "))
            << s.output();
        s.type("output z;\n");
        EXPECT_TRUE(s.wait_for("\nparse error.\ntevo> ")) << s.output();
        s.type("bye\n");
        EXPECT_EQ(s.wait_exit(), 1);
    }
    unlink((dir + "/e.cmd").c_str());
    rmdir(dir.c_str());
}

// A fatal error of the scanner (here a token that its buffer cannot grow to
// hold, with the memory of tevo limited) ends the run with status 2 and its
// own text, and the terminal gets its settings back.
TEST(LineEditor, ScannerFatalErrorEndsWithStatusTwoAndRestoresTheTerminal)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit a data limit";
#else
    char tmpl[] = "/tmp/tevo_pty_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    FILE *f = fopen((dir + "/big.cmd").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::string chunk(1 << 20, 'z');
    fputs("output: \"", f);
    // 8 MB in one string token; with 3 MB of data the buffer cannot double
    // past 2 MB. (The scanner rescans a token at every 8192-byte refill, so a
    // bigger token only makes the test slow.)
    for (int i = 0; i < 8; i++)
        fwrite(chunk.data(), 1, chunk.size(), f);
    fputs("\";\n", f);
    fclose(f);
    {
        session s(dir, 3u << 20);
        ASSERT_TRUE(s.wait_for("tevo> "));
        ASSERT_EQ(s.settings().c_lflag & (ICANON | ECHO), 0u);
        s.type("read \"big.cmd\";\n");
        EXPECT_TRUE(s.wait_for("fatal error - scanner input buffer overflow\n", 30000)) << s.output();
        EXPECT_EQ(s.wait_exit(), 2);
        EXPECT_EQ(s.settings().c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
    }
    unlink((dir + "/big.cmd").c_str());
    rmdir(dir.c_str());
#endif
}

struct way_out {
    const char *name;
    std::string input;  // typed after the first prompt
    int signal;         // sent after the input, 0 for none
    int status;
};

void PrintTo(const way_out &w, std::ostream *os)
{
    *os << w.name;
}

class TerminalRestored : public ::testing::TestWithParam<way_out> {};

TEST_P(TerminalRestored, OnEveryWayOut)
{
    const way_out &w = GetParam();
    session s;
    ASSERT_TRUE(s.wait_for("tevo> "));
    ASSERT_EQ(s.settings().c_lflag & (ICANON | ECHO), 0u);
    s.type(w.input);
    if (w.signal) {
        ASSERT_TRUE(s.wait_for("tevo> "));
        kill(s.pid(), w.signal);
    }
    EXPECT_EQ(s.wait_exit(), w.status) << s.output();
    struct termios t = s.settings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO)) << w.name;
}

INSTANTIATE_TEST_SUITE_P(
    Exits, TerminalRestored,
    ::testing::Values(way_out{"bye", "bye\n", 0, 0},
                      way_out{"error then bye", "x = 1/0; output: x;\nbye\n", 0, 1},
                      way_out{"parser stack overflow", "x = " + std::string(10001, '(') + "\n", 0, 1},
                      way_out{"fatal", "x = sn(1, 2); output: x;\n", 0, 1},
                      way_out{"SIGINT", "x = 1;\n", SIGINT, 128 + SIGINT},
                      way_out{"SIGTERM", "x = 1;\n", SIGTERM, 128 + SIGTERM},
                      way_out{"SIGHUP", "x = 1;\n", SIGHUP, 128 + SIGHUP},
                      way_out{"SIGQUIT", "x = 1;\n", SIGQUIT, 128 + SIGQUIT}),
    [](const ::testing::TestParamInfo<way_out> &i) {
        std::string n = i.param.name;
        for (char &c : n)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return n;
    });

}  // namespace
