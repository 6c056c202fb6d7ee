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

AccountList readAccountList(Files& files, Settings& settings) {
  AccountList list;
  const std::string& server_folder = settings.serverFolder();
  if (!server_folder.empty() && files.fileExists(server_folder + contract::kServerUserList)) {
    list.path = server_folder + contract::kServerUserList;
  } else {
    const std::string& table = settings.userTable();
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

std::vector<std::string> readUserTableListing(Files& files, Settings& settings) {
  const std::string& path = settings.userTable();
  if (path.empty()) return {};
  return userTableListingNames(files.readWholeFile(path, "passwd"));
}

}  // namespace quarvel
