// The scheduled runs: checkup and newday (daily), qstart and qnow (quota
// period set-up).
#include <algorithm>
#include <cstdio>
#include <set>

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
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

// `days` days off a trial's days left: the first as a single day always
// did (halves to even), then one per further day, stopping at 0 where the
// trial ran out. An entry already at 0 or below never runs out.
long long countedDown(const std::string& days_left, int days) {
  long long left = roundHalfEven(readNumber(days_left) - 1);
  if (left > 0) return std::max(0LL, left - (days - 1));
  return left == 0 ? 0 : left - (days - 1);
}

bool isListed(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& listed : names) {
    if (equalsIgnoringCase(listed, name)) return true;
  }
  return false;
}

// Whether the server has closed the account (deleted, not purged yet, or
// expired). Its running trial is held: no day counted and never run out,
// so that an undelete finds it as it was. (A trial already due when its
// account was closed is dropped instead: see punishVerdict.)
bool isClosedAccount(Run& run, const std::string& name) {
  return run.users.lookupUser(name).account_state != AccountState::kActive;
}

// Every record is weighed against the user database: unread, it would make
// every user look gone. While it cannot be read, the run changes nothing
// (the turn of a period, the days to count and every punishment wait for a
// run that can read it) and says so once.
bool userDatabaseReadable(Run& run) {
  if (run.users.readable()) return true;
  run.users.reportUnreadable();
  return false;
}

// What a punishment on `session` takes from the run, and the two settings.
Punishment punishmentOn(Run& run, AdminSession& session) {
  return {run.users, run.settings, session, run.stores, run.audit, run.platform, &run.out};
}
PunishRule trialRule(Run& run) {
  return {run.settings.trialPunishment(), run.settings.trialDisableFlag()};
}
PunishRule quotaRule(Run& run) {
  return {run.settings.quotaPunishment(), run.settings.quotaDisableFlag()};
}

// Counts the trials down by the days since the last count (none on the same
// date): the number of days counted. Entries of closed accounts are left as
// they are. The date counted goes into the store with the days, in one
// commit.
int countDownTrials(Run& run) {
  std::string today = run.today();
  int days = daysToCount(run.trial.countedDay(), today);
  if (days == 0) return 0;
  std::vector<std::string> due = run.trial.dueUsers();
  for (const std::string& line : run.trial.readAllTrialLines()) {
    TrialEntry entry = parseTrialLine(line);
    if (entry.key.empty() || isTrialStoreKey(entry.key) || isListed(due, entry.key)) continue;
    if (isClosedAccount(run, entry.key)) continue;
    entry.record.second = integerForm(countedDown(entry.record.second, days));
    run.trial.putMember(entry.key, entry.record);
  }
  run.trial.setCountedDay(today);
  run.audit.summary("trial days counted down: " + std::to_string(days));
  return days;
}

// Punishes, in file order, the trials that ran out in this count (none when
// nothing was counted) and those still due from an earlier run. All of them
// are on the due list before the first command goes out (in the commit that
// counted the day), and each leaves it, with its record, once punished (or
// spared): a run stopped in between leaves the rest due for the next run,
// never a trial at 0 days that nothing would ever punish.
void punishExpiredTrials(Run& run, AdminSession& session, bool counted) {
  std::vector<std::string> was_due = run.trial.dueUsers();
  std::vector<std::string> due;
  for (const std::string& line : run.trial.readAllTrialLines()) {
    TrialEntry entry = parseTrialLine(line);
    if (entry.key.empty() || isTrialStoreKey(entry.key)) continue;
    bool ran_out = counted && readWholeNumber(entry.record.second) == 0 &&
                   !isClosedAccount(run, entry.key);
    if (ran_out || isListed(was_due, entry.key)) due.push_back(entry.key);
  }
  if (due.empty()) {
    run.trial.setDueUsers(due);
    return;
  }
  run.audit.summary("trials due: " + joinNames(due, ", "));
  run.trial.setDueUsers(due);
  const std::vector<std::string> expired = due;
  for (const std::string& key : expired) {
    if (punishTrialUser(punishmentOn(run, session), run.out, trialRule(run), key) ==
        PunishOutcome::kLeftDue) {
      continue;
    }
    run.trial.removeMember(key);
    due.erase(std::find(due.begin(), due.end(), key));
    run.trial.setDueUsers(due);
  }
}

// Pending punishments of an ended period, retried before anything else:
// those that still cannot be done.
std::vector<std::string> retryPendingPunishments(Run& run, AdminSession& session) {
  std::vector<std::string> still_pending;
  for (const std::string& name : run.quota.pendingUsers()) {
    if (punishQuotaUser(punishmentOn(run, session), run.quota, quotaRule(run), name, true) ==
        PunishOutcome::kLeftDue) {
      still_pending.push_back(name);
    }
  }
  return still_pending;
}

