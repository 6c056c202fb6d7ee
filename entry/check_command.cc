#include "entry/check_command.h"

#include "config/config_check.h"
#include "config/file_errors.h"
#include "config/text.h"
#include "entry/check_report.h"
#include "entry/shown_path.h"
#include "evaluation/punishment.h"
#include "server/contract.h"
#include "stores/store_check.h"
#include "userdb/exemptions.h"
#include "userdb/server_files.h"
#include "userdb/server_user_list.h"
#include "userdb/user_database.h"

namespace quarvel {
namespace {

std::string count(std::size_t n, const std::string& what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// A table file of the server: it must exist and name something.
// True when the file exists.
bool checkTable(Run& run, CheckReport& report, const std::string& key, const std::string& path,
                const std::string& tag, const std::string& what) {
  if (path.empty()) return false;  // reported with the configuration
  if (!run.files.fileExists(path)) {
    report.problem(report.where(key) + ": the file " + path + " does not exist");
    return false;
  }
  std::size_t entries = parseIdTable(run.files.readWholeFile(path, tag)).size();
  if (entries == 0) {
    report.problem(report.where(key) + ": the file " + path + " names no " + what);
  } else {
    report.note(key + " " + path + ": " + count(entries, what));
  }
  return true;
}

// A folder exists when a search inside it finds anything: even an empty one
// holds "." and "..". A search for the path itself would also match a
// longer name ("users" for "user").
bool checkFolder(Run& run, CheckReport& report, const std::string& key, const std::string& path) {
  if (path.empty()) return false;
  if (!run.files.folderExists(path.back() == '\\' ? path : path + "\\")) {
    report.problem(report.where(key) + ": the folder " + path + " does not exist");
    return false;
  }
  report.note(key + " " + path);
  return true;
}

// True when the paths of the user database (ioFTPD, UserTABLE, UserFOLDER)
// all exist.
bool checkServerFiles(Run& run, CheckReport& report) {
  Settings& settings = run.settings;
  bool found = checkFolder(run, report, "ioFTPD", settings.serverFolder());
  found = checkTable(run, report, "UserTABLE", settings.userTable(), "passwd", "account") && found;
  found = checkFolder(run, report, "UserFOLDER", settings.userFolder()) && found;
  checkTable(run, report, "GroupTABLE", settings.groupTable(), "group", "group");
  // Quota periods enrol every account of this list.
  const std::string& server = run.settings.serverFolder();
  if (server.empty()) return found;
  AccountList account_list = readAccountList(run.files, run.settings);
  std::string list =
      shownPath(account_list.path.empty() ? server + contract::kServerUserList : account_list.path);
  std::size_t accounts = account_list.names.size();
  if (accounts == 0) {
    report.problem(report.where("ioFTPD") + ": the account list " + list +
                   " is missing or empty, so quota periods enrol nobody");
  } else {
    report.note("account list " + list + ": " + count(accounts, "account"));
  }
  return found;
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
    case kExemptStaffFlag:
      return "flags " + trimBlanks(user.flags) + " hold a flag of " + report.where("EXEMPT_FLAGS");
    default:
      return "flags " + trimBlanks(user.flags) + " hold " + report.where("TRIAL_DISABLE_FLAG");
  }
}

// The entries of a "|"-joined list that no name of `known` matches (with
// or without regard to case).
std::vector<std::string> unknownEntries(const std::string& list,
                                        const std::vector<std::string>& known, bool any_case) {
  std::vector<std::string> unknown;
  for (const std::string& piece : splitAt(list, "|")) {
    std::string entry = trimBlanks(piece);
    if (entry.empty()) continue;
    bool found = false;
    for (const std::string& name : known) {
      if (any_case ? equalsIgnoringCase(name, entry) : name == entry) found = true;
    }
    if (!found) unknown.push_back(entry);
  }
  return unknown;
}

// Names in Quota_Users and Quota_Groups that the server has no account or
// group of: a slip there leaves the account it meant unexempt.
void checkExemptNames(Run& run, CheckReport& report, const std::vector<std::string>& accounts) {
  for (const std::string& name : unknownEntries(run.settings.quotaUsers(), accounts, true)) {
    report.problem(report.where("Quota_Users") + ": no account is called " + name);
  }
  const std::string& table = run.settings.groupTable();
  if (table.empty() || !run.files.fileExists(table)) return;  // reported with the tables
  std::vector<std::string> groups;
  for (const IdTableEntry& entry : parseIdTable(run.files.readWholeFile(table, "group"))) {
    groups.push_back(entry.name);
  }
  for (const std::string& name : unknownEntries(run.settings.quotaGroups(), groups, false)) {
    report.problem(report.where("Quota_Groups") + ": no group is called " + name +
                   " (letter case counts)");
  }
}

// Every account of the user id table as the program sees it: its group and
// whether it is exempt, and why. A database that cannot be read has no
// accounts to tell about (its folders are named above), and a name the
// database does not find has neither group nor exemption.
void checkAccounts(Run& run, CheckReport& report) {
  if (!run.users.readable()) {
    report.note("accounts: not read, the user database cannot be read");
    return;
  }
  std::size_t exempt = 0;
  std::vector<std::string> names = readUserTableListing(run.files, run.settings);
  checkExemptNames(run, report, names);
  for (const std::string& name : names) {
    const UserRecord user = run.users.lookupUser(name);
    if (trimBlanks(user.user_name).empty()) continue;
    if (trimBlanks(user.primary_group).empty()) {
      report.problem("account " + name + " belongs to no group (" + report.where("GroupTABLE") +
                     "): trial and quota commands refuse it");
    }
    if (user.exempt_code == kNotExempt) {
      // The admin login's own account has a line of its own.
      if (hasAnyFlag(user.flags, kStaffFlags) &&
          punishVerdict(user, name, run.settings.adminUser()) == PunishVerdict::kPunish) {
        report.problem("account " + name + " has staff flags " + trimBlanks(user.flags) +
                       " and nothing exempts it: the trial and quota rules punish it "
                       "(EXEMPT_FLAGS=" +
                       kStaffFlags + " spares staff)");
      }
      continue;
    }
    ++exempt;
    std::string reason = replaceAll(trimBlanks(user.exempt_reason), "\x02", "");
    report.note("exempt: " + name + ", " + exemptionRule(report, user) +
                (reason.empty() ? "" : "; shown as: " + reason));
  }
  if (!names.empty() && exempt == 0) report.note("exempt: nobody");
}

// The trial and quota stores in the data folder: one that cannot be read,
// and each line of one that the program does not understand or cannot read
// an amount from. A missing store is a site that has none yet.
void checkStores(Run& run, CheckReport& report) {
  const struct {
    StoreKind kind;
    const char* file;
  } stores[] = {{StoreKind::kTrial, contract::kTrialStoreFile},
                {StoreKind::kQuota, contract::kQuotaStoreFile}};
  for (const auto& store : stores) {
    const std::string path = run.files.dataPath(store.file);
    const std::string name = std::string(store.file).substr(1);
    std::string bytes;
    FileError error = run.platform.readFile(path, &bytes);
    if (error == FileError::kNotFound) continue;
    if (error != FileError::kNone) {
      report.problem(name + " cannot be read (error " + std::to_string(runtimeErrorNumber(error)) +
                     "); no run changes a record of it until it can");
      continue;
    }
    for (const StoreFinding& finding : checkStoreText(store.kind, bytes)) {
      report.problem(name + " line " + std::to_string(finding.line) + ": " + finding.text);
    }
  }
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
  if (checkServerFiles(run, report)) {
    checkAccounts(run, report);
  } else {
    // Read through a wrong path, every account would look unknown, and
    // unknown names look exempt: nothing said of them would be true.
    report.note("accounts: not read until the server paths above are right");
  }
  checkStores(run, report);
  checkAdminLogin(run, report);
  run.printLine(report.problems() == 0 ? "check: no problems found"
                                       : "check: " + count(report.problems(), "problem"));
  return report.problems() == 0 ? 0 : 1;
}

}  // namespace quarvel
