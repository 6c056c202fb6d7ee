#include "userdb/user_database.h"

namespace quarvel {

void UserDatabase::lookupUser(const std::string&) { current_ = UserRecord(); }

}  // namespace quarvel
