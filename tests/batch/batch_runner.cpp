// Runs one batch case: writes the command file into a fresh scratch folder,
// runs tevo there and compares its report, standard error, exit status and
// any named files with the expectations of the case file (see README.md).
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct expectation {
    std::string text;
    bool numeric = false;
    double rel = 0;
    double abs = 0;
};

struct batch_case {
    std::string in;
    std::optional<std::string> stdin_text;
    std::optional<std::vector<std::string>> args;
    std::optional<expectation> out;
    expectation err;  // empty unless given
    int status = 0;
    std::vector<std::pair<std::string, std::string>> create;
    std::vector<std::pair<std::string, expectation>> files;
    std::vector<std::string> absent;
};

[[noreturn]] void die(const std::string &msg)
{
    std::cerr << "batch_runner: " << msg << "\n";
    exit(2);
}

std::vector<std::string> split_words(const std::string &s)
{
    std::istringstream is(s);
    std::vector<std::string> w;
    std::string x;
    while (is >> x)
        w.push_back(x);
    return w;
}

// A tolerance of a section option: a finite number >= 0, subnormal ones
// included (std::stod throws on those).
double tolerance(const std::string &text, const std::string &option)
{
    char *end = nullptr;
    double v = strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(v) || v < 0)
        die("bad tolerance in section option '" + option + "'");
    return v;
}

// Options after a section name: "~REL[,ABS]" turns on the numeric mode;
// "noeol" (handled by apply_noeol) drops the final newline of the text.
void parse_options(const std::vector<std::string> &words, size_t from, expectation *e)
{
    for (size_t i = from; i < words.size(); i++) {
        const std::string &w = words[i];
        if (w == "noeol")
            continue;
        if (w[0] == '~' && e) {
            e->numeric = true;
            std::string t = w.substr(1);
            size_t comma = t.find(',');
            e->rel = tolerance(t.substr(0, comma), w);
            if (comma != std::string::npos)
                e->abs = tolerance(t.substr(comma + 1), w);
        } else {
            die("unknown section option '" + w + "'");
        }
    }
}

batch_case read_case(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        die("cannot read " + path);
    std::stringstream ss;
    ss << f.rdbuf();
    std::string all = ss.str();

    batch_case c;
    // The section being filled: kind and index (create and file sections
    // are vectors that grow, so they are addressed by index).
    enum { NONE, IN, STDIN, ARGS, OUT, ERR, CREATE, FILE_ } kind = NONE;
    std::string args_text;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t nl = all.find('\n', pos);
        size_t len = nl == std::string::npos ? std::string::npos : nl - pos;
        std::string line = all.substr(pos, len);
        std::string raw = all.substr(pos, nl == std::string::npos ? std::string::npos : len + 1);
        pos = nl == std::string::npos ? all.size() : nl + 1;
        if (line.rfind("--- ", 0) == 0) {
            std::vector<std::string> w = split_words(line.substr(4));
            if (w.empty())
                die("empty section header in " + path);
            const std::string &s = w[0];
            kind = NONE;
            if (s == "in") {
                kind = IN;
                parse_options(w, 1, nullptr);
            } else if (s == "stdin") {
                c.stdin_text = "";
                kind = STDIN;
                parse_options(w, 1, nullptr);
            } else if (s == "args") {
                c.args = std::vector<std::string>();
                kind = ARGS;
            } else if (s == "out") {
                c.out = expectation();
                parse_options(w, 1, &*c.out);
                kind = OUT;
            } else if (s == "err") {
                parse_options(w, 1, &c.err);
                kind = ERR;
            } else if (s == "status") {
                if (w.size() != 2)
                    die("--- status needs one number");
                c.status = std::stoi(w[1]);
            } else if (s == "create") {
                if (w.size() < 2)
                    die("--- create needs a file name");
                c.create.emplace_back(w[1], "");
                parse_options(w, 2, nullptr);
                kind = CREATE;
            } else if (s == "file") {
                if (w.size() < 2)
                    die("--- file needs a file name");
                c.files.emplace_back(w[1], expectation());
                parse_options(w, 2, &c.files.back().second);
                kind = FILE_;
            } else if (s == "nofile") {
                if (w.size() != 2)
                    die("--- nofile needs one file name");
                c.absent.push_back(w[1]);
            } else {
                die("unknown section '" + s + "' in " + path);
            }
            continue;
        }
        switch (kind) {
        case IN: c.in += raw; break;
        case STDIN: *c.stdin_text += raw; break;
        case ARGS: args_text += line + " "; break;
        case OUT: c.out->text += raw; break;
        case ERR: c.err.text += raw; break;
        case CREATE: c.create.back().second += raw; break;
        case FILE_: c.files.back().second.text += raw; break;
        case NONE: break;  // the case's description, or lines after status/nofile
        }
    }
    if (c.args)
        *c.args = split_words(args_text);
    return c;
}