void startNextPeriod(Run& run, const std::vector<std::string>& pending) {
  run.quota.file().removeFile();
  startQuotaPeriod(run.records(), run.settings, run.platform.today());
  run.quota.setPendingUsers(pending);
  run.audit.summary("quota period starts: " + run.quota.periodStarts() +
                    " to " + run.quota.periodEnds());
}

// At the end date of a running period: members still counting are
// punished, and the next period starts; members who could not be punished
// are carried into it as pending. Closed accounts are neither named nor
// punished.
void changeQuotaPeriod(Run& run, AdminSession& session, std::vector<std::string> pending) {
  std::string today = run.today();
  if (daysBetween(run.quota.periodEnds(), today) <= 0 && run.quota.periodStarted()) {
    run.audit.summary("quota period ends: " + run.quota.periodStarts() +
                      " to " + run.quota.periodEnds());
    for (const std::string& name : run.quota.listQuotaUsers()) {
      if (QuotaStatus(run.quota.member(name).second).isSettled()) continue;
      if (isClosedAccount(run, name)) continue;
      // Deliberate output, kept exactly: one line per member before its
      // punishment is tried.
      run.printLine("Processing " + name);
      if (punishQuotaUser(punishmentOn(run, session), run.quota, quotaRule(run), name) ==
          PunishOutcome::kLeftDue) {
        pending.push_back(trimBlanks(name));
      }
    }
    startNextPeriod(run, pending);
    return;
  }
  run.quota.setPendingUsers(pending);
  if (daysBetween(run.quota.periodStarts(), today) > 0) return;
  if (run.quota.periodStarted()) return;
  startNextPeriod(run, pending);
}

// Punishments left due by an earlier run, done as soon as a run can log in;
// a run with nothing due logs in for nothing.
void catchUpPunishments(Run& run) {
  bool quota_due = run.quota.file().exists() && !run.quota.pendingUsers().empty();
  bool trial_due = run.trial.file().exists() && !run.trial.dueUsers().empty();
  if (!quota_due && !trial_due) return;
  AdminSession& session = run.adminSession();
  if (quota_due) run.quota.setPendingUsers(retryPendingPunishments(run, session));
  if (trial_due) punishExpiredTrials(run, session, false);
}

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace

Next runQstart(Run& run) {
  run.quota.file().removeFile();
  if (!run.settings.monthlyQuota()) return Next::kContinue;
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
  startQuotaPeriod(run.records(), run.settings, run.platform.today());
  return Next::kEndRun;
}

Next runCheckup(Run& run) {
  // Every record is checked against the user database: unread, it would
  // make every user look gone.
  if (!userDatabaseReadable(run)) return Next::kContinue;
  catchUpPunishments(run);
  evaluateTrialsDaily(run.records(), run.out, run.trialPass());
  evaluateQuotaDaily(run.records(), run.settings, run.out, run.platform.today());
  return Next::kContinue;
}

namespace {

// Whether the period turns today: it ends, or a set-up period starts.
bool periodTurnsToday(Run& run) {
  std::string today = run.today();
  if (run.quota.periodStarted()) return daysBetween(run.quota.periodEnds(), today) <= 0;
  return daysBetween(run.quota.periodStarts(), today) <= 0;
}

// Whether newday may go ahead: it may, unless it has something to do that
// weighs records against a user database it cannot read.
bool newdayMayGoAhead(Run& run) {
  bool trial_work = run.trial.file().exists() &&
                    (!run.trial.dueUsers().empty() ||
                     daysToCount(run.trial.countedDay(), run.today()) > 0);
  bool quota_work = run.quota.file().exists() &&
                    (!run.quota.pendingUsers().empty() || periodTurnsToday(run));
  return !(trial_work || quota_work) || userDatabaseReadable(run);
}

}  // namespace

void newdayOn(Run& run, AdminSession& session) {
  if (!newdayMayGoAhead(run)) return;
  // What an earlier period end left undone comes before anything else.
  std::vector<std::string> pending;
  if (run.quota.file().exists()) pending = retryPendingPunishments(run, session);
  if (run.trial.file().exists()) {
    int days = countDownTrials(run);
    punishExpiredTrials(run, session, days > 0);
  }
  if (run.quota.file().exists()) changeQuotaPeriod(run, session, pending);
}

Next runNewday(Run& run) {
  if (!newdayMayGoAhead(run)) return Next::kEndRun;
  // The login is made at the start, as it always was, used by every
  // punishment of the run and dropped at its end.
  AdminSession& session = run.adminSession();
  session.open();
  newdayOn(run, session);
  return Next::kEndRun;
}

}  // namespace quarvel
