#include "userdb/user_database.h"

#include "config/text.h"
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

const UserDatabase::Table& UserDatabase::table(Table& slot, const std::string& path,
                                               const std::string& tag) {
  std::shared_ptr<const std::string> text = files_.readServerFile(path, tag);
  if (text == slot.text) return slot;
  slot.text = text;
  slot.entries = parseIdTable(*text);
  slot.first_by_name.clear();
  for (std::size_t i = 0; i < slot.entries.size(); ++i) {
    slot.first_by_name.emplace(toLower(slot.entries[i].name), i);
  }
  return slot;
}

UserRecord UserDatabase::lookupUser(const std::string& name) {
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
    const Table& groups = table(groups_, config_.configValue("GroupTABLE"), "group");
    const Table& users = table(users_, user_table, "passwd");
    auto found = users.first_by_name.find(toLower(name));
    if (found != users.first_by_name.end()) {
      const IdTableEntry* entry = &users.entries[found->second];
      user_name = entry->name;
      // A table line without an id has no user file; reading the folder
      // itself would only fail noisily.
      if (!entry->id.empty()) {
        const UserFileFacts facts = parseUserFile(
            files_.readWholeFile(user_folder + "\\" + entry->id, entry->id, kUserFileMaxBytes));
        flags = facts.flags;
        group_list = groupListFor(groups.entries, facts.group_lines);
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
  return record;
}

}  // namespace quarvel
