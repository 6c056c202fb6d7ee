/* probe: shows what a Windows program started by the end-to-end harness
 * receives: its raw command line, today's local date (GetLocalTime, which the
 * harness fakes with libfaketime around Wine) and the caller's variables
 * user, group, path and pwd. One line each, CR LF ended:
 *   line=<raw command line>
 *   date=MM-DD-YYYY
 *   user=<value>            or  user unset
 * Built by the harness's own checks (tests/e2e/test_harness.py). */
#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <string.h>
#include <windows.h>

static void put(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)strlen(text), &written, NULL);
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "\r\n", 2, &written, NULL);
}

int main(void) {
  static char line[70000];
  snprintf(line, sizeof line, "line=%s", GetCommandLineA());
  put(line);

  SYSTEMTIME now;
  GetLocalTime(&now);
  snprintf(line, sizeof line, "date=%02u-%02u-%04u", now.wMonth, now.wDay, now.wYear);
  put(line);

  static const char* const names[] = {"user", "group", "path", "pwd"};
  for (int i = 0; i < 4; ++i) {
    char value[32768];
    SetLastError(0);
    DWORD n = GetEnvironmentVariableA(names[i], value, sizeof value);
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
      snprintf(line, sizeof line, "%s unset", names[i]);
    } else {
      snprintf(line, sizeof line, "%s=%s", names[i], n < sizeof value ? value : "");
    }
    put(line);
  }
  return 0;
}
