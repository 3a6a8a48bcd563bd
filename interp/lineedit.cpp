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

// What an escape sequence meant to the editor.
enum class key { up, down, right, left, other, end_of_input };

// Reads the rest of an escape sequence whose ESC has been read, whole, so
// that no byte of a key the editor does not know reaches the line. A CSI
// sequence (ESC "[", parameter bytes 0x30-0x3F, intermediate bytes
// 0x20-0x2F, a final byte 0x40-0x7E) is an arrow only when it is ESC "[" and
// A, B, C or D alone; ESC "O" takes one more byte (SS3, as the function keys
// send it); ESC and any other byte (Alt and a key) are one key. A byte that
// no sequence can hold (a control character, a byte above 0x7E) ends the
// sequence and is handed back in *pending, to be taken as typed: Enter after
// a cut-off sequence still ends the line. getchar waits for the bytes of a
// sequence that arrives in pieces.
key read_escape(int *pending)
{
    *pending = EOF;
    int c = getchar();
    if (c == EOF)
        return key::end_of_input;
    if (c == 'O') {
        c = getchar();
        return c == EOF ? key::end_of_input : key::other;
    }
    if (c != '[')
        return key::other;
    bool plain = true;  // no parameter or intermediate byte so far
    for (;;) {
        c = getchar();
        if (c == EOF)
            return key::end_of_input;
        if (c >= 0x20 && c <= 0x3f) {
            plain = false;
            continue;
        }
        if (c < 0x40 || c > 0x7e) {
            *pending = c;
            return key::other;
        }
        if (!plain)
            return key::other;
        switch (c) {
        case 'A': return key::up;
        case 'B': return key::down;
        case 'C': return key::right;
        case 'D': return key::left;
        default: return key::other;
        }
    }
}

int edit_line(char *buf, int max)
{
    int len = 0, pos = 0, back = 0;
    int c = 0;
    int pending = EOF;  // a byte that ended an escape sequence, taken as typed
    while (len < max) {
        if (pending != EOF) {
            c = pending;
            pending = EOF;
        } else {
            c = getchar();
        }
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
            key k = read_escape(&pending);
            if (k == key::end_of_input) {
                c = EOF;
                break;
            }
            if (k == key::up || k == key::down) {
                if (k == key::up)
                    back = back == hist.count ? 0 : back + 1;
                else
                    back = back == 0 ? hist.count : back - 1;
                len = pos = recall(buf, max, pos, back);
            } else if (k == key::right) {
                if (pos < len) {
                    pos++;
                    term_esc("[C");
                }
            } else if (k == key::left) {
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
