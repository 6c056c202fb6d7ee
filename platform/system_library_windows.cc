#include "platform/system_library_windows.h"

namespace quarvel {

HMODULE loadSystemLibrary(const char* name, std::string* why) {
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) {
    *why = "the system folder is unknown";
    return nullptr;
  }
  std::string path = std::string(folder, length) + "\\" + name;
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) {
    *why = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  }
  return library;
}

}  // namespace quarvel
