#include "userdb/user_database.h"

#include "userdb/exemptions.h"
#include "userdb/server_files.h"

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

void UserDatabase::lookupUser(const std::string& name) {
  std::string user_name;
  std::string group_list;
  std::string flags;

  // Each setting is looked up only once the test before it has passed: with
  // the configuration file missing, every lookup prints its error line.
  std::string user_table;
  std::string user_folder;
  bool present = folderPresent(files_, server_folder_);
  if (present) {
    user_table = config_.configValue("UserTABLE");
    present = files_.fileExists(user_table) != 0;
  }
  if (present) {
    user_folder = config_.configValue("UserFOLDER");
    present = folderPresent(files_, user_folder);
  }
  if (present) {
    const std::vector<IdTableEntry> groups = parseIdTable(
        files_.readWholeFile(config_.configValue("GroupTABLE"), "group"));
    const std::vector<IdTableEntry> users =
        parseIdTable(files_.readWholeFile(user_table, "passwd"));
    if (const IdTableEntry* entry = findUserEntry(users, name)) {
      user_name = entry->name;
      // A table line without an id has no user file; reading the folder
      // itself would only fail noisily.
      if (!entry->id.empty()) {
        const UserFileFacts facts = parseUserFile(
            files_.readWholeFile(user_folder + "\\" + entry->id, entry->id, kUserFileMaxBytes));
        flags = facts.flags;
        group_list = groupListFor(groups, facts.group_lines);
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
  current_ = record;
}

}  // namespace quarvel
