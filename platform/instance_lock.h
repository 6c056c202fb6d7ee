// The names of the instance lock, shared by both platforms, and the choice
// between the Windows mutex names (kept apart from Win32 so that it can be
// tested on every build).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quarvel {

// The lock file, in the program's own folder: POSIX takes its flock, and
// Windows a file lock on it beside the mutex. That folder is fixed for an
// installation and the same for every caller, unlike $TMPDIR or the working
// folder.
extern const char kInstanceLockFileName[];

// Windows: the mutex names in the order they are tried. The global name
// gives one lock per machine, so that runs started from different logon
// sessions (the server's service, an operator's scheduler or bot) still
// follow one another; the session-local name is the fallback for an account
// that may not create global objects.
const std::vector<std::string>& instanceMutexNames();

// Creates (or opens) the mutex `name`: its handle, or 0 with *error set to
// the system's error number and *denied telling whether access was refused.
using MutexCreator =
    std::function<std::intptr_t(const std::string& name, unsigned long* error, bool* denied)>;

struct InstanceMutex {
  std::intptr_t handle = 0;  // 0 when no name could be used
  std::string name;          // the name used, or the last one tried
};

// Tries the names in order. Only a refused access moves on to the next name,
// and each such move adds one line for standard error to *notices; any other
// failure, or the last name refused, ends with handle 0 and a line saying so.
InstanceMutex openInstanceMutex(const MutexCreator& create, std::vector<std::string>* notices);

}  // namespace quarvel
