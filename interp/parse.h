// The parser of the command language: the program's main loop.
#pragma once

// 0 at the end of input between statements or at `bye`; 1 when error
// recovery meets the end of input; 2 when the parser stack overflows.
int yyparse();
// The parser's error report: "%s.\n" at a terminal, "%s in line %d.\n"
// otherwise; the exit status becomes 1.
void yyerror(const char *msg);
// "tevo> " on standard output while reading a terminal.
void prompt();
