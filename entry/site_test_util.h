// The handler tests' sites, on the shared site builder: a small site whose
// command lines run through the whole program, and the evaluation tests'
// sample site with a whole Run.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "entry/dispatch.h"
#include "entry/run.h"
#include "evaluation/site_test_util.h"

namespace quarvel {
namespace test_site {

// Flags 6 and 5 disable a user for the quota and the trial; the group
// SiteOps is exempt.
inline const char kHandlerSiteConfig[] =
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

// The data folder C:\site with its configuration and a server user
// database (Bob, carol, Marlow, nogroup); each command line runs through
// the whole program, as the server would start it.
class HandlerSite : public TestSite {
 public:
  explicit HandlerSite(const std::string& extra_config = "") {
    setConfig(kHandlerSiteConfig + extra_config);
    setGroupTable("Couriers:3:STANDARD\r\nSiteOps:2:STANDARD\r\n");
    addUser("Bob", "10", "3", "3");
    addUser("carol", "11", "3", "36");   // disabled for the quota
    addUser("Marlow", "12", "2", "1M");  // in the exempt group
    addUser("nogroup", "13", "", "3");
    platform.reachable = false;  // no network, as in the plain fake
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
};

// A running quota period holding the given member lines (CR LF ended).
inline std::string runningQuota(const std::string& members) {
  return "setup_quota_starts=12-01-2026\r\nsetup_quota_ends=01-01-2027\r\n"
         "setup_quota_started=1\r\n" +
         members;
}

// The sample site with a whole Run, for tests that call a handler or the
// admin connection directly.
class RunSite : public Site {
 public:
  using Site::Site;

  // Built on first use with the start-up settings loaded, as the dispatch
  // would.
  Run& run() {
    if (!run_) {
      run_ = std::make_unique<Run>(platform, RunParts::kTimeoutMs);
      run_->loadStartupSettings();
    }
    return *run_;
  }

  void settle() override {
    Site::settle();
    if (run_) run_->stores.commit();
  }

 private:
  std::unique_ptr<Run> run_;
};

}  // namespace test_site
}  // namespace quarvel
