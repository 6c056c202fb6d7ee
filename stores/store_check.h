// The operator's check of the trial and quota stores: the lines the program
// does not understand (kept as they are, but worth a look) and the records
// whose amounts or status cannot be read, each with its line number.
#pragma once

#include <string>
#include <vector>

#include "stores/store_kind.h"

namespace quarvel {

struct StoreFinding {
  int line = 0;  // counted from 1 in the file
  std::string text;
};

// Whether a line is one the program does not understand (free text, or a
// setup_ key it does not use): such a line is never read, and is kept as it
// is whatever else changes in the store.
bool isLineNotUnderstood(StoreKind kind, const std::string& line);

// The findings for a store's bytes, read as the store reads them (CR LF, CR
// and LF end a line; the end-of-file character 26 ends the text).
std::vector<StoreFinding> checkStoreText(StoreKind kind, const std::string& bytes);

}  // namespace quarvel
