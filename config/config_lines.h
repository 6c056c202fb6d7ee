// The configuration file line by line, with line numbers, as the operator's
// check reads it. configValue reads the same lines through its own cache;
// this view only adds where each line stands.
#pragma once

#include <string>
#include <vector>

namespace quarvel {

struct ConfigLine {
  int number = 0;    // counted from 1 in the file
  std::string text;  // the line with its double quotes removed
  bool has_equals = false;
  std::string key;         // text before the first "=", blanks trimmed
  std::string value;       // text between the first and second "=", trimmed
  bool value_cut = false;  // a second "=" dropped the rest of the line
};

// The lines of the file's bytes as the configuration reads them: CR LF, CR
// and LF each end a line, Ctrl-Z ends the text, double quotes vanish.
std::vector<ConfigLine> parseConfigLines(const std::string& bytes);

// The number of the first line whose key equals `key` without regard to
// case (the line configValue reads); 0 when there is none.
int lineOfKey(const std::vector<ConfigLine>& lines, const std::string& key);

}  // namespace quarvel
