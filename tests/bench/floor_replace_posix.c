/* write, fsync, rename, fsync of the folder: what a durable store commit costs. */
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "floor_replace.h"

int replace_durably(const char *path, const char *data, size_t size) {
  char temp[4096], folder[4096];
  if (snprintf(temp, sizeof temp, "%s.new", path) >= (int)sizeof temp) return 0;
  int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) {
      close(fd);
      unlink(temp);
      return 0;
    }
    done += (size_t)n;
  }
  if (fsync(fd) != 0 || close(fd) != 0 || rename(temp, path) != 0) {
    unlink(temp);
    return 0;
  }
  snprintf(folder, sizeof folder, "%s", path);
  int dir = open(dirname(folder), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return 1;
}
