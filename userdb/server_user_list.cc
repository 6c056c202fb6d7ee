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

std::vector<std::string> readServerUserList(Files& files,
                                            const std::string& server_folder) {
  if (server_folder.empty()) return {};
  return serverUserListNames(
      files.readWholeFile(server_folder + contract::kServerUserList, "passwd"));
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
