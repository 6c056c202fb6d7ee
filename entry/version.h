// The program's version, written in this one place: the build, the release
// packages and `quarvel --version` all take it from here.
#pragma once

namespace quarvel {

inline constexpr char kVersion[] = "1.1.0";

}  // namespace quarvel
