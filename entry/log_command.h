// `quarvel log <user>`: what the audit log holds about one user, oldest
// first, for the operator at a prompt. It reads only the log (no
// configuration, no store) and takes no lock.
#pragma once

#include <string>

#include "platform/platform.h"

namespace quarvel {

// A command line whose first word is "log", in any letter case.
bool isLogCommand(const std::string& command_line);

// Prints the user's lines from Quarvel.log.1 and Quarvel.log in the working
// folder, one per entry, or one line saying there are none. A usage error
// or a log that cannot be read goes to standard error.
void printUserLog(Platform& platform, const std::string& command_line);

}  // namespace quarvel
