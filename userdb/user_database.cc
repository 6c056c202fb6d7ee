#include "userdb/user_database.h"

#include "userdb/exemptions.h"

namespace quarvel {

namespace {

// Capacity of every text field of the user record.
constexpr std::size_t kFieldCapacity = 255;

std::string cut(const std::string& text) {
  return text.substr(0, kFieldCapacity);
}

// An empty path is a missing setting, not a folder: a search for "*" alone
// would look at whatever folder the run happens to be in.
bool folderPresent(Files& files, const std::string& path) {
  return !path.empty() && files.folderExists(path) != 0;
}

}  // namespace

bool UserDatabase::readUserTable(std::vector<IdTableEntry>* users,
                                 std::string* user_folder, std::string* why) {
  // Each setting is looked up only once the test before it has passed: with
  // the configuration file missing, every lookup prints its error line.
  if (!folderPresent(files_, server_folder_)) {
    *why = "no server folder \"" + server_folder_ + "\" (setting ioFTPD)";
    return false;
  }
  const std::string user_table = config_.configValue("UserTABLE");
  if (files_.fileExists(user_table) == 0) {
    *why = "no user id table \"" + user_table + "\" (setting UserTABLE)";
    return false;
  }
  *user_folder = config_.configValue("UserFOLDER");
  if (!folderPresent(files_, *user_folder)) {
    *why = "no user folder \"" + *user_folder + "\" (setting UserFOLDER)";
    return false;
  }
  // A table the server holds locked, or that may not be read, is probed
  // first: reading it would print its error number on every lookup.
  if (files_.platform().probeFile(user_table) != FileError::kNone) {
    *why = "the user id table \"" + user_table + "\" cannot be opened";
    return false;
  }
  *users = parseIdTable(files_.readWholeFile(user_table, "passwd"));
  // The server always has its master account: an empty table is one that
  // could not be read whole, not a site without users.
  if (users->empty()) {
    *why = "the user id table \"" + user_table + "\" lists no account";
    return false;
  }
  return true;
}

AccountList UserDatabase::accountList() {
  return readAccountList(files_, config_, server_folder_);
}

bool UserDatabase::readable() {
  std::vector<IdTableEntry> users;
  std::string user_folder;
  std::string why;
  return readUserTable(&users, &user_folder, &why);
}

void UserDatabase::reportUnreadable() {
  if (unreadable_reported_) return;
  unreadable_reported_ = true;
  std::vector<IdTableEntry> users;
  std::string user_folder;
  std::string why;
  if (readUserTable(&users, &user_folder, &why)) return;
  files_.platform().writeErrorLine(
      "Quarvel: the user database cannot be read (" + why +
      "); no record was changed.");
}

void UserDatabase::lookupUser(const std::string& name) {
  std::string user_name;
  std::string group_list;
  std::string flags;
  AccountState state = AccountState::kActive;

  std::vector<IdTableEntry> users;
  std::string user_folder;
  std::string why;
  if (readUserTable(&users, &user_folder, &why)) {
    const std::vector<IdTableEntry> groups = parseIdTable(
        files_.readWholeFile(config_.configValue("GroupTABLE"), "group"));
    if (const IdTableEntry* entry = findUserEntry(users, name)) {
      user_name = entry->name;
      // A table line without an id has no user file; reading the folder
      // itself would only fail noisily.
      if (!entry->id.empty()) {
        const std::string user_file =
            files_.readWholeFile(user_folder + "\\" + entry->id, entry->id);
        const UserFileFacts facts = parseUserFile(user_file);
        flags = facts.flags;
        group_list = groupListFor(groups, facts.group_lines);
        state = accountStateOn(parseAccountMarks(user_file),
                               files_.platform().today());
      }
    }
  }

  UserRecord record;
  record.user_name = cut(user_name);
  record.primary_group = cut(group_list.substr(0, group_list.find("::")));
  record.group_list = cut(group_list);
  record.flags = cut(flags);
  const Exemption exemption =
      decideExemption(record.user_name, record.group_list, record.flags,
                      configSetting(config_));
  record.exempt_code = exemption.code;
  record.exempt_group = cut(exemption.group);
  record.exempt_reason = cut(exemption.reason);
  record.account_state = state;
  current_ = record;
}

}  // namespace quarvel
