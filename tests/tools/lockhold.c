/* lockhold: holds the program's instance lock for a test.
 *
 * Takes the named mutex "Global\QuarvelInstance" (or the name given as its
 * one argument) the way the program does (CreateMutexA, then
 * WaitForSingleObject without a time limit; an abandoned mutex counts as
 * taken), prints the line "held" (CR LF) and flushes it, then
 * keeps the lock until a line or the end of file arrives on standard input,
 * or until it is killed (the system then marks the mutex abandoned and the
 * next waiter takes it). Exit code 0 after a normal release, 1 when the lock
 * could not be taken. */
#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  const char* name = argc > 1 ? argv[1] : "Global\\QuarvelInstance";
  HANDLE mutex = CreateMutexA(NULL, FALSE, name);
  if (mutex == NULL) {
    fprintf(stderr, "lockhold: cannot create the mutex (error %lu)\n",
            (unsigned long)GetLastError());
    return 1;
  }
  DWORD wait = WaitForSingleObject(mutex, INFINITE);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    fprintf(stderr, "lockhold: cannot take the mutex (error %lu)\n", (unsigned long)GetLastError());
    return 1;
  }
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\r\n", 6, &written, NULL);

  /* Any byte up to a line end, or the end of input, or a read error. */
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char c = 0;
  DWORD got = 0;
  while (ReadFile(in, &c, 1, &got, NULL) && got == 1 && c != '\n') {
  }
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return 0;
}
