#include "userdb/user_database.h"

#include "config/text.h"
#include "userdb/exemptions.h"

namespace quarvel {

namespace {

std::string cut(const std::string& text) { return text.substr(0, kFieldCapacity); }

// An empty path is a missing setting, not a folder: a search for "*" alone
// would look at whatever folder the run happens to be in. The search is for
// an entry inside the folder: a search for the path itself also finds a
// longer name beside it (a slip "users" -> "user" would find "users").
bool folderPresent(Files& files, const std::string& path) {
  return !path.empty() && files.folderExists(path.back() == '\\' ? path : path + "\\");
}

}  // namespace

UserDatabase::Table& UserDatabase::table(Table& slot, const std::string& path,
                                         const std::string& tag) {
  std::shared_ptr<const std::string> text = files_.readServerFile(path, tag);
  if (text == slot.text) return slot;
  slot.text = text;
  slot.parsed = false;
  slot.searches = 0;
  slot.first_by_name.clear();  // before the entries its keys view go
  slot.entries.clear();
  slot.lists_anyone = idTableListsAnyone(*text);
  return slot;
}

void UserDatabase::parse(Table& slot) {
  if (slot.parsed) return;
  slot.parsed = true;
  slot.entries = parseIdTable(*slot.text);
  slot.first_by_name.reserve(slot.entries.size());
  for (std::size_t i = 0; i < slot.entries.size(); ++i) {
    slot.first_by_name.emplace(slot.entries[i].name, i);
  }
}

bool UserDatabase::find(Table& slot, const std::string& name, IdTableEntry* found) {
  if (!slot.parsed && ++slot.searches <= kSearchesBeforeParsing) {
    return findIdTableEntry(*slot.text, name, found);
  }
  parse(slot);
  auto at = slot.first_by_name.find(name);
  if (at == slot.first_by_name.end()) return false;
  *found = slot.entries[at->second];
  return true;
}

UserDatabase::Table* UserDatabase::userTable(std::string* user_folder, std::string* why) {
  // Each setting is looked up only once the test before it has passed: with
  // the configuration file missing, every lookup prints its error line.
  const std::string& server_folder = settings_.serverFolder();
  if (!folders_found_ && !folderPresent(files_, server_folder)) {
    *why = "no server folder \"" + server_folder + "\" (setting ioFTPD)";
    return nullptr;
  }
  const std::string user_table = settings_.userTable();
  // A table the server holds locked, or that may not be read, is told
  // apart here: reading it would print its error number on every lookup.
  const FileError opened = files_.platform().probeFile(user_table);
  if (opened != FileError::kNone && opened != FileError::kAccessDenied) {
    *why = "no user id table \"" + user_table + "\" (setting UserTABLE)";
    return nullptr;
  }
  *user_folder = settings_.userFolder();
  if (!folders_found_ && !folderPresent(files_, *user_folder)) {
    *why = "no user folder \"" + *user_folder + "\" (setting UserFOLDER)";
    return nullptr;
  }
  folders_found_ = true;
  if (opened != FileError::kNone) {
    *why = "the user id table \"" + user_table + "\" cannot be opened";
    return nullptr;
  }
  Table& users = table(users_, user_table, "passwd");
  // The server always has its master account: an empty table is one that
  // could not be read whole, not a site without users.
  if (!users.lists_anyone) {
    *why = "the user id table \"" + user_table + "\" lists no account";
    return nullptr;
  }
  return &users;
}

AccountList UserDatabase::accountList() { return readAccountList(files_, settings_); }

bool UserDatabase::readable() {
  std::string user_folder;
  std::string why;
  return userTable(&user_folder, &why) != nullptr;
}

void UserDatabase::reportUnreadable() {
  if (unreadable_reported_) return;
  unreadable_reported_ = true;
  std::string user_folder;
  std::string why;
  if (userTable(&user_folder, &why) != nullptr) return;
  std::string line =
      "Quarvel: the user database cannot be read (" + why + "); no record was changed.";
  files_.platform().writeErrorLine(line);
  if (also_tell_) also_tell_(line);
}

UserRecord UserDatabase::lookupUser(const std::string& name) {
  std::string user_name;
  std::string group_list;
  std::string flags;
  AccountState state = AccountState::kActive;

  std::string user_folder;
  std::string why;
  if (Table* users = userTable(&user_folder, &why)) {
    Table& groups = table(groups_, settings_.groupTable(), "group");
    IdTableEntry found;
    if (find(*users, name, &found)) {
      user_name = found.name;
      // A table line without an id has no user file; reading the folder
      // itself would only fail noisily.
      if (!found.id.empty()) {
        parse(groups);
        const std::string user_file =
            files_.readWholeFile(user_folder + "\\" + found.id, found.id, kUserFileMaxBytes);
        const UserFileFacts facts = parseUserFile(user_file);
        flags = facts.flags;
        group_list = groupListFor(groups.entries, facts.group_lines);
        state = accountStateOn(parseAccountMarks(user_file), files_.platform().today());
      }
    }
  }

  UserRecord record;
  record.user_name = cut(user_name);
  record.primary_group = cut(group_list.substr(0, group_list.find("::")));
  record.group_list = cut(group_list);
  record.flags = cut(flags);
  const Exemption exemption = decideExemption(record.user_name, record.group_list, record.flags,
                                              exemptionSetting(settings_, config_));
  record.exempt_code = exemption.code;
  record.exempt_group = cut(exemption.group);
  record.exempt_reason = cut(exemption.reason);
  record.account_state = state;
  return record;
}

}  // namespace quarvel
