#include "entry/shown_path.h"

namespace quarvel {

std::string shownPath(const std::string& path) {
  const bool slashes = path.find('/') != std::string::npos;
  std::string shown;
  for (std::size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    bool separator = c == '\\' || c == '/';
    if (separator && slashes) c = '/';
    // A network path keeps its two leading separators.
    if (separator && i > 1 && !shown.empty() && shown.back() == c) continue;
    shown += c;
  }
  return shown;
}

}  // namespace quarvel
