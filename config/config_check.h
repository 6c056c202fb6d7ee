// The checks of quarvel.conf that need nothing but its text: keys the
// program does not read, keys it cannot see, numbers that are none, values
// that are missing or lost, and empty values that change who is punished.
// Every finding names the line it is about (0 when the key is missing).
#pragma once

#include <string>
#include <vector>

#include "config/config_lines.h"

namespace quarvel {

struct ConfigFinding {
  int line = 0;  // 0: the key is not in the file
  std::string text;
  bool warning = false;  // sound, but worth knowing: not a problem
};

std::vector<ConfigFinding> checkConfigLines(const std::vector<ConfigLine>& lines);

// Whether the key's value is a flag text, a list of names or a path, where
// a remark after the value ("6 # disabled") becomes part of what is compared.
bool takesNoRemark(const std::string& key);

// The start of a remark in `value`: a "#" or ";" after a blank or tab;
// npos when none.
std::size_t remarkStart(const std::string& value);

// "line 12: " before a finding's text, nothing for line 0.
std::string findingText(const ConfigFinding& finding);

}  // namespace quarvel
