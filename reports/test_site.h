// A small site in memory for the report tests: the program folder with the
// configuration and the stores, and a server user database; a command line
// is answered as the IRC bot's are, from the program folder.
#pragma once

#include <string>

#include "config/config.h"
#include "config/files.h"
#include "config/numbers.h"
#include "config/output.h"
#include "dates/dates.h"
#include "platform/fake_platform.h"
#include "reports/irc_commands.h"
#include "stores/quota_store.h"
#include "stores/trial_store.h"
#include "userdb/user_database.h"

namespace quarvel {

// Server users: bob (Couriers), Carol (Friends, Couriers), dan (quota
// disable flag), x$SITENAMEx (no groups).
inline const char* kTestSiteConfig =
    "ioFTPD=C:\\ioFTPD\r\n"
    "UserTABLE=C:\\ioFTPD\\etc\\UserIdTable\r\n"
    "UserFOLDER=C:\\ioFTPD\\users\r\n"
    "GroupTABLE=C:\\ioFTPD\\etc\\GroupIdTable\r\n"
    "QUOTA_DISABLE_FLAG=6\r\n"
    "TRIAL_DISABLE_FLAG=M\r\n"
    "EXEMPT_USER_DISABLE=$BOLDdisabled$BOLD\r\n"
    "TRIAL_UPLOAD=1000\r\n"
    "QUOTA_UPLOAD=1000\r\n";

class TestSite {
 public:
  // `config` goes before the site's own settings, so its lines win.
  TestSite(const std::string& config, const std::string& trial, const std::string& quota) {
    platform_.addFile("C:\\prog\\quarvel.conf", config + kTestSiteConfig);
    if (!trial.empty()) platform_.addFile("C:\\prog\\Quarvel.dat", trial);
    if (!quota.empty()) platform_.addFile("C:\\prog\\Velkrin.dat", quota);
    platform_.addFile("C:\\ioFTPD\\etc\\UserIdTable",
                      "bob:1:STANDARD\r\nCarol:2:STANDARD\r\ndan:3:STANDARD\r\n"
                      "x$SITENAMEx:4:STANDARD\r\n");
    platform_.addFile("C:\\ioFTPD\\etc\\GroupIdTable",
                      "Couriers:1:STANDARD\r\nFriends:2:STANDARD\r\n");
    platform_.addFile("C:\\ioFTPD\\users\\1", "groups 1\r\nflags 3\r\n");
    platform_.addFile("C:\\ioFTPD\\users\\2", "groups 2 1\r\nflags 3\r\n");
    platform_.addFile("C:\\ioFTPD\\users\\3", "groups 1\r\nflags 36\r\n");
    platform_.addFile("C:\\ioFTPD\\users\\4", "flags 3\r\n");
    platform_.date = {2027, 3, 20};
  }

  // Answers the IRC command line `command_line` with what a run reads
  // afresh; returns what it printed.
  std::string run(const std::string& command_line) {
    platform_.command_line = command_line;
    platform_.output.clear();
    Output out(platform_);
    Files files(platform_, out, platform_.programFolder());
    Config config(files, out);
    TrialStore trial(files);
    QuotaStore quota(files);
    std::string server_folder = config.configValue("ioFTPD");
    UserDatabase users(config, files, server_folder);
    answerIrc({config, users, trial, quota, out},
              readWholeNumber(config.configValue("TRIAL_UPLOAD")), formatDate(platform_.today()),
              command_line);
    return platform_.output;
  }

  FakePlatform& platform() { return platform_; }

 private:
  FakePlatform platform_;
};

}  // namespace quarvel
