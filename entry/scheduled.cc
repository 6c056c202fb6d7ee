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
// no entry) and its record, double quotes ignored.
struct TrialEntry {
  std::string key;
  StoreRecord record;
};

TrialEntry parseTrialLine(const std::string& line) {
  TrialEntry entry;
  std::size_t equals = line.find('=');
  if (equals == std::string::npos) return entry;
  entry.key = trimBlanks(line.substr(0, equals));
  entry.record = StoreRecord::parse(trimBlanks(replaceAll(field(line, "=", 2), "\"", "")));
  return entry;
}

// Whether the server has closed the account (deleted, not purged yet, or
// expired). Its trial is held: no day counted, never expired or punished,
// so that an undelete finds it as it was.
bool isClosedAccount(Run& run, const std::string& name) {
  return run.users.lookupUser(name).account_state != AccountState::kActive;
}

// A new period enrols every account of the user database: while it cannot
// be read, the turn of the period waits for a run that can (the dates stay
// due), instead of starting a period without members.
bool userDatabaseReadable(Run& run) {
  if (run.users.readable()) return true;
  run.users.reportUnreadable();
  return false;
}

// Every trial entry loses a day; those that reach exactly 0 are removed in
// the same commit, then punished (while the admin login is open). Entries
// of closed accounts are left as they are. False when the stores could not
// be saved.
bool expireTrials(Run& run) {
  std::set<std::string> held;
  for (const std::string& line : run.trial.readAllTrialLines()) {
    TrialEntry entry = parseTrialLine(line);
    if (entry.key.empty()) continue;
    if (isClosedAccount(run, entry.key)) {
      held.insert(entry.key);
      continue;
    }
    entry.record.second = integerForm(roundHalfEven(readNumber(entry.record.second) - 1));
    run.trial.putMember(entry.key, entry.record);
  }
  std::vector<std::string> expired;
  for (const std::string& line : run.trial.readAllTrialLines()) {
    TrialEntry entry = parseTrialLine(line);
    if (entry.key.empty() || readWholeNumber(entry.record.second) != 0) continue;
    if (held.count(entry.key) != 0) continue;
    expired.push_back(entry.key);
  }
  for (const std::string& key : expired) run.trial.removeMember(key);
  if (expired.empty() || run.admin_connection == 0) return true;
  // On disk before the first command: a run stopped while punishing never
  // leaves a user counted down to 0 and still on trial (who would never
  // expire again).
  if (!run.stores.commit()) return false;
  for (const std::string& key : expired) punishTrialUser(run, key);
  return true;
}

// At the end date of a running period: members still counting are
// punished, and the next period starts. Closed accounts are neither named
// nor punished.
void changeQuotaPeriod(Run& run) {
  std::string today = run.today();
  if (daysBetween(run.quota.periodEnds(), today) <= 0 && run.quota.periodStarted()) {
    if (!userDatabaseReadable(run)) return;
    // The punishments print nothing that states a change, and sending one
    // again does no harm; the period's end and the next enrolment are one
    // commit (at the end of the run). A run stopped in between leaves the
    // store as it was, and the next newday ends the period in full.
    for (const std::string& name : run.quota.listQuotaUsers()) {
      if (QuotaStatus(run.quota.member(name).second).isSettled()) continue;
      if (isClosedAccount(run, name)) continue;
      run.printLine("Processing " + name);
      punishQuotaUser(run, name);
    }
    run.quota.file().removeFile();
    startQuotaPeriod(run);
    return;
  }
  if (daysBetween(run.quota.periodStarts(), today) > 0) return;
  if (run.quota.periodStarted()) return;
  if (!userDatabaseReadable(run)) return;
  run.quota.file().removeFile();
  startQuotaPeriod(run);
}

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace

Next runQstart(Run& run) {
  run.quota.file().removeFile();
  if (readNumber(run.configValue("QUOTA_TYPE")) != 1) return Next::kContinue;
  LocalDate today = run.platform.today();
  int start_month = today.month == 12 ? 1 : today.month + 1;
  int start_year = today.month == 12 ? today.year + 1 : today.year;
  int end_month = start_month == 12 ? 1 : start_month + 1;
  int end_year = start_month == 12 ? start_year + 1 : start_year;
  run.quota.setPeriodStarts(twoDigits(start_month) + "-01-" + integerForm(start_year));
  run.quota.setPeriodEnds(twoDigits(end_month) + "-01-" + integerForm(end_year));
  return Next::kContinue;
}

Next runQnow(Run& run) {
  if (!userDatabaseReadable(run)) return Next::kEndRun;
  run.quota.file().removeFile();
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
  if (run.trial.file().exists() && !expireTrials(run)) return Next::kEndRun;
  if (run.quota.file().exists()) changeQuotaPeriod(run);
  return Next::kEndRun;
}

}  // namespace quarvel
