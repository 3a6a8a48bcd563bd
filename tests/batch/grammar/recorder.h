// The statement actions of the grammar test: each records its call with the
// line the scanner was on when the action ran.
#pragma once

#include <string>
#include <vector>

extern std::vector<std::string> calls;
// When set, act_caps_start asks the parser to abandon the statement.
extern bool abandon_caps;
