// Libraries of the Windows system folder that only some runs need, loaded
// when first needed instead of bound at start-up: each library bound at
// start is loaded, with the libraries it needs in turn, by every run.
#pragma once

#include <windows.h>

#include <string>

namespace quarvel {

// Loads a library of the system folder by its full path, never one of the
// same name in the program's folder or the current one. Null, with the
// reason in *why, when it cannot be loaded.
HMODULE loadSystemLibrary(const char* name, std::string* why);

// A function of a loaded library, typed as its declaration (pass
// decltype(&::Name)); null when the library has none of that name.
template <typename Function>
Function libraryFunction(HMODULE library, const char* name) {
  // Through void (*)(): the one function type every other converts from
  // without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

}  // namespace quarvel
