// Names (local paths, file names) as the line stores hold them. Every byte
// that a line cannot hold or that a reader would take for something else
// (CR, LF, NUL, the end-of-file character 26 and the other control bytes,
// "=", and blanks at either end, which readers trim) is written %XX, and
// "%" itself as %25, so that a name written is found again byte for byte:
// lookups encode the name they look for the same way.
#pragma once

#include <string>

namespace quarvel {

std::string encodeStoredName(const std::string& name);
// The name back; a "%" not followed by two hex digits stays as it is.
std::string decodeStoredName(const std::string& stored);

}  // namespace quarvel
