// The report tests' site, on the shared site builder: the program folder
// with the configuration and the stores, and a small server user database;
// a command line is answered as the IRC bot's are.
#pragma once

#include <string>

#include "config/numbers.h"
#include "dates/dates.h"
#include "evaluation/site_test_util.h"
#include "reports/irc_commands.h"

namespace quarvel {
namespace test_site {

// Server users: bob (Couriers), Carol (Friends, Couriers), dan (quota
// disable flag), x$SITENAMEx (no groups).
inline const char* kReportSiteConfig =
    "ioFTPD=C:\\ioFTPD\r\n"
    "UserTABLE=C:\\ioFTPD\\etc\\UserIdTable\r\n"
    "UserFOLDER=C:\\ioFTPD\\users\r\n"
    "GroupTABLE=C:\\ioFTPD\\etc\\GroupIdTable\r\n"
    "QUOTA_DISABLE_FLAG=6\r\n"
    "TRIAL_DISABLE_FLAG=M\r\n"
    "EXEMPT_USER_DISABLE=$BOLDdisabled$BOLD\r\n"
    "TRIAL_UPLOAD=1000\r\n"
    "QUOTA_UPLOAD=1000\r\n";

class ReportSite : public TestSite {
 public:
  // `config` goes before the site's own settings, so its lines win.
  ReportSite(const std::string& config, const std::string& trial, const std::string& quota)
      : TestSite(kProgramFolder) {
    setConfig(config + kReportSiteConfig);
    if (!trial.empty()) setTrialStore(trial);
    if (!quota.empty()) setQuotaStore(quota);
    addUser("bob", "1", "1", "3");
    addUser("Carol", "2", "2 1", "3");
    addUser("dan", "3", "1", "36");
    addUser("x$SITENAMEx", "4", "", "3");
    setGroupTable("Couriers:1:STANDARD\r\nFriends:2:STANDARD\r\n");
    platform.date = {2027, 3, 20};
    platform.reachable = false;  // no network, as in the plain fake
  }

  // Answers the IRC command line with what a fresh run reads; returns what
  // it printed.
  std::string run(const std::string& command_line) {
    platform.command_line = command_line;
    platform.output.clear();
    RunParts parts(platform, kProgramFolder);
    answerIrc({parts.config, parts.settings, parts.users, parts.trial, parts.quota, parts.out},
              roundHalfEven(parts.settings.trialUploadMB()), formatDate(platform.today()),
              command_line);
    return platform.output;
  }
};

}  // namespace test_site
}  // namespace quarvel
