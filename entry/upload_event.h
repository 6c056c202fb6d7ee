// UD: an upload finished; the file's size, or what it grew by since it was
// last credited, is credited to the uploader.
#pragma once

#include <string>

namespace quarvel {

// A local path in the form the stores key it by: "/" turned into "\" and
// doubled separators folded (one pass from the left). A leading "\\" (a
// network share) is kept.
std::string normalisedLocalPath(const std::string& path);

// The local file named by a UD command line: the text between the first and
// the second double quote after the command word (to the end when the
// closing quote is missing), normalised as above.
std::string uploadedFilePath(const std::string& command_line);

// The file's virtual path, which the server passes after the local path
// and the checksum: the text between the third and the fourth double quote
// after the command word; empty when there is none.
std::string uploadedVirtualPath(const std::string& command_line);

}  // namespace quarvel
