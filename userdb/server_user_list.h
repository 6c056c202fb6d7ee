// The lists of account names that the program walks to visit every user of
// the server. Two callers, two slightly different rules, kept apart on
// purpose: quota enrolment skips blank names, the connection test lists
// every line with something before its ":".
#pragma once

#include <string>
#include <vector>

#include "config/files.h"
#include "config/settings.h"

namespace quarvel {

// Account names of the server user list text: every CR and every LF ends a
// line, empty lines are skipped, the name is the text before the first ":"
// with its blanks trimmed, and empty names are skipped.
std::vector<std::string> serverUserListNames(const std::string& text);

// The accounts that quota enrolment visits, and the file they came from
// (empty when there is none).
struct AccountList {
  std::string path;
  std::vector<std::string> names;
};

// serverUserListNames of the server user list, "\etc\passwd" under the
// server folder, when that file exists: sites set up with it keep it. The
// server itself keeps no such file; without it the list is the user id
// table of the setting "UserTABLE", read with the same rule. Both are read
// with the tag "passwd". An empty server folder never names a passwd file:
// the path would otherwise point at the system's own.
AccountList readAccountList(Files& files, Settings& settings);

// Names of the user id table as the connection test lists them: every CR
// and every LF ends a line; a line whose text before the first ":" is empty
// is skipped; otherwise that text, trimmed, is listed (possibly empty, when
// it held only blanks).
std::vector<std::string> userTableListingNames(const std::string& text);

// userTableListingNames of the file named by the setting "UserTABLE" (tag
// "passwd"); no names when it is not set or the file is missing.
std::vector<std::string> readUserTableListing(Files& files, Settings& settings);

}  // namespace quarvel
