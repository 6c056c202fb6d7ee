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

// The findings for a store's bytes, read as the store reads them (CR LF, CR
// and LF end a line; the end-of-file character 26 ends the text).
std::vector<StoreFinding> checkStoreText(StoreKind kind, const std::string& bytes);

}  // namespace quarvel
