/* The least work any event can do, to hold the program's events against:
 * start, read the store whole, and, for an event that changes stores
 * ("commit"), write each of them back as one durable commit does (a
 * temporary file in the same folder, flushed to disk, renamed over the
 * store). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "floor_replace.h"

static char *read_whole(const char *path, size_t *size) {
  FILE *f = fopen(path, "rb");
  if (!f) return NULL;
  size_t capacity = 1 << 16, used = 0;
  char *data = malloc(capacity);
  size_t n;
  while (data && (n = fread(data + used, 1, capacity - used, f)) > 0) {
    used += n;
    if (used == capacity) data = realloc(data, capacity *= 2);
  }
  fclose(f);
  *size = used;
  return data;
}

int main(int argc, char **argv) {
  int commit = argc > 1 && strcmp(argv[1], "commit") == 0;
  if (argc < 2 + commit) {
    fprintf(stderr, "usage: floor [commit] STORE...\n");
    return 2;
  }
  for (int i = 1 + commit; i < argc; ++i) {
    size_t size = 0;
    char *data = read_whole(argv[i], &size);
    if (!data) {
      fprintf(stderr, "floor: cannot read %s\n", argv[i]);
      return 1;
    }
    if (commit && !replace_durably(argv[i], data, size)) {
      fprintf(stderr, "floor: cannot replace %s\n", argv[i]);
      return 1;
    }
    free(data);
  }
  return 0;
}
