// Actions of `read`, `history` (`bye` ends the parser itself).
#pragma once

// read "file" ; the text stays the scanner's.
void act_read(const char *file);
void act_history();
