// The line that follows a successful ST add or SQ add of an account that
// no punishment will ever reach, so that the operator knows at once.
#pragma once

#include <string>

#include "config/output.h"
#include "userdb/user_database.h"

namespace quarvel {

// " Warning: ..." for the admin login's own account (FTP_USER) or an
// exempt account; empty for any other. `what` names the list ("trial").
std::string sparedAccountWarning(const UserRecord& user, const std::string& typed,
                                 const std::string& admin_user, const std::string& what);

// Prints that line, if any, for `typed` as the user database knows it.
void warnOfSparedAccount(UserDatabase& users, Output& out, const std::string& typed,
                         const std::string& admin_user, const std::string& what);

}  // namespace quarvel
