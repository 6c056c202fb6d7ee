#include "userdb/server_user_list.h"

#include "config/text.h"
#include "server/contract.h"
#include "userdb/server_files.h"

namespace quarvel {

std::vector<std::string> serverUserListNames(const std::string& text) {
  std::vector<std::string> names;
  for (const std::string& line : splitAtLineEnds(text)) {
    if (line.empty()) continue;
    std::string name = trimBlanks(field(line, ":", 1));
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

AccountList readAccountList(Files& files, Config& config,
                            const std::string& server_folder) {
  AccountList list;
  if (!server_folder.empty() &&
      files.fileExists(server_folder + contract::kServerUserList)) {
    list.path = server_folder + contract::kServerUserList;
  } else {
    const std::string table = config.configValue("UserTABLE");
    if (table.empty() || !files.fileExists(table)) return list;
    list.path = table;
  }
  list.names = serverUserListNames(files.readWholeFile(list.path, "passwd"));
  return list;
}

std::vector<std::string> userTableListingNames(const std::string& text) {
  std::vector<std::string> names;
  for (const std::string& line : splitAtLineEnds(text)) {
    const std::string before_colon = field(line, ":", 1);
    if (!before_colon.empty()) names.push_back(trimBlanks(before_colon));
  }
  return names;
}

std::vector<std::string> readUserTableListing(Files& files, Config& config) {
  const std::string path = config.configValue("UserTABLE");
  if (path.empty()) return {};
  return userTableListingNames(files.readWholeFile(path, "passwd"));
}

}  // namespace quarvel
