/* Uses the Quarvel FTP library: logs in, uploads a file, lists the remote
 * folder, downloads the file back beside the original (name + ".back") and
 * compares the two byte for byte.
 *
 *   ftp_example HOST PORT USER PASSWORD FILE
 *
 * Exit code 0 when all went well, 1 with one line on standard error when a
 * step failed, 2 on wrong arguments. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ftp/ftp_api.h"

static int fail(const char* step) {
  fprintf(stderr, "ftp_example: %s failed: %d %s\n", step, FTPGETLASTSTATUSCODE(),
          FTPGETLASTSTATUSMSG());
  return 1;
}

/* 1 when both files hold the same bytes. */
static int sameContents(const char* a, const char* b) {
  FILE* fa = fopen(a, "rb");
  FILE* fb = fopen(b, "rb");
  int same = fa != NULL && fb != NULL;
  while (same) {
    int ca = fgetc(fa);
    int cb = fgetc(fb);
    if (ca != cb) same = 0;
    if (ca == EOF) break;
  }
  if (fa != NULL) fclose(fa);
  if (fb != NULL) fclose(fb);
  return same;
}

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: ftp_example HOST PORT USER PASSWORD FILE\n");
    return 2;
  }
  const char* host = argv[1];
  int port = atoi(argv[2]);
  const char* file = argv[5];
  const char* name = file;
  for (const char* p = file; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  if (port <= 0 || *name == '\0') {
    fprintf(stderr, "ftp_example: bad port or file name\n");
    return 2;
  }

  int channel = ftpConnect(host, port, argv[3], argv[4]);
  if (channel < 0) return fail("login");
  printf("logged in: %d %s\n", FTPGETLASTSTATUSCODE(), FTPGETLASTSTATUSMSG());

  if (ftpPutFile(channel, host, 0, name, file) != 1) return fail("upload");

  FtpList* list = ftpListCreate();
  int lines = ftpGetList(channel, host, list);
  printf("listing of %s (%d lines):\n", ftpCurDir(channel), lines);
  for (int i = 1; i <= ftpListCount(list); ++i) printf("  %s\n", ftpListItem(list, i));
  ftpListFree(list);

  size_t length = strlen(file) + sizeof ".back";
  char* copy = malloc(length);
  if (copy == NULL) return 1;
  snprintf(copy, length, "%s.back", file);
  if (ftpGetFile(channel, 0, host, name, copy) != 1) {
    free(copy);
    return fail("download");
  }
  int same = sameContents(file, copy);
  ftpQuit(channel);
  if (!same) {
    fprintf(stderr, "ftp_example: %s and %s differ\n", file, copy);
    free(copy);
    return 1;
  }
  printf("%s uploaded, listed and downloaded back unchanged as %s\n", name, copy);
  free(copy);
  return 0;
}
