// The marks the server leaves in a user file when an account may no longer
// log in. SITE DELUSER does not remove an account: it writes "DeletedOn"
// (with "DeletedBy" and "DeletedMsg") and the account stays in the user id
// table until SITE PURGE, so that an undelete can bring it back. "ExpiresAt"
// ends an account at a set time (0: never). Both hold a Unix time.
#pragma once

#include <string>

#include "platform/platform.h"

namespace quarvel {

struct AccountMarks {
  long long deleted_on = 0;  // 0: not deleted
  long long expires_at = 0;  // 0: never expires
};

// The values of the last "DeletedOn" and "ExpiresAt" lines of a user file's
// text (keywords without regard to case, words separated by single blanks);
// a missing line or a value that is no number reads as 0.
AccountMarks parseAccountMarks(const std::string& user_file_text);

enum class AccountState { kActive, kDeleted, kExpired };

// Deleted whatever else holds; expired when the expiry falls on a day (UTC)
// before `today`, so an account is never counted expired while it may
// still log in; otherwise active.
AccountState accountStateOn(const AccountMarks& marks, const LocalDate& today);

// "deleted", "expired", or the empty text for an active account.
std::string accountStateWord(AccountState state);

}  // namespace quarvel
