#include "config/config_lines.h"

#include "config/text.h"

namespace quarvel {

std::vector<ConfigLine> parseConfigLines(const std::string& bytes) {
  std::vector<ConfigLine> lines;
  int number = 0;
  for (const std::string& raw : splitTextLines(bytes)) {
    ConfigLine line;
    line.number = ++number;
    line.text = replaceAll(raw, "\"", "");
    std::vector<std::string> parts = splitAt(line.text, "=");
    line.has_equals = parts.size() > 1;
    line.key = trimBlanks(parts[0]);
    if (line.has_equals) line.value = trimBlanks(parts[1]);
    line.value_cut = parts.size() > 2;
    lines.push_back(line);
  }
  return lines;
}

int lineOfKey(const std::vector<ConfigLine>& lines, const std::string& key) {
  for (const ConfigLine& line : lines) {
    if (equalsIgnoringCase(line.key, key)) return line.number;
  }
  return 0;
}

}  // namespace quarvel
