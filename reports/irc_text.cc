#include "reports/irc_text.h"

namespace quarvel {

std::string cleanIrcText(const std::string& text) {
  std::string clean;
  for (char c : text) {
    if (c != '{' && c != '}' && c != '"' && c != '/' && c != '\\') clean += c;
  }
  return clean;
}

}  // namespace quarvel
