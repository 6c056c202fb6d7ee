#define _POSIX_C_SOURCE 200809L
#include <time.h>

#include "tests/bench/bench_clock.h"

static double seconds(clockid_t clock) {
  struct timespec now;
  clock_gettime(clock, &now);
  return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

double benchWallSeconds(void) { return seconds(CLOCK_MONOTONIC); }

double benchCpuSeconds(void) { return seconds(CLOCK_PROCESS_CPUTIME_ID); }
