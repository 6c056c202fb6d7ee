// The scheduled runs: checkup and newday (daily), qstart and qnow (quota
// period set-up).
#include "config/file_errors.h"
#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "entry/handlers.h"
#include "evaluation/deadline_warnings.h"
#include "evaluation/punishment.h"
#include "evaluation/quota_evaluation.h"
#include "evaluation/trial_evaluation.h"
#include "server/contract.h"

namespace quarvel {
namespace {

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
  run.quota.clearForNewPeriod();
  startQuotaPeriod(run.records(), run.settings, run.platform.today());
  run.quota.setPendingUsers(pending);
  run.audit.summary("quota period starts: " + run.quota.periodStarts() + " to " +
                    run.quota.periodEnds());
}

// Whether the period turns today: it ends, or a set-up period starts.
bool periodTurnsToday(Run& run) {
  std::string today = run.today();
  if (run.quota.periodStarted()) return daysBetween(run.quota.periodEnds(), today) <= 0;
  return daysBetween(run.quota.periodStarts(), today) <= 0;
}

// At the end date of a running period: members still counting are
// punished, and the next period starts; members who could not be punished
// are carried into it as pending. Closed accounts are neither named nor
// punished.
void changeQuotaPeriod(Run& run, AdminSession& session, std::vector<std::string> pending) {
  std::string today = run.today();
  // A period turns only on settings that can tell who is punished and who
  // is spared; until they can, it runs on as it is.
  bool ends = run.quota.periodStarted();
  if (periodTurnsToday(run) && ((ends && !run.settings.mayDecide(Decision::kQuotaPunish)) ||
                                !run.settings.mayDecide(Decision::kExemption))) {
    run.quota.setPendingUsers(pending);
    return;
  }
  if (daysBetween(run.quota.periodEnds(), today) <= 0 && run.quota.periodStarted()) {
    run.audit.summary("quota period ends: " + run.quota.periodStarts() + " to " +
                      run.quota.periodEnds());
    for (const std::string& name : run.quota.listQuotaUsers()) {
      if (run.quota.statusOf(name).isSettled()) continue;
      // A line not understood is nobody (the empty name of a period without
      // members is processed, as it always was).
      if (!trimBlanks(name).empty() && !run.quota.holdsRecord(name)) continue;
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
  if (trial_due)
    punishExpiredTrials(punishmentOn(run, session), run.trial, run.out, trialRule(run), false);
}

}  // namespace

namespace {

// Members of the running period: the names with a record.
std::size_t periodMembers(Run& run) {
  std::size_t members = 0;
  for (const std::string& name : run.quota.listQuotaUsers()) {
    if (!trimBlanks(name).empty()) ++members;
  }
  return members;
}

// Whether `command` may replace the quota store: it may, unless a period
// with members runs and the force word was not given; then it says what it
// would erase.
bool mayReplacePeriod(Run& run, const std::string& command, bool forced) {
  if (forced || !run.quota.periodStarted()) return true;
  std::size_t members = periodMembers(run);
  if (members == 0) return true;
  run.platform.writeErrorLine(
      command + ": the quota period " + run.quota.periodStarts() + " to " + run.quota.periodEnds() +
      " runs with " + std::to_string(members) + (members == 1 ? " member" : " members") +
      " and their uploads; nothing was changed. \"" + command + " force\" erases it.");
  return false;
}

// Keeps a copy of the quota store as it is before it is replaced; the
// words to add to the command's line. Empty when there was no store; false
// (said on standard error) when no copy could be made.
bool keepQuotaCopy(Run& run, const std::string& command, std::string* kept) {
  if (!run.quota.file().exists()) return true;
  const std::string& path = run.quota.file().path();
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  FileError error = run.platform.copyFile(path, path + contract::kBackupSuffix);
  if (error != FileError::kNone) {
    run.platform.writeErrorLine(
        command + ": " + name + " could not be copied to " + name + contract::kBackupSuffix +
        " (error " + std::to_string(runtimeErrorNumber(error)) + "); nothing was changed.");
    return false;
  }
  *kept = "; the old " + name + " is kept as " + name + contract::kBackupSuffix;
  return true;
}

Next qstart(Run& run, const std::string& command, bool forced) {
  if (!mayReplacePeriod(run, command, forced)) return Next::kContinue;
  std::string kept;
  if (!keepQuotaCopy(run, command, &kept)) return Next::kContinue;
  run.quota.clearForNewPeriod();
  if (!run.settings.monthlyQuota()) {
    run.printLine(command + ": no quota period is set up (QUOTA_TYPE is not 1)" + kept + ".");
    return Next::kContinue;
  }
  setUpNextMonthPeriod(run.quota, run.platform.today());
  run.printLine(command + ": the quota period " + run.quota.periodStarts() + " to " +
                run.quota.periodEnds() + " is set up; newday starts it on its first day" + kept +
                ".");
  return Next::kContinue;
}

Next qnow(Run& run, const std::string& command, bool forced) {
  if (!userDatabaseReadable(run)) return Next::kEndRun;
  if (!run.settings.mayDecide(Decision::kExemption)) return Next::kEndRun;
  if (!mayReplacePeriod(run, command, forced)) return Next::kEndRun;
  std::string kept;
  if (!keepQuotaCopy(run, command, &kept)) return Next::kEndRun;
  run.quota.clearForNewPeriod();
  startQuotaPeriod(run.records(), run.settings, run.platform.today());
  if (!run.quota.periodStarted()) {
    run.printLine(command + ": no quota period is started (QUOTA_TYPE is not 1)" + kept + ".");
    return Next::kEndRun;
  }
  std::size_t members = periodMembers(run);
  run.printLine(command + ": the quota period " + run.quota.periodStarts() + " to " +
                run.quota.periodEnds() + " runs with " + std::to_string(members) +
                (members == 1 ? " member" : " members") + kept + ".");
  return Next::kEndRun;
}

}  // namespace

Next runQstart(Run& run) { return qstart(run, "qstart", false); }
Next runQstartForced(Run& run) { return qstart(run, "qstart", true); }
Next runQnow(Run& run) { return qnow(run, "qnow", false); }
Next runQnowForced(Run& run) { return qnow(run, "qnow", true); }

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

// Whether newday may go ahead: it may, unless it has something to do that
// weighs records against a user database it cannot read.
bool newdayMayGoAhead(Run& run) {
  bool trial_work =
      run.trial.file().exists() &&
      (!run.trial.dueUsers().empty() || daysToCount(run.trial.countedDay(), run.today()) > 0);
  bool quota_work =
      run.quota.file().exists() && (!run.quota.pendingUsers().empty() || periodTurnsToday(run));
  return !(trial_work || quota_work) || userDatabaseReadable(run);
}

// The warnings go last, from the days left once today is counted and the
// period turned, and after what that changed is on disk. Without a
// warning key nothing here happens.
void warnOfDeadlines(Run& run) {
  if (run.settings.trialWarnDays() <= 0 && run.settings.quotaWarnDays() <= 0) return;
  if (!run.stores.commit()) return;
  WarningStore warned(run.files);
  warnBeforeDeadlines(run.records(), run.settings, warned, run.out, run.audit, run.platform,
                      run.today());
}

}  // namespace

void newdayOn(Run& run, AdminSession& session) {
  if (!newdayMayGoAhead(run)) return;
  // What an earlier period end left undone comes before anything else.
  std::vector<std::string> pending;
  if (run.quota.file().exists()) pending = retryPendingPunishments(run, session);
  if (run.trial.file().exists()) {
    int days = countDownTrials(run.trial, run.users, run.audit, run.today());
    punishExpiredTrials(punishmentOn(run, session), run.trial, run.out, trialRule(run), days > 0);
  }
  if (run.quota.file().exists()) changeQuotaPeriod(run, session, pending);
  warnOfDeadlines(run);
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
