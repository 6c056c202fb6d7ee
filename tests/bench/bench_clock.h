/* The clocks of the transfer benchmark's driver; one implementation per
 * platform. */
#ifndef BENCH_CLOCK_H
#define BENCH_CLOCK_H
/* Seconds on a clock that only goes forward. */
double benchWallSeconds(void);
/* Processor seconds (user and system) the process has used so far. */
double benchCpuSeconds(void);
#endif
