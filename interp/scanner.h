// The scanner of the command language and its stack of input files.
#pragma once

#include <cstdio>

extern FILE *yyin;
extern FILE *yyout;

int yylex();
// `read "name";`: reading goes on in the named file until its end, then
// right after the statement. At most 9 files nest; deeper ends the run.
// A file that cannot be opened: the system's reason on standard error, the
// exit status becomes 1, and reading goes on in the current input.
void push_input(const char *name);
extern "C" int yywrap();
// Shutdown: frees the scanner's buffers (closing included files still open
// after `bye`) and its string buffer.
void delete_input_buffer();
// Number of included files open at the moment.
int input_depth();
// Bytes of unfinished tokens that the refills of the run have moved to the
// start of the buffer and scanned again: the scanner's work beyond one pass
// over the input: a few times the length of each token longer than a block
// of 8192 bytes, and a few bytes per block besides. A token may be 128 MB
// long; a longer one ends the run as a buffer that cannot grow.
unsigned long long scanner_rescanned_bytes();
