/* One timed transfer through the Quarvel FTP library, for the transfer
 * benchmark (transfer_bench.py): logs in, then times only the download or
 * upload.
 *
 *   ftp_transfer HOST PORT USER PASSWORD get|put REMOTE LOCAL [FINGERPRINT]
 *
 * With FINGERPRINT (the server certificate's SHA-256) the login and the
 * transfer run over TLS. Prints two lines:
 *   tls <protocol> <cipher>        ("tls plain" without TLS)
 *   transfer <wall s> <cpu s>      the transfer alone
 * Exit code 0 when the transfer succeeded, 1 with one line on standard
 * error when a step failed, 2 on wrong arguments. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ftp/ftp_api.h"
#include "tests/bench/bench_clock.h"

static int fail(const char* step) {
  fprintf(stderr, "ftp_transfer: %s failed: %d %s\n", step, FTPGETLASTSTATUSCODE(),
          FTPGETLASTSTATUSMSG());
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 8 && argc != 9) {
    fprintf(stderr,
            "usage: ftp_transfer HOST PORT USER PASSWORD get|put REMOTE LOCAL [FINGERPRINT]\n");
    return 2;
  }
  const char* host = argv[1];
  int port = atoi(argv[2]);
  int upload = strcmp(argv[5], "put") == 0;
  if (port <= 0 || (!upload && strcmp(argv[5], "get") != 0)) {
    fprintf(stderr, "ftp_transfer: bad port or direction (get or put)\n");
    return 2;
  }
  if (argc == 9 && ftpSetTls(1, argv[8]) != 1) {
    fprintf(stderr, "ftp_transfer: not a SHA-256 fingerprint: %s\n", argv[8]);
    return 2;
  }
  int channel = ftpConnect(host, port, argv[3], argv[4]);
  if (channel < 0) return fail("login");
  const char* session = ftpTlsSession();
  printf("tls %s\n", session[0] != '\0' ? session : "plain");

  double wall = benchWallSeconds();
  double cpu = benchCpuSeconds();
  int done = upload ? ftpPutFile(channel, host, 0, argv[6], argv[7])
                    : ftpGetFile(channel, 0, host, argv[6], argv[7]);
  wall = benchWallSeconds() - wall;
  cpu = benchCpuSeconds() - cpu;
  if (done != 1) return fail(upload ? "upload" : "download");
  ftpQuit(channel);
  printf("transfer %.6f %.6f\n", wall, cpu);
  return 0;
}
