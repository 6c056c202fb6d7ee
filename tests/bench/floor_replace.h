/* Replaces the file at `path` by `size` bytes of `data` the way a store
 * commit does; one implementation per platform. Returns 0 on failure. */
#ifndef FLOOR_REPLACE_H
#define FLOOR_REPLACE_H
#include <stddef.h>
int replace_durably(const char *path, const char *data, size_t size);
#endif
