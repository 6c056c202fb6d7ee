// Reads the FTP server's user database (user id table, user files, group id
// table) to learn a user's spelling, groups and flags, then decides the
// user's exemption. The result is the current user record.
#pragma once

#include <string>
#include <vector>

#include "config/config.h"
#include "config/files.h"
#include "userdb/account_marks.h"
#include "userdb/server_files.h"
#include "userdb/server_user_list.h"

namespace quarvel {

// Every text field holds at most 255 characters (longer values are cut).
struct UserRecord {
  std::string user_name;      // as the user id table spells it; empty: unknown
  std::string primary_group;  // first group name found
  std::string group_list;     // all group names, joined by "::"
  std::string flags;
  int exempt_code = 0;        // 0 not exempt; 1 group, 2/3 disable flag, 4 listed
  std::string exempt_group;
  std::string exempt_reason;
  // Deleted (marked by SITE DELUSER, not yet purged) or expired accounts
  // still stand in the tables but may not log in.
  AccountState account_state = AccountState::kActive;
};

class UserDatabase {
 public:
  // `server_folder` is the start-up setting ioFTPD (read after this is
  // built, hence held by reference).
  UserDatabase(Config& config, Files& files, const std::string& server_folder)
      : config_(config), files_(files), server_folder_(server_folder) {}

  // Fills the current user record for `name` (used as given). Always
  // completes; missing files only leave fields empty.
  void lookupUser(const std::string& name);

  const UserRecord& current() const { return current_; }
  UserRecord& current() { return current_; }

  // Every account of the server, as quota enrolment visits them.
  AccountList accountList();

  // Whether the user database can be read at all: the server folder, the
  // user id table (which must list at least one account) and the user
  // folder. When it cannot, an empty lookup says nothing about whether a
  // user exists, and no record may be changed on its word.
  bool readable();

  // Says once per run, on standard error, that the user database cannot be
  // read and why. The one place where that message is given.
  void reportUnreadable();

 private:
  // The user id table's entries and the user folder; false, with `why`
  // filled and nothing printed, when the database cannot be read.
  bool readUserTable(std::vector<IdTableEntry>* users, std::string* user_folder,
                     std::string* why);

  Config& config_;
  Files& files_;
  const std::string& server_folder_;
  UserRecord current_;
  bool unreadable_reported_ = false;
};

}  // namespace quarvel
