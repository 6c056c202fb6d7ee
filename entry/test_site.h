// A small site for handler tests: the data folder C:\site with its
// configuration, a server user database below C:\ioFTPD, and helpers to run
// one command line through the whole program and read the stores back.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "entry/dispatch.h"
#include "platform/fake_platform.h"

namespace quarvel::site_test {

inline const char kTrialStore[] = "C:\\site\\Quarvel.dat";
inline const char kQuotaStore[] = "C:\\site\\Velkrin.dat";

// Flags 6 and 5 disable a user for the quota and the trial; the group
// SiteOps is exempt.
inline const char kSiteConfig[] =
    "ioFTPD=C:\\ioFTPD\r\n"
    "UserTABLE=C:\\ioFTPD\\etc\\UserIdTable\r\n"
    "GroupTABLE=C:\\ioFTPD\\etc\\GroupIdTable\r\n"
    "UserFOLDER=C:\\ioFTPD\\users\r\n"
    "TRIAL_UPLOAD=500\r\n"
    "TRIAL_DAYS=14\r\n"
    "QUOTA_UPLOAD=1000\r\n"
    "QUOTA_TYPE=1\r\n"
    "QUOTA_DISABLE_FLAG=6\r\n"
    "TRIAL_DISABLE_FLAG=5\r\n"
    "Quota_Groups=SiteOps\r\n"
    "EXEMPT_IN_GROUP= member of $GROUP \r\n"
    "FTP_STATS=%USER% %UPLOADED%MB %MBLEFT%MB left, %DAYSLEFT% days (%TYPE%)\r\n";

class TestSite {
 public:
  explicit TestSite(const std::string& extra_config = "") {
    platform.addFile("C:\\site\\quarvel.conf", kSiteConfig + extra_config);
    platform.addFile("C:\\ioFTPD\\etc\\GroupIdTable",
                     "Couriers:3:STANDARD\r\nSiteOps:2:STANDARD\r\n");
    addUser("Bob", "10", "3", "3");
    addUser("carol", "11", "3", "36");   // disabled for the quota
    addUser("Marlow", "12", "2", "1M");  // in the exempt group
    addUser("nogroup", "13", "", "3");
  }

  // A user with the given group ids ("" for none) and flags.
  void addUser(const std::string& name, const std::string& id, const std::string& group_ids,
               const std::string& flags) {
    user_table_ += name + ":" + id + ":STANDARD\r\n";
    platform.addFile("C:\\ioFTPD\\etc\\UserIdTable", user_table_);
    std::string groups = group_ids.empty() ? "" : "groups " + group_ids + "\r\n";
    platform.addFile("C:\\ioFTPD\\users\\" + id, groups + "flags " + flags + "\r\n");
  }

  // Runs the command line as the server would start the program; returns
  // what it printed.
  std::string run(const std::string& command_line,
                  const std::map<std::string, std::string>& variables = {}) {
    platform.command_line = command_line;
    platform.variables = variables;
    platform.output.clear();
    runProgram(platform);
    return platform.output;
  }

  void setTrialStore(const std::string& text) { platform.addFile(kTrialStore, text); }
  void setQuotaStore(const std::string& text) { platform.addFile(kQuotaStore, text); }
  std::string trialStore() const { return platform.file(kTrialStore); }
  std::string quotaStore() const { return platform.file(kQuotaStore); }
  bool hasQuotaStore() const { return platform.hasFile(kQuotaStore); }

  FakePlatform platform;

 private:
  std::string user_table_;
};

// A running quota period holding the given member lines (CR LF ended).
inline std::string runningQuota(const std::string& members) {
  return "setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\n"
         "setup_quota_started=1\r\n" +
         members;
}

}  // namespace quarvel::site_test
