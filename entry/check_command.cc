#include "entry/check_command.h"

#include "config/config_check.h"
#include "config/file_errors.h"
#include "config/text.h"
#include "entry/check_report.h"
#include "entry/shown_path.h"
#include "server/contract.h"
#include "userdb/exemptions.h"
#include "userdb/server_files.h"
#include "userdb/server_user_list.h"

namespace quarvel {
namespace {

std::string count(std::size_t n, const std::string& what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// A table file of the server: it must exist and name something.
void checkTable(Run& run, CheckReport& report, const std::string& key, const std::string& path,
                const std::string& tag, const std::string& what) {
  if (path.empty()) return;  // reported with the configuration
  if (!run.files.fileExists(path)) {
    report.problem(report.where(key) + ": the file " + path + " does not exist");
    return;
  }
  std::size_t entries = parseIdTable(run.files.readWholeFile(path, tag)).size();
  if (entries == 0) {
    report.problem(report.where(key) + ": the file " + path + " names no " + what);
  } else {
    report.note(key + " " + path + ": " + count(entries, what));
  }
}

void checkFolder(Run& run, CheckReport& report, const std::string& key, const std::string& path) {
  if (path.empty()) return;
  if (!run.files.folderExists(path)) {
    report.problem(report.where(key) + ": the folder " + path + " does not exist");
  } else if (!run.files.folderExists(path + "\\")) {
    report.problem(report.where(key) + ": the folder " + path + " is empty");
  } else {
    report.note(key + " " + path);
  }
}

void checkServerFiles(Run& run, CheckReport& report) {
  Settings& settings = run.settings;
  checkFolder(run, report, "ioFTPD", settings.serverFolder());
  checkTable(run, report, "UserTABLE", settings.userTable(), "passwd", "account");
  checkFolder(run, report, "UserFOLDER", settings.userFolder());
  checkTable(run, report, "GroupTABLE", settings.groupTable(), "group", "group");
  // Quota periods enrol every account of this list.
  const std::string& server = run.settings.serverFolder();
  if (server.empty()) return;
  AccountList account_list = readAccountList(run.files, run.settings);
  std::string list = shownPath(account_list.path.empty() ? server + contract::kServerUserList
                                                         : account_list.path);
  std::size_t accounts = account_list.names.size();
  if (accounts == 0) {
    report.problem(report.where("ioFTPD") + ": the account list " + list +
                   " is missing or empty, so quota periods enrol nobody");
  } else {
    report.note("account list " + list + ": " + count(accounts, "account"));
  }
}

std::string exemptionRule(CheckReport& report, const UserRecord& user) {
  switch (user.exempt_code) {
    case kExemptListedUser:
      return "named in " + report.where("Quota_Users");
    case kExemptGroup:
      return "in the group " + trimBlanks(user.exempt_group) + " of " +
             report.where("Quota_Groups");
    case kExemptQuotaFlag:
      return "flags " + trimBlanks(user.flags) + " hold " + report.where("QUOTA_DISABLE_FLAG");
    default:
      return "flags " + trimBlanks(user.flags) + " hold " + report.where("TRIAL_DISABLE_FLAG");
  }
}

// Every account of the user id table as the program sees it: its group and
// whether it is exempt, and why.
void checkAccounts(Run& run, CheckReport& report) {
  std::size_t exempt = 0;
  std::vector<std::string> names = readUserTableListing(run.files, run.settings);
  for (const std::string& name : names) {
    const UserRecord user = run.users.lookupUser(name);
    if (trimBlanks(user.primary_group).empty()) {
      report.problem("account " + name + " belongs to no group (" + report.where("GroupTABLE") +
                     "): trial and quota commands refuse it");
    }
    if (user.exempt_code == kNotExempt) continue;
    ++exempt;
    std::string reason = replaceAll(trimBlanks(user.exempt_reason), "\x02", "");
    report.note("exempt: " + name + ", " + exemptionRule(report, user) +
                (reason.empty() ? "" : "; shown as: " + reason));
  }
  if (!names.empty() && exempt == 0) report.note("exempt: nobody");
}

}  // namespace

bool isCheckCommand(const std::string& command_line) { return toLower(command_line) == "check"; }

int runCheck(Run& run) {
  std::string path = run.config.path();
  run.printLine("Quarvel check of " + shownPath(path));
  std::vector<ConfigLine> lines;
  FileError error = run.config.readLines(&lines);
  if (error != FileError::kNone) {
    run.printLine("PROBLEM the configuration file " + shownPath(path) + " cannot be read (error " +
                  std::to_string(runtimeErrorNumber(error)) +
                  "); check reads it from the working folder");
    run.printLine("check: 1 problem");
    return 1;
  }
  run.loadStartupSettings();
  CheckReport report(run, lines);
  for (const ConfigFinding& finding : checkConfigLines(lines)) {
    if (finding.warning) {
      report.warning(findingText(finding));
    } else {
      report.problem(findingText(finding));
    }
  }
  checkServerFiles(run, report);
  checkAccounts(run, report);
  checkAdminLogin(run, report);
  run.printLine(report.problems() == 0 ? "check: no problems found"
                                       : "check: " + count(report.problems(), "problem"));
  return report.problems() == 0 ? 0 : 1;
}

}  // namespace quarvel
