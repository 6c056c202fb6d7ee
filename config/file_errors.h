// The numbers the program prints for failed file operations.
#pragma once

#include "platform/platform.h"

namespace quarvel {

// 53 file not found, 76 path not found, 70 access denied, 75 for any other
// failure; 0 for kNone.
int runtimeErrorNumber(FileError error);

}  // namespace quarvel
