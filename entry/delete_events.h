// PREDL and POSDL: the size of a file about to be deleted is noted as a memo
// in each store that holds the user, and taken off the user's total once the
// file is really gone.
#pragma once

#include <string>

namespace quarvel {

// The memo key: user + "_PREDEL_SIZE_" + file name. Characters that would
// break the store's line format ("=", CR, LF) become "_" in the file name
// part, so the memo stays one line with the whole name as its key.
std::string sizeMemoKey(const std::string& user, const std::string& file_name);

}  // namespace quarvel