// Trimming of the "noeol" sections.
void apply_noeol(const std::string &path, batch_case &c)
{
    // Read the headers again in order and trim the matching sections.
    std::ifstream f(path, std::ios::binary);
    std::string line;
    size_t create_i = 0, file_i = 0;
    while (std::getline(f, line)) {
        if (line.rfind("--- ", 0) != 0)
            continue;
        std::vector<std::string> w = split_words(line.substr(4));
        if (w.empty())
            continue;
        bool noeol = false;
        for (const auto &x : w)
            if (x == "noeol")
                noeol = true;
        std::string *t = nullptr;
        if (w[0] == "in")
            t = &c.in;
        else if (w[0] == "stdin")
            t = &*c.stdin_text;
        else if (w[0] == "out")
            t = &c.out->text;
        else if (w[0] == "err")
            t = &c.err.text;
        else if (w[0] == "create")
            t = &c.create[create_i++].second;
        else if (w[0] == "file")
            t = &c.files[file_i++].second.text;
        if (t && noeol && !t->empty() && t->back() == '\n')
            t->pop_back();
    }
}

std::string slurp(const fs::path &p, bool *exists = nullptr)
{
    std::ifstream f(p, std::ios::binary);
    if (exists)
        *exists = static_cast<bool>(f);
    if (!f)
        return "";
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void spit(const fs::path &p, const std::string &s)
{
    std::ofstream f(p, std::ios::binary);
    if (!f)
        die("cannot write " + p.string());
    f << s;
}

std::vector<std::string> lines_of(const std::string &s)
{
    std::vector<std::string> v;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t nl = s.find('\n', pos);
        if (nl == std::string::npos) {
            v.push_back(s.substr(pos));
            break;
        }
        v.push_back(s.substr(pos, nl - pos + 1));
        pos = nl + 1;
    }
    return v;
}

// A line split into the numbers in it and the text between them.
struct split_line {
    std::vector<std::string> text;
    std::vector<double> nums;
};

split_line split_numbers(const std::string &line)
{
    static const std::regex num(R"([+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?)");
    split_line r;
    auto begin = std::sregex_iterator(line.begin(), line.end(), num);
    size_t last = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        r.text.push_back(line.substr(last, it->position() - last));
        // strtod, not stod: a subnormal or overflowing number in a report
        // is a value to compare, not an exception.
        r.nums.push_back(strtod(it->str().c_str(), nullptr));
        last = it->position() + it->length();
    }
    r.text.push_back(line.substr(last));
    return r;
}

bool numbers_close(double a, double b, double rel, double abs)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    if (a == b)
        return true;
    double d = std::fabs(a - b);
    return d <= abs || d <= rel * std::max(std::fabs(a), std::fabs(b));
}

bool line_matches(const std::string &want, const std::string &got, const expectation &e)
{
    if (!e.numeric)
        return want == got;
    split_line w = split_numbers(want), g = split_numbers(got);
    if (w.nums.size() != g.nums.size() || w.text.size() != g.text.size())
        return false;
    for (size_t i = 0; i < w.text.size(); i++) {
        std::string a = w.text[i], b = g.text[i];
        // Fields padded to a width may differ in the padding before a number
        // whose printed length changed.
        auto trim_right = [](std::string s) {
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
            return s;
        };
        if (i + 1 < w.text.size()) {
            a = trim_right(a);
            b = trim_right(b);
        }
        if (a != b)
            return false;
    }
    for (size_t i = 0; i < w.nums.size(); i++)
        if (!numbers_close(w.nums[i], g.nums[i], e.rel, e.abs))
            return false;
    return true;
}

