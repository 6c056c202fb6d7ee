// Paths as the operator reads them in help and check output.
#pragma once

#include <string>

namespace quarvel {

// The program builds paths with backslashes ("<folder>\quarvel.conf") and
// the POSIX platform maps them to slashes only at the file system: a path
// that holds a slash is shown with slashes throughout. Separators doubled
// where a folder with its final separator meets a name are shown once.
std::string shownPath(const std::string& path);

}  // namespace quarvel
