#include "interp/act_common.h"

#include "base/error.h"

void act_not_built(const char *what)
{
    error("%s is not available yet", what);
}
