/* Drives every exported FTP function against a real FTP server, through the
 * C header and the shared library, as another program would.
 *
 *   ftp_api_test HOST PORT USER PASSWORD LOCAL_FOLDER CLOSED_PORT [FINGERPRINT]
 *
 * The login's home folder must be empty and writable; LOCAL_FOLDER is an
 * empty local folder for the files moved; nothing listens on CLOSED_PORT.
 * With FINGERPRINT (the SHA-256 fingerprint of the server's certificate)
 * everything runs over TLS, the certificate pinned by it.
 * Prints one line per check ("ok ..." or "FAILED ...") and a closing
 * "N passed, N failed" line; exit code 0 only when all passed. */
#include "ftp/ftp_api.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int passed = 0;
static int failed = 0;
static char local_folder[1024];
static char separator[2] = "/";

static void check(int ok, const char* what) {
  if (ok) {
    ++passed;
    printf("ok %s\n", what);
  } else {
    ++failed;
    printf("FAILED %s (last status: %d %s)\n", what, FTPGETLASTSTATUSCODE(), FTPGETLASTSTATUSMSG());
  }
  fflush(stdout);
}

static int statusIs(int code) { return FTPGETLASTSTATUSCODE() == code; }

static const char* localPath(const char* name) {
  static char paths[4][1200];
  static int next = 0;
  char* path = paths[next++ % 4];
  snprintf(path, sizeof paths[0], "%s%s%s", local_folder, separator, name);
  return path;
}

/* A file of `size` bytes in which every byte value occurs. */
static int writePattern(const char* path, long size) {
  FILE* f = fopen(path, "wb");
  if (f == NULL) return 0;
  for (long i = 0; i < size; ++i) fputc((int)((i * 7 + i / 256) % 256), f);
  return fclose(f) == 0;
}

static int sameFiles(const char* a, const char* b) {
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

static long fileLength(const char* path) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return -1;
  fseek(f, 0, SEEK_END);
  long length = ftell(f);
  fclose(f);
  return length;
}

/* The progress texts of the last transfer: how many, the last one, and
 * the largest step between two (from 0 for the first); a step that is not
 * forward counts as -1. */
static int progress_count;
static char progress_last[64];
static long progress_step;

static void onProgress(intptr_t window, const char* text, void* context) {
  (void)context;
  if (window != 7) return;
  long before = progress_count == 0 ? 0 : strtol(progress_last, NULL, 10);
  long step = strtol(text, NULL, 10) - before;
  if (step <= 0 || progress_step < 0) {
    progress_step = -1;
  } else if (step > progress_step) {
    progress_step = step;
  }
  ++progress_count;
  snprintf(progress_last, sizeof progress_last, "%s", text);
}

/* 1 when some line of the list holds `name` as its last word. */
static int listHolds(const FtpList* list, const char* name) {
  size_t n = strlen(name);
  for (int i = 1; i <= ftpListCount(list); ++i) {
    const char* line = ftpListItem(list, i);
    size_t length = strlen(line);
    if (length > n && strcmp(line + length - n, name) == 0 && line[length - n - 1] == ' ') {
      return 1;
    }
  }
  return 0;
}

static int allBeginWith(const FtpList* list, const char* firsts) {
  for (int i = 1; i <= ftpListCount(list); ++i) {
    if (strchr(firsts, ftpListItem(list, i)[0]) == NULL) return 0;
  }
  return 1;
}

