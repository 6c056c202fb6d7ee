#include "config/file_errors.h"

namespace quarvel {

int runtimeErrorNumber(FileError error) {
  switch (error) {
    case FileError::kNone:
      return 0;
    case FileError::kNotFound:
      return 53;
    case FileError::kPathNotFound:
      return 76;
    case FileError::kAccessDenied:
      return 70;
    case FileError::kOther:
      break;
  }
  return 75;
}

}  // namespace quarvel
