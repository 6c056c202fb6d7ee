// `quarvel help` (also --help, -h and /?) and `quarvel --version`: what the
// operator types at a prompt. They read no file and take no lock. A bare
// run and an unknown command still print nothing, since servers start the
// program with command lines whose output must stay as it is.
#pragma once

#include <string>

#include "platform/platform.h"

namespace quarvel {

bool isHelpCommand(const std::string& command_line);
bool isVersionCommand(const std::string& command_line);

// The commands, one line each, and the files this run would use.
void printHelp(Platform& platform);
void printVersion(Platform& platform);

}  // namespace quarvel