std::string show(const std::string &s)
{
    std::string r;
    for (unsigned char ch : s) {
        if (ch == '\n')
            r += "\\n";
        else if (ch == '\t')
            r += "\\t";
        else if (ch < 32 || ch > 126) {
            char b[8];
            snprintf(b, sizeof b, "\\x%02x", ch);
            r += b;
        } else
            r += static_cast<char>(ch);
    }
    return r;
}

bool compare(const std::string &what, const expectation &e, const std::string &got)
{
    std::vector<std::string> w = lines_of(e.text), g = lines_of(got);
    size_t n = std::max(w.size(), g.size());
    for (size_t i = 0; i < n; i++) {
        std::string a = i < w.size() ? w[i] : "<end>";
        std::string b = i < g.size() ? g[i] : "<end>";
        if (i >= w.size() || i >= g.size() || !line_matches(a, b, e)) {
            std::cerr << "MISMATCH in " << what << " at line " << i + 1
                      << (e.numeric ? " (numeric mode)" : "") << ":\n"
                      << "  expected: " << show(a) << "\n"
                      << "  actual:   " << show(b) << "\n"
                      << "--- whole actual " << what << " ---\n"
                      << got << (got.empty() || got.back() == '\n' ? "" : "\n<no final newline>\n")
                      << "--- end ---\n";
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        die("usage: batch_runner TEVO CASEFILE SCRATCHDIR");
    fs::path tevo = fs::absolute(argv[1]);
    fs::path case_path = argv[2];
    std::string name = case_path.stem().string();
    batch_case c = read_case(case_path.string());
    apply_noeol(case_path.string(), c);

    fs::path dir = fs::absolute(argv[3]) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::vector<std::string> args = c.args ? *c.args : std::vector<std::string>{name};
    if (!c.args || !args.empty())
        spit(dir / (name + ".in"), c.in);
    for (const auto &[file, text] : c.create)
        spit(dir / file, text);
    spit(dir / ".stdin", c.stdin_text ? *c.stdin_text : "");

    pid_t pid = fork();
    if (pid < 0)
        die("fork failed");
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        int in = open(".stdin", O_RDONLY);
        int out = open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char *> av;
        av.push_back(const_cast<char *>(tevo.c_str()));
        for (auto &a : args)
            av.push_back(const_cast<char *>(a.c_str()));
        av.push_back(nullptr);
        execv(tevo.c_str(), av.data());
        _exit(127);
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    int status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);

    bool ok = true;
    std::string err = slurp(dir / ".stderr");
    if (c.out) {
        std::string report = args.empty() ? slurp(dir / ".stdout") : slurp(dir / (name + ".out"));
        const std::string banner = "tevo 1.04\n";
        if (report.rfind(banner, 0) != 0) {
            std::cerr << "MISMATCH: the report does not start with the banner line:\n" << report << "\n";
            ok = false;
        } else {
            ok &= compare("report", *c.out, report.substr(banner.size()));
        }
    }
    ok &= compare("standard error", c.err, err);
    if (status != c.status) {
        std::cerr << "MISMATCH: exit status " << status << ", expected " << c.status << "\n";
        if (!err.empty())
            std::cerr << "--- standard error ---\n" << err << "--- end ---\n";
        ok = false;
    }
    for (const auto &[file, e] : c.files) {
        bool exists = false;
        std::string got = slurp(dir / file, &exists);
        if (!exists) {
            std::cerr << "MISMATCH: file " << file << " was not written\n";
            ok = false;
        } else {
            ok &= compare("file " + file, e, got);
        }
    }
    for (const auto &file : c.absent) {
        if (fs::exists(dir / file)) {
            std::cerr << "MISMATCH: file " << file << " should not exist\n";
            ok = false;
        }
    }
    if (ok)
        std::cout << "ok: " << name << "\n";
    return ok ? 0 : 1;
}
