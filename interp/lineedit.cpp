// Line editor and history ring.
#include "interp/lineedit.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/globals.h"
#include "interp/scanner.h"

namespace {

struct history_ring {
    std::vector<std::string> lines;  // hist_slots lines, each cut to a slot
    int8_t capacity = 0;  // 0 while the ring does not exist
    int8_t count = 0;     // stored lines
    int next = 0;         // slot of the next line
} hist;

int slot(int i)
{
    return ((i % hist_slots) + hist_slots) % hist_slots;
}

void put(int c)
{
    putchar(c);
}

void backspaces(int n)
{
    for (int i = 0; i < n; i++)
        put(8);
}

// Shows the history slot of the browse offset in place of the line.
int recall(char *buf, int max, int pos, int back)
{
    backspaces(pos);
    term_esc("[K");
    const char *line = hist.capacity > 0 ? hist.lines[slot(hist.next - back)].c_str() : "";
    int n = static_cast<int>(strlen(line));
    if (n > max - 1)
        n = max - 1;
    memcpy(buf, line, n);
    for (int i = 0; i < n; i++)
        put(buf[i]);
    return n;
}

int edit_line(char *buf, int max)
{
    int len = 0, pos = 0, back = 0;
    int c = 0;
    while (len < max) {
        c = getchar();
        if (c == EOF || c == '\n')
            break;
        if (c == 8 || c == 127) {
            if (pos > 0) {
                put(8);
                memmove(buf + pos - 1, buf + pos, len - pos);
                for (int i = pos - 1; i < len - 1; i++)
                    put(buf[i]);
                term_esc("[K");
                backspaces(len - pos);
                len--;
                pos--;
            }
        } else if (c == 21) {
            backspaces(pos);
            term_esc("[K");
            len = pos = 0;
        } else if (c == 27) {
            if (getchar() != '[')
                continue;
            int d = getchar();
            if (d == 'A' || d == 'B') {
                if (d == 'A')
                    back = back == hist.count ? 0 : back + 1;
                else
                    back = back == 0 ? hist.count : back - 1;
                len = pos = recall(buf, max, pos, back);
            } else if (d == 'C') {
                if (pos < len) {
                    pos++;
                    term_esc("[C");
                }
            } else if (d == 'D') {
                if (pos > 0) {
                    pos--;
                    put(8);
                }
            }
        } else {
            memmove(buf + pos + 1, buf + pos, len - pos);
            buf[pos] = static_cast<char>(c);
            for (int i = pos; i <= len; i++)
                put(buf[i]);
            backspaces(len - pos);
            len++;
            pos++;
        }
    }
    if (c == '\n') {
        if (hist.capacity > 0) {
            // A line longer than a slot is stored cut to the slot, always
            // terminated; the scanner still gets the whole line.
            int n = len < hist_slot_size - 1 ? len : hist_slot_size - 1;
            hist.lines[hist.next].assign(buf, n);
            hist.next = (hist.next + 1) % hist_slots;
            if (hist.count < hist_slots)
                hist.count++;
        }
        // The newline may take the last byte: the scanner needs no NUL, and
        // a dropped newline would join this line to the next.
        if (len < max)
            buf[len++] = '\n';
        put('\n');
    }
    fflush(stdout);
    return len;
}

}  // namespace

int read_line(char *buf, int max)
{
    if (ist.interactive)
        return edit_line(buf, max);
    size_t n = fread(buf, 1, max, yyin);
    if (n == 0 && ferror(yyin))
        fatal("reading input failed");
    return static_cast<int>(n);
}

void history_init()
{
    if (hist.capacity > 0)
        return;
    checked_resize(hist.lines, hist_slots, "history buffer");
    hist.capacity = hist_slots;
    hist.count = 0;
    hist.next = 0;
}

void history_free()
{
    if (hist.capacity <= 0)
        return;
    hist.lines = std::vector<std::string>();
    hist.capacity = 0;
    hist.count = 0;
    hist.next = 0;
}

void history_print()
{
    if (hist.capacity <= 0)
        return;
    for (int i = hist.count; i > 0; i--)
        fprintf(ist.out_fp, "%s\n", hist.lines[slot(hist.next - i)].c_str());
}

void term_puts(const char *s)
{
    for (; *s; s++)
        put(*s);
}

void term_esc(const char *s)
{
    put(27);
    term_puts(s);
}
