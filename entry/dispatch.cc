#include "entry/dispatch.h"

#include "config/text.h"
#include "entry/check_command.h"
#include "entry/handlers.h"
#include "entry/help_command.h"
#include "entry/log_command.h"
#include "entry/upload_event.h"
#include "server/contract.h"

namespace quarvel {

const std::vector<CommandRow>& commandTable() {
  static const std::vector<CommandRow> table = {
      {"test", CommandTest::kWholeLine, runConnectionTest},
      {"qstart", CommandTest::kWholeLine, runQstart},
      {"qnow", CommandTest::kWholeLine, runQnow},
      {"qstart force", CommandTest::kWholeLine, runQstartForced},
      {"qnow force", CommandTest::kWholeLine, runQnowForced},
      {"UD", CommandTest::kWord, runUpload},
      {"NUKE", CommandTest::kWordTwoOperands, runNuke},
      {"UNNUKE", CommandTest::kWordTwoOperands, runUnnuke},
      {"PREDL", CommandTest::kWord, runPreDelete},
      {"POSDL", CommandTest::kWord, runPostDelete},
      {"RENAME", CommandTest::kWord, runRename},
      {"ST", CommandTest::kAlways, runTrialCommand},
      {"SQ", CommandTest::kAlways, runQuotaCommand},
      {"IRC", CommandTest::kAlways, runIrcCommand},
      {"stats", CommandTest::kWholeLine, runStats},
      {"checkup", CommandTest::kWholeLine, runCheckup},
      {"newday", CommandTest::kWholeLine, runNewday},
      {"preview", CommandTest::kWord, runPreview},
      {"PASSED", CommandTest::kWord, runStanding},
  };
  return table;
}

bool rowMatches(const CommandRow& row, const std::string& command_line) {
  switch (row.test) {
    case CommandTest::kWholeLine:
      return toLower(command_line) == toLower(row.name);
    case CommandTest::kWord:
      return toUpper(commandWord(command_line, 1)) == toUpper(row.name);
    case CommandTest::kWordTwoOperands:
      return toUpper(commandWord(command_line, 1)) == toUpper(row.name) &&
             !commandWord(command_line, 2).empty() && !commandWord(command_line, 3).empty();
    case CommandTest::kAlways:
      return true;
  }
  return false;
}

bool isExcluded(const std::string& excluded_dirs, const std::string& pwd) {
  std::string lower_pwd = toLower(pwd);
  for (const std::string& entry : splitAt(excluded_dirs, "|")) {
    if (!entry.empty() && lower_pwd.compare(0, entry.size(), toLower(entry)) == 0 &&
        lower_pwd.size() >= entry.size()) {
      return true;
    }
  }
  return false;
}

namespace {

// One audit line for a run that changed a store's records on disk, with its
// own summary; a run that changed none (one that only rewrote a store)
// leaves none. Either way the log's
// lines go to disk now.
void logStoreChanges(Run& run) {
  std::string changed;
  for (StoreFile* store : {&run.trial.file(), &run.quota.file()}) {
    if (!store->changedOnDisk() || !run.audit.recordsChanged(store->path())) continue;
    std::string path = store->path();
    std::string name = path.substr(path.find_last_of("\\/") + 1);
    changed += (changed.empty() ? "" : ", ") + name;
  }
  if (run.credits.changedOnDisk()) changed += std::string(changed.empty() ? "" : ", ") + "Credits";
  if (changed.empty()) {
    run.audit.dropSummary();
  } else {
    run.audit.summary("stores changed: " + changed);
  }
  run.audit.finishRun();
}

}  // namespace

bool judgedByFileFolder(const std::string& command_line) {
  std::string word = toUpper(commandWord(command_line, 1));
  if (word == "UD") return !uploadedVirtualPath(command_line).empty();
  return word == "PREDL" || word == "POSDL" || word == "RENAME";
}

void dispatch(Run& run, const std::vector<CommandRow>& table) {
  for (const CommandRow& row : table) {
    if (rowMatches(row, run.command_line) && row.handler(run) == Next::kEndRun) return;
  }
}

bool writesNothingToDisk(const std::string& command_line) {
  std::string word = toUpper(commandWord(command_line, 1));
  return word == "PREVIEW" || word == "PASSED";
}

int runProgram(Platform& platform) {
  // The operator's own commands: no caller of the program sends them.
  std::string command_line = platform.commandLine();
  if (isHelpCommand(command_line)) {
    printHelp(platform);
    return 0;
  }
  if (isVersionCommand(command_line)) {
    printVersion(platform);
    return 0;
  }
  if (isLogCommand(command_line)) {
    printUserLog(platform, command_line);
    return 0;
  }
  // Runs follow one another: the stores, the configuration and the
  // temporary copies are never shared by two runs. A preview writes
  // nothing to disk (it reads each store whole, as replaced atomically), so
  // it takes no lock and leaves no lock file where there was none.
  std::unique_ptr<InstanceLock> lock;
  if (!writesNothingToDisk(command_line)) {
    lock = platform.acquireInstanceLock();
    // Without the lock the run does nothing (the platform has said why on
    // standard error). It still ends with 0: after an upload the server
    // takes any other code for a failed event and deletes the user's file.
    if (!lock) return 0;
  }
  Run run(platform);
  // A commit a stopped run left is finished before anything is read; one
  // that cannot be finished leaves the stores as they are, untouched. (A
  // preview finishes it in memory only.)
  if (lock && !run.stores.finishInterruptedCommit()) return 0;
  if (isCheckCommand(run.command_line)) return runCheck(run);
  run.loadStartupSettings();
  std::string pwd = run.env(contract::kPwdVariable);
  // A user's standing does not depend on the folder the user is in.
  if (!pwd.empty() && isExcluded(run.settings.excludedDirs(), pwd) &&
      !judgedByFileFolder(run.command_line) &&
      toUpper(commandWord(run.command_line, 1)) != "PASSED") {
    return 0;
  }
  dispatch(run, commandTable());
  // Exit sequence: what the run changed goes to disk (and, in one line, to
  // the audit log), then an open admin connection is closed without a word
  // more.
  run.stores.commitAtEnd();
  logStoreChanges(run);
  run.admin_session.reset();
  return 0;
}

}  // namespace quarvel
