#include "platform/command_line.h"

namespace quarvel {

std::string commandLineAfterProgramName(const std::string& raw) {
  std::size_t i = 0;
  if (!raw.empty() && raw[0] == '"') {
    std::size_t close = raw.find('"', 1);
    i = close == std::string::npos ? raw.size() : close + 1;
  } else {
    while (i < raw.size() && static_cast<unsigned char>(raw[i]) > 32) ++i;
  }
  while (i < raw.size() && raw[i] == ' ') ++i;
  return raw.substr(i);
}

}  // namespace quarvel
