#include "interp/globals.h"

interp_state ist;
