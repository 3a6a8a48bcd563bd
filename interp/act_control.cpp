#include "interp/act_control.h"

#include "interp/lineedit.h"
#include "interp/scanner.h"

void act_read(const char *file)
{
    push_input(file);
}

void act_history()
{
    history_print();
}
