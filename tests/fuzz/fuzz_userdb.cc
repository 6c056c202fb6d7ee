// Any bytes as the server's files: the user id table, the group id table
// and a user file, each part of the input up to a byte 0xFF (a byte no
// text of the server holds). The parsers take each part directly, and a
// user database built as a run builds it (configuration, data folder,
// temporary copies) looks up every user the table names, with their
// groups, flags, account marks and exemptions; nothing reads or writes out
// of bounds. Every user the table names gets the same user file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/files.h"
#include "config/output.h"
#include "config/settings.h"
#include "platform/fake_platform.h"
#include "userdb/account_marks.h"
#include "userdb/server_files.h"
#include "userdb/server_user_list.h"
#include "userdb/user_database.h"

namespace {

using namespace quarvel;

constexpr char kConfig[] =
    "ioFTPD=C:\\ioFTPD\r\n"
    "UserTABLE=C:\\ioFTPD\\etc\\UserIdTable\r\n"
    "GroupTABLE=C:\\ioFTPD\\etc\\GroupIdTable\r\n"
    "UserFOLDER=C:\\ioFTPD\\users\r\n"
    "Quota_Groups=SiteOps\r\n"
    "QUOTA_DISABLE_FLAG=6\r\n"
    "TRIAL_DISABLE_FLAG=7\r\n"
    "EXEMPT_IN_GROUP=Exempt group $BOLD$GROUP$BOLD\r\n";
// Lookups per input: enough for every path, few enough to stay fast.
constexpr std::size_t kMaxLookups = 16;

std::vector<std::string> parts(const std::string& input, std::size_t count) {
  std::vector<std::string> found;
  std::size_t from = 0;
  while (found.size() + 1 < count) {
    std::size_t at = input.find('\xff', from);
    if (at == std::string::npos) break;
    found.push_back(input.substr(from, at - from));
    from = at + 1;
  }
  found.push_back(input.substr(std::min(from, input.size())));
  found.resize(count);
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> input = parts(std::string(reinterpret_cast<const char*>(data), size), 3);
  const std::string& user_table = input[0];
  const std::string& group_table = input[1];
  const std::string& user_file = input[2];

  // The parsers alone.
  std::vector<IdTableEntry> users = parseIdTable(user_table);
  std::vector<IdTableEntry> groups = parseIdTable(group_table);
  UserFileFacts facts = parseUserFile(user_file);
  groupListFor(groups, facts.group_lines);
  AccountMarks marks = parseAccountMarks(user_file);
  accountStateWord(accountStateOn(marks, LocalDate{2026, 12, 15}));
  idTableListsAnyone(user_table);
  serverUserListNames(user_table);
  userTableListingNames(user_table);
  splitServerLines(user_file);
  IdTableEntry entry;
  for (std::size_t i = 0; i < users.size() && i < kMaxLookups; ++i) {
    findUserEntry(users, users[i].name);
    findIdTableEntry(user_table, users[i].name, &entry);
  }

  // The user database of a run over these files.
  FakePlatform platform;
  platform.addFile("C:\\site\\quarvel.conf", kConfig);
  platform.addFile("C:\\ioFTPD\\etc\\UserIdTable", user_table);
  platform.addFile("C:\\ioFTPD\\etc\\GroupIdTable", group_table);
  platform.addFile("C:\\ioFTPD\\etc\\passwd", user_table);
  for (std::size_t i = 0; i < users.size() && i < kMaxLookups; ++i) {
    if (users[i].id.find_first_of("\\/:") == std::string::npos) {
      platform.addFile("C:\\ioFTPD\\users\\" + users[i].id, user_file);
    }
  }
  Output out(platform);
  Files files(platform, out, "C:\\site");
  Config config(files, out);
  Settings settings(config);
  UserDatabase database(settings, config, files);
  for (std::size_t i = 0; i < users.size() && i < kMaxLookups; ++i) {
    database.lookupUser(users[i].name);
  }
  database.lookupUser("nobody");
  database.accountList();
  database.readable();
  readUserTableListing(files, settings);
  return 0;
}
