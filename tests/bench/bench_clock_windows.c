#include <windows.h>

#include "tests/bench/bench_clock.h"

double benchWallSeconds(void) {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return (double)count.QuadPart / (double)frequency.QuadPart;
}

/* FILETIME counts 100-nanosecond steps. */
static double filetimeSeconds(FILETIME t) {
  return (double)(((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime) / 1e7;
}

double benchCpuSeconds(void) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0.0;
  return filetimeSeconds(kernel) + filetimeSeconds(user);
}
