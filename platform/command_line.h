// Pure text rules of the process command line, shared by the platforms.
#pragma once

#include <string>

namespace quarvel {

// The command line after the program's name and the blanks (code 32) that
// follow it. The name ends at its closing double quote when it begins with
// one, otherwise before the first character whose code is 32 or less.
// Blanks at the end stay part of the command line.
std::string commandLineAfterProgramName(const std::string& raw);

}  // namespace quarvel
