#include "base/globals.h"

interp_state ist;
