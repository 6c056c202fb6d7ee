// Reads the FTP server's user database (user id table, user files, group id
// table) to learn a user's spelling, groups and flags, then decides the
// user's exemption.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/config.h"
#include "config/files.h"
#include "config/settings.h"
#include "config/text.h"
#include "userdb/account_marks.h"
#include "userdb/server_files.h"
#include "userdb/server_user_list.h"

namespace quarvel {

// What a text field of the user record holds at most; longer values are
// cut.
inline constexpr std::size_t kFieldCapacity = 255;

struct UserRecord {
  std::string user_name;      // as the user id table spells it; empty: unknown
  std::string primary_group;  // first group name found
  std::string group_list;     // all group names, joined by "::"
  std::string flags;
  int exempt_code = 0;  // 0 not exempt; 1 group, 2/3 disable flag, 4 listed
  std::string exempt_group;
  std::string exempt_reason;
  // Deleted (marked by SITE DELUSER, not yet purged) or expired accounts
  // still stand in the tables but may not log in.
  AccountState account_state = AccountState::kActive;
};

class UserDatabase {
 public:
  // The server's paths come from `settings`, the exemption reasons from
  // `config`'s templates.
  UserDatabase(Settings& settings, Config& config, Files& files)
      : settings_(settings), config_(config), files_(files) {}

  // The record of `name` (used as given). Always completes; missing files
  // only leave fields empty. The server's files are read once per run
  // (again only when one changed) and the tables parsed once, so visiting
  // every user of a large site costs a lookup per user, not a re-read.
  UserRecord lookupUser(const std::string& name);

  // Every account of the server, as quota enrolment visits them.
  AccountList accountList();

  // Whether the user database can be read at all: the server folder, the
  // user id table (which must list at least one account) and the user
  // folder. When it cannot, an empty lookup says nothing about whether a
  // user exists, and no record may be changed on its word.
  bool readable();

  // Says once per run, on standard error, that the user database cannot be
  // read and why. The one place where that message is given; the same line
  // also goes to `also_tell` when one is set (the run's audit log).
  void reportUnreadable();
  void alsoTellUnreadable(std::function<void(const std::string&)> also_tell) {
    also_tell_ = std::move(also_tell);
  }

 private:
  // An id table read from one version of its file. A run that looks up a
  // few names finds them in the text; the entries and their map are built
  // once it has looked up many (or needs every entry).
  struct Table {
    // The names in first_by_name are views into entries: never copied.
    Table() = default;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    std::shared_ptr<const std::string> text;
    bool parsed = false;
    int searches = 0;
    std::vector<IdTableEntry> entries;
    // Name (a view into its entry) -> the first entry of that name, names
    // compared without regard to case.
    std::unordered_map<std::string_view, std::size_t, HashIgnoringCase, EqualIgnoringCase>
        first_by_name;
    bool lists_anyone = false;
  };
  // A search of the text costs a pass over it; parsing it costs about 30.
  static constexpr int kSearchesBeforeParsing = 16;
  Table& table(Table& slot, const std::string& path, const std::string& tag);
  static void parse(Table& table);
  // The first entry of `name` (without regard to case); false when none.
  static bool find(Table& table, const std::string& name, IdTableEntry* found);

  // The user id table, with the user folder; null, with `why` filled and
  // nothing printed, when the database cannot be read.
  Table* userTable(std::string* user_folder, std::string* why);

  Settings& settings_;
  Config& config_;
  Files& files_;
  Table groups_;
  Table users_;
  bool unreadable_reported_ = false;
  // The server folder and the user folder, once found, are taken as there
  // for the rest of the run: a daily run looks up every account, and each
  // look at a folder reads its parent's listing.
  bool folders_found_ = false;
  std::function<void(const std::string&)> also_tell_;
};

}  // namespace quarvel
