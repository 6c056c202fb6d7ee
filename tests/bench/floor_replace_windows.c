/* WriteFile, FlushFileBuffers, MoveFileEx with write-through: what a durable
 * store commit costs on Windows. */
#include <stdio.h>
#include <windows.h>

#include "floor_replace.h"

int replace_durably(const char *path, const char *data, size_t size) {
  char temp[MAX_PATH + 8];
  if (snprintf(temp, sizeof temp, "%s.new", path) >= (int)sizeof temp) return 0;
  HANDLE file =
      CreateFileA(temp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  BOOL ok = WriteFile(file, data, (DWORD)size, &written, NULL) && written == size &&
            FlushFileBuffers(file);
  CloseHandle(file);
  if (!ok || !MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temp);
    return 0;
  }
  return 1;
}
