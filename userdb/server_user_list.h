// The lists of account names that the program walks to visit every user of
// the server. Two callers, two slightly different rules, kept apart on
// purpose: quota enrolment skips blank names, the connection test lists
// every line with something before its ":".
#pragma once

#include <string>
#include <vector>

#include "config/config.h"
#include "config/files.h"

namespace quarvel {

// Account names of the server user list text: every CR and every LF ends a
// line, empty lines are skipped, the name is the text before the first ":"
// with its blanks trimmed, and empty names are skipped.
std::vector<std::string> serverUserListNames(const std::string& text);

// serverUserListNames of the file "\etc\passwd" under the server folder
// (tag "passwd"). An empty server folder gives no names: the path would
// otherwise point at the system's own passwd file.
std::vector<std::string> readServerUserList(Files& files,
                                            const std::string& server_folder);

// Names of the user id table as the connection test lists them: every CR
// and every LF ends a line; a line whose text before the first ":" is empty
// is skipped; otherwise that text, trimmed, is listed (possibly empty, when
// it held only blanks).
std::vector<std::string> userTableListingNames(const std::string& text);

// userTableListingNames of the file named by the setting "UserTABLE" (tag
// "passwd"); no names when it is not set or the file is missing.
std::vector<std::string> readUserTableListing(Files& files, Config& config);

}  // namespace quarvel
