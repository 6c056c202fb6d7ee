/* rawrun: starts a program with an exact, raw Windows command line.
 *
 * Wine builds a process's command line from Unix arguments and quotes them
 * again, so a test cannot hand a program a line with its own quotes, double
 * blanks or empty words. rawrun takes the line from the variable
 * QUARVEL_RAW_COMMAND_LINE instead (the program's path first, e.g.
 * "Z:\build\quarvel.exe" UD "C:/x.rar") and passes it to CreateProcessA
 * unchanged. The child gets this environment, this working folder and these
 * standard handles; rawrun waits for it and exits with its exit code.
 * Exit code 125 and one line on standard error mean the child never ran. */
#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static const char kVariable[] = "QUARVEL_RAW_COMMAND_LINE";

static int fail(const char* what, DWORD code) {
  fprintf(stderr, "rawrun: %s (error %lu)\n", what, (unsigned long)code);
  fflush(stderr);
  return 125;
}

int main(void) {
  DWORD size = GetEnvironmentVariableA(kVariable, NULL, 0);
  if (size == 0) return fail("QUARVEL_RAW_COMMAND_LINE is not set", GetLastError());
  char* line = malloc(size);
  if (line == NULL) return fail("out of memory", 0);
  DWORD length = GetEnvironmentVariableA(kVariable, line, size);
  if (length == 0 || length >= size)
    return fail("cannot read QUARVEL_RAW_COMMAND_LINE", GetLastError());

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child;
  if (!CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child)) {
    return fail("cannot start the program", GetLastError());
  }
  CloseHandle(child.hThread);
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 125;
  if (!GetExitCodeProcess(child.hProcess, &code)) return fail("no exit code", GetLastError());
  CloseHandle(child.hProcess);
  free(line);
  ExitProcess(code);
}
