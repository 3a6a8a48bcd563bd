// The input source of the scanner: a small line editor with a history ring
// on a terminal, plain block reads otherwise.
#pragma once

// Places up to max bytes of input in buf; returns the count, 0 at end of input.
int read_line(char *buf, int max);
void history_init();
void history_free();
// `history;`: the stored lines, oldest first, to the report stream.
void history_print();
void term_puts(const char *s);
void term_esc(const char *s);

// Number of slots in the ring and bytes per slot (a stored line keeps at
// most hist_slot_size - 1 characters).
constexpr int hist_slots = 100;
constexpr int hist_slot_size = 128;
