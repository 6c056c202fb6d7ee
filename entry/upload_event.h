// UD: an upload finished; the file's size is credited to the uploader.
#pragma once

#include <string>

namespace quarvel {

// The local file named by a UD command line: the text between the first and
// the second double quote after the command word (to the end when the
// closing quote is missing), with "/" turned into "\" and doubled
// separators folded. A leading "\\" (a network share) is kept.
std::string uploadedFilePath(const std::string& command_line);

}  // namespace quarvel
