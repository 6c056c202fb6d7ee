#include "membership/spared_warning.h"

#include "config/text.h"
#include "evaluation/punishment.h"

namespace quarvel {

std::string sparedAccountWarning(const UserRecord& user, const std::string& typed,
                                 const std::string& admin_user, const std::string& what) {
  std::string name =
      trimBlanks(user.user_name).empty() ? trimBlanks(typed) : trimBlanks(user.user_name);
  switch (punishVerdict(user, typed, admin_user)) {
    case PunishVerdict::kAdminAccount:
      return " Warning: " + name + " is the admin login (FTP_USER); the " + what +
             " never punishes it.";
    case PunishVerdict::kExempt:
      return " Warning: " + name + " is exempt [" + trimBlanks(user.exempt_reason) + "]; the " +
             what + " never punishes it.";
    default:
      return std::string();
  }
}

void warnOfSparedAccount(UserDatabase& users, Output& out, const std::string& typed,
                         const std::string& admin_user, const std::string& what) {
  std::string line = sparedAccountWarning(users.lookupUser(typed), typed, admin_user, what);
  if (!line.empty()) out.printLine(line);
}

}  // namespace quarvel