static void transferRoundTrip(int channel, const char* host, const char* name, long size) {
  char what[160];
  const char* up = localPath(name);
  char down_name[64];
  snprintf(down_name, sizeof down_name, "%s.down", name);
  const char* down = localPath(down_name);
  char expected[64];

  if (!writePattern(up, size)) {
    check(0, "writing the local file");
    return;
  }
  progress_count = 0;
  progress_last[0] = '\0';
  progress_step = 0;
  snprintf(what, sizeof what, "upload of %ld bytes (%s)", size, name);
  check(ftpPutFile(channel, host, 7, name, up) == 1 && statusIs(226), what);
  snprintf(what, sizeof what, "upload progress after each full block (%s)", name);
  snprintf(expected, sizeof expected, "%ld of %ld", (size / 8192) * 8192, size);
  check(progress_count == size / 8192 && (size < 8192 || strcmp(progress_last, expected) == 0) &&
            (size < 8192 || progress_step == 8192),
        what);

  progress_count = 0;
  progress_last[0] = '\0';
  progress_step = 0;
  writePattern(down, 3); /* a stale local file is replaced */
  snprintf(what, sizeof what, "download of %ld bytes (%s)", size, name);
  check(ftpGetFile(channel, 7, host, name, down) == 1 && statusIs(226), what);
  snprintf(what, sizeof what, "downloaded bytes equal the uploaded ones (%s)", name);
  check(fileLength(down) == size && sameFiles(up, down), what);
  snprintf(what, sizeof what, "download progress in steps of at most 8192 to the size (%s)", name);
  snprintf(expected, sizeof expected, "%ld of ", size);
  check(size == 0
            ? progress_count == 0
            : progress_count >= 1 && strncmp(progress_last, expected, strlen(expected)) == 0 &&
                  progress_step > 0 && progress_step <= 8192,
        what);
}

