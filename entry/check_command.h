// `quarvel check`: reads quarvel.conf and everything it points to, prints a
// line for every finding and a summary, and changes nothing (no store, no
// file). The exit code is 0 when nothing is wrong, 1 otherwise: the one
// command whose exit code says something.
#pragma once

#include <string>

#include "entry/run.h"

namespace quarvel {

bool isCheckCommand(const std::string& command_line);

int runCheck(Run& run);

}  // namespace quarvel
