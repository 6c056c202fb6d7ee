// The scheduled runs: checkup and newday (daily), qstart and qnow (quota
// period set-up).
#include <cstdio>
#include <set>

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "entry/admin_connection.h"
#include "entry/handlers.h"
#include "evaluation/punishment.h"
#include "evaluation/quota_evaluation.h"
#include "evaluation/trial_evaluation.h"

namespace quarvel {
namespace {

// A trial store line taken apart: the key (trimmed; empty when the line is
// no entry) and the value's fields, double quotes ignored.
struct TrialEntry {
  std::string key;
  std::string uploaded;
  std::string days_left;
  std::string group;
};

TrialEntry parseTrialLine(const std::string& line) {
  TrialEntry entry;
  std::size_t equals = line.find('=');
  if (equals == std::string::npos) return entry;
  entry.key = trimBlanks(line.substr(0, equals));
  std::string value = trimBlanks(replaceAll(field(line, "=", 2), "\"", ""));
  entry.uploaded = field(value, "::", 1);
  entry.days_left = field(value, "::", 2);
  entry.group = field(value, "::", 3);
  return entry;
}

// Whether the server has closed the account (deleted, not purged yet, or
// expired). Its trial is held: no day counted, never expired or punished,
// so that an undelete finds it as it was.
bool isClosedAccount(Run& run, const std::string& name) {
  run.users.lookupUser(name);
  return run.users.current().account_state != AccountState::kActive;
}

// Every trial entry loses a day; those that reach exactly 0 are punished
// (while the admin login is open) and removed. Entries of closed accounts
// are left as they are.
void expireTrials(Run& run) {
  std::set<std::string> held;
  for (const std::string& line : run.trial.readAllTrialLines()) {
    TrialEntry entry = parseTrialLine(line);
    if (entry.key.empty()) continue;
    if (isClosedAccount(run, entry.key)) {
      held.insert(entry.key);
      continue;
    }
    long long days = roundHalfEven(readNumber(entry.days_left) - 1);
    run.trial.writeTrialRecord(entry.key + "=" + entry.uploaded + "::" + integerForm(days) +
                               "::" + entry.group);
  }
  std::vector<std::string> expired;
  for (const std::string& line : run.trial.readAllTrialLines()) {
    TrialEntry entry = parseTrialLine(line);
    if (entry.key.empty() || readWholeNumber(entry.days_left) != 0) continue;
    if (held.count(entry.key) != 0) continue;
    expired.push_back(entry.key);
    if (run.admin_connection != 0) punishTrialUser(run, entry.key);
  }
  for (const std::string& key : expired) run.trial.writeTrialRecord(key + "=");
}

// A new period enrols every account of the user database: while it cannot
// be read, the turn of the period waits for a run that can (the dates stay
// due), instead of starting a period without members.
bool userDatabaseReadable(Run& run) {
  if (run.users.readable()) return true;
  run.users.reportUnreadable();
  return false;
}

// At the end date of a running period: members still counting are
// punished, and the next period starts. Closed accounts are neither named
// nor punished.
void changeQuotaPeriod(Run& run) {
  std::string today = run.today();
  if (daysBetween(run.quota.readQuotaRecord("setup_quota_ends"), today) <= 0 &&
      run.quota.readQuotaRecord("setup_quota_started") == "1") {
    if (!userDatabaseReadable(run)) return;
    for (const std::string& name : run.quota.listQuotaUsers()) {
      std::string status = field(run.quota.readQuotaRecord(name), "::", 2);
      if (status == "1" || status == "2" || status == "3") continue;
      if (isClosedAccount(run, name)) continue;
      run.printLine("Processing " + name);
      punishQuotaUser(run, name);
    }
    run.quota.file().removeFile();
    startQuotaPeriod(run);
    return;
  }
  if (daysBetween(run.quota.readQuotaRecord("setup_quota_starts"), today) > 0) return;
  if (run.quota.readQuotaRecord("setup_quota_started") == "1") return;
  if (!userDatabaseReadable(run)) return;
  if (run.quota.file().exists()) run.quota.file().removeFile();
  startQuotaPeriod(run);
}

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace

Next runQstart(Run& run) {
  if (run.quota.file().exists()) run.quota.file().removeFile();
  if (readNumber(run.configValue("QUOTA_TYPE")) != 1) return Next::kContinue;
  LocalDate today = run.platform.today();
  int start_month = today.month == 12 ? 1 : today.month + 1;
  int start_year = today.month == 12 ? today.year + 1 : today.year;
  int end_month = start_month == 12 ? 1 : start_month + 1;
  int end_year = start_month == 12 ? start_year + 1 : start_year;
  run.quota.writeQuotaRecord("setup_quota_starts=" + twoDigits(start_month) + "-01-" +
                             integerForm(start_year));
  run.quota.writeQuotaRecord("setup_quota_ends=" + twoDigits(end_month) + "-01-" +
                             integerForm(end_year));
  return Next::kContinue;
}

Next runQnow(Run& run) {
  if (!userDatabaseReadable(run)) return Next::kEndRun;
  if (run.quota.file().exists()) run.quota.file().removeFile();
  startQuotaPeriod(run);
  return Next::kEndRun;
}

Next runCheckup(Run& run) {
  // Every record is checked against the user database: unread, it would
  // make every user look gone.
  if (!userDatabaseReadable(run)) return Next::kContinue;
  evaluateTrialsDaily(run);
  evaluateQuotaDaily(run);
  return Next::kContinue;
}

Next runNewday(Run& run) {
  run.admin_connection = openAdminConnection(run);
  if (run.trial.file().exists()) expireTrials(run);
  if (run.quota.file().exists()) changeQuotaPeriod(run);
  return Next::kEndRun;
}

}  // namespace quarvel