int main(int argc, char** argv) {
  if (argc != 7 && argc != 8) {
    fprintf(stderr,
            "usage: ftp_api_test HOST PORT USER PASSWORD LOCAL_FOLDER CLOSED_PORT "
            "[FINGERPRINT]\n");
    return 2;
  }
  const char* host = argv[1];
  int port = atoi(argv[2]);
  const char* user = argv[3];
  const char* password = argv[4];
  snprintf(local_folder, sizeof local_folder, "%s", argv[5]);
  if (strchr(local_folder, '\\') != NULL) separator[0] = '\\';

  if (argc == 8) {
    /* A certificate that is not the server's: refused before USER. */
    const char* other =
        "00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff:00:11:22:33:44:55:66:77:88:99:aa:bb:cc:"
        "dd:ee:ff";
    check(ftpSetTls(1, "12:34") == 0, "a malformed fingerprint is refused");
    check(ftpSetTls(1, other) == 1, "TLS with another fingerprint pinned");
    check(ftpConnect(host, port, user, password) == -1 && statusIs(421) &&
              strstr(FTPGETLASTSTATUSMSG(), "does not match the pinned fingerprint") != NULL,
          "a certificate with another fingerprint is refused");
    check(ftpSetTls(1, argv[7]) == 1, "TLS with the server's fingerprint pinned");
  }

  /* Failed logins. */
  check(ftpConnect(host, atoi(argv[6]), user, password) == -1 &&
            strcmp(FTPGETLASTSTATUSMSG(), "Unable to open socket") == 0 &&
            FTPGETLASTSTATUSCODE() != 0,
        "connecting to a closed port fails with the socket error");
  check(ftpConnect(host, port, user, "wrong password") == -1 && statusIs(530),
        "a wrong password is refused with 530");

  int channel = ftpConnect(host, port, user, password);
  check(channel > 0 && statusIs(230), "login");
  /* Over TLS: the protocol and the cipher, "TLSv1.2 ECDHE-..." or newer. */
  const char* session = ftpTlsSession();
  if (argc == 8) {
    const char* blank = strchr(session, ' ');
    check(strncmp(session, "TLSv1.", 6) == 0 && strcmp(session, "TLSv1.1") > 0 && blank != NULL &&
              blank[1] != '\0',
          "the TLS session names a protocol of TLS 1.2 or newer and a cipher");
    printf("TLS session: %s\n", session);
  } else {
    check(session[0] == '\0', "a plain login has no TLS session");
  }
  if (channel <= 0) {
    printf("%d passed, %d failed\n", passed, failed);
    return 1;
  }

  char home[1024];
  snprintf(home, sizeof home, "%s", ftpCurDir(channel));
  check(home[0] == '/' && statusIs(257), "current folder of the login");

  /* Folders. */
  check(FTPMAKEDIR(channel, "sub") == 1 && statusIs(257), "make a folder");
  check(FTPMAKEDIR(channel, "sub") == 0 && FTPGETLASTSTATUSCODE() >= 500, "making it again fails");
  check(ftpChangeDir(channel, "  sub  ") == 1 && statusIs(250), "change into it (blanks trimmed)");
  const char* inside = ftpCurDir(channel);
  check(strlen(inside) >= 4 && strcmp(inside + strlen(inside) - 4, "/sub") == 0,
        "the current folder ends in /sub");
  check(ftpChangeDir(channel, "..") == 1 && strcmp(ftpCurDir(channel), home) == 0,
        "change back up");
  check(ftpChangeDir(channel, "missing") == 0 && statusIs(550),
        "changing into a missing folder fails");

  ftpSetAscii(channel);
  check(statusIs(200), "TYPE A");
  ftpSetBinary(channel);
  check(statusIs(200), "TYPE I");

  /* Transfers. */
  ftpSetProgressCallback(onProgress, NULL);
  transferRoundTrip(channel, host, "empty.bin", 0);
  transferRoundTrip(channel, host, "block.bin", 16384);
  transferRoundTrip(channel, host, "big.bin", 3L * 1024 * 1024 + 4321);
  ftpSetProgressCallback(NULL, NULL);

  check(ftpPutFile(channel, host, 0, "x.bin", localPath("no-such-file")) == 0 && statusIs(1) &&
            strcmp(FTPGETLASTSTATUSMSG(), "Local File Not Found") == 0,
        "uploading a missing local file fails with code 1");
  const char* refused = localPath("refused.down");
  writePattern(refused, 10);
  check(ftpGetFile(channel, 0, host, "no-such-file", refused) == 0 && statusIs(550) &&
            fileLength(refused) == 0,
        "a refused download leaves an empty local file");

  /* Listings. */
  FtpList* list = ftpListCreate();
  check(list != NULL && ftpListCount(list) == 0 && strcmp(ftpListItem(list, 0), "") == 0 &&
            ftpListItem(list, 1) == NULL,
        "a new list is empty");
  int n = ftpGetList(channel, host, list);
  check(n == 4 && ftpListCount(list) == 4 && strcmp(ftpListItem(list, 0), "") == 0 &&
            listHolds(list, "sub") && listHolds(list, "big.bin") && listHolds(list, "empty.bin") &&
            listHolds(list, "block.bin") && statusIs(226),
        "full listing");
  n = ftpGetFileList(channel, host, list);
  check(n == 3 && allBeginWith(list, "-") && listHolds(list, "big.bin") && !listHolds(list, "sub"),
        "file listing");
  n = ftpGetDirList(channel, host, list);
  check(n == 1 && allBeginWith(list, "dD") && listHolds(list, "sub"), "folder listing");
  check(ftpGetList(channel, host, NULL) == 4, "a listing without a list still counts");

  /* Rename and delete. */
  check(FTPMOVEORRENAME(channel, "block.bin", "renamed.bin") == 1 && statusIs(250), "rename");
  check(FTPMOVEORRENAME(channel, "block.bin", "again.bin") == 0 && statusIs(550),
        "renaming a missing file fails at RNFR");
  n = ftpGetFileList(channel, host, list);
  check(n == 3 && listHolds(list, "renamed.bin") && !listHolds(list, "block.bin"),
        "the listing shows the new name");
  check(ftpDeleteFile(channel, "renamed.bin") == 1 && statusIs(250), "delete a file");
  check(ftpDeleteFile(channel, "renamed.bin") == 0 && statusIs(550), "deleting it again fails");
  check(ftpDeleteFile(channel, "bad\r\nRMD sub") == 0 && statusIs(501),
        "a command holding a line break is refused");
  check(FTPREMOVEDIR(channel, "sub") == 1 && statusIs(250), "remove the folder");
  check(FTPREMOVEDIR(channel, "sub") == 0 && statusIs(550), "removing it again fails");
  n = ftpGetDirList(channel, host, list);
  check(n == 0 && ftpListCount(list) == 0, "no folder is left");
  ftpListFree(list);

  ftpQuit(channel);
  check(statusIs(221), "quit");

  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
