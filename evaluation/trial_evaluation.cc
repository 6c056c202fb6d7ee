#include "evaluation/trial_evaluation.h"

#include <algorithm>

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "server/contract.h"

namespace quarvel {
namespace {

// Sends the pass command for the user on a login of its own, ended with
// QUIT. The pass stands whatever the server says (the user did pass); a
// command that was not done is told on standard error and in the audit log.
void sendPassCommand(const TrialPass& pass, const std::string& name) {
  std::string command = replaceAll(pass.command, "$USER", name);
  std::unique_ptr<AdminSession> session = pass.new_session();
  SiteReply reply = session->send(command);
  pass.audit.action(name, command, reply.describe(), reply.done() ? "done" : "failed");
  if (!reply.done()) {
    pass.platform.writeErrorLine(name + " passed the trial, but TRIAL_ONPASS was not done: " +
                                 command + ": " + reply.describe());
  }
}

// A quota record suspended during the trial counts again, or is excluded
// when the user is exempt now.
void releaseQuotaRecord(const Records& records, const std::string& name) {
  std::optional<QuotaRecord> record = records.quota.member(name);
  if (!record || !record->status.readsAsSuspended()) return;
  records.quota.setStatus(name, *record,
                          records.users.lookupUser(name).exempt_code == 0 ? QuotaStatus::kCounting
                                                                          : QuotaStatus::kExempt);
}

bool isListed(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& listed : names) {
    if (equalsIgnoringCase(listed, name)) return true;
  }
  return false;
}

// Whether the server has closed the account (deleted, not purged yet, or
// expired). Its running trial is held: no day counted and never run out.
// (A trial already due when its account was closed is dropped instead: see
// punishVerdict.)
bool isClosedAccount(UserDatabase& users, const std::string& name) {
  return users.lookupUser(name).account_state != AccountState::kActive;
}

}  // namespace

void checkTrialPass(const Records& records, Output& out, const TrialPass& pass,
                    const std::string& raw_name) {
  std::string name = trimBlanks(raw_name);
  std::optional<TrialRecord> record = records.trial.member(name);
  // Only a user on trial can pass it; one whose trial ran out (and waits for
  // the punishment) no longer can.
  if (!record || records.trial.isDue(name)) return;
  if (record->uploaded.value() < pass.target_mb) return;
  if (pass.target_valid && !pass.target_valid()) return;
  // The credit that passes the user is on disk before the command: should
  // the run stop after it, the next check passes the user again.
  if (!pass.command.empty()) {
    if (!records.stores.commit(Stores::Order::kQuotaFirst)) return;
    sendPassCommand(pass, name);
  }
  records.trial.removeMember(name);
  // An upload's quota credit goes first: found with the trial still there
  // (the run stopped in between), the pass is made again by the next check.
  if (!records.stores.commit(Stores::Order::kQuotaFirst)) return;
  out.printLine(contract::announcement(contract::kPassedTrial, name));
  // Committed later: a suspended record without a trial is given back by
  // the next checkup, should this run stop before.
  releaseQuotaRecord(records, name);
}

void evaluateTrialsDaily(const Records& records, Output& out, const TrialPass& pass) {
  TrialStore& trial = records.trial;
  for (const std::string& listed : trial.listTrialUsers()) {
    std::string name = trimBlanks(listed);
    if (name.empty()) continue;
    UserRecord user = records.users.lookupUser(name);
    if (user.user_name.empty()) {
      if (trial.holdsRecord(name)) trial.removeMember(name);
      continue;
    }
    // A closed account's record stays as it is until the account is gone
    // from the tables: an undelete finds it again.
    if (user.account_state != AccountState::kActive) continue;
    checkTrialPass(records, out, pass, name);
  }
}

long long countedDown(const StoredNumber& days_left, int days) {
  long long left = roundHalfEven(days_left.value() - 1);
  if (left > 0) return std::max(0LL, left - (days - 1));
  return left == 0 ? 0 : left - (days - 1);
}

int countDownTrials(TrialStore& trial, UserDatabase& users, AuditLog& audit,
                    const std::string& today) {
  int days = daysToCount(trial.countedDay(), today);
  if (days == 0) return 0;
  std::vector<std::string> due = trial.dueUsers();
  for (TrialMember& entry : trial.membersInFileOrder()) {
    if (isListed(due, entry.name)) continue;
    if (isClosedAccount(users, entry.name)) continue;
    entry.record.days_left = StoredNumber::whole(countedDown(entry.record.days_left, days));
    trial.putMember(entry.name, entry.record);
  }
  trial.setCountedDay(today);
  audit.summary("trial days counted down: " + std::to_string(days));
  return days;
}

void punishExpiredTrials(const Punishment& punishment, TrialStore& trial, Output& out,
                         const PunishRule& rule, bool counted) {
  std::vector<std::string> was_due = trial.dueUsers();
  std::vector<std::string> due;
  std::vector<std::string> reasons;
  for (const TrialMember& entry : trial.membersInFileOrder()) {
    bool ran_out = counted && entry.record.days_left.wholeValue() == 0 &&
                   !isClosedAccount(punishment.users, entry.name);
    if (ran_out || isListed(was_due, entry.name)) {
      due.push_back(entry.name);
      reasons.push_back(trialReason(entry.record.uploaded.value(),
                                    punishment.settings.trialUploadMB(),
                                    punishment.settings.trialDays()));
    }
  }
  if (due.empty()) {
    trial.setDueUsers(due);
    return;
  }
  punishment.audit.summary("trials due: " + joinNames(due, ", "));
  trial.setDueUsers(due);
  const std::vector<std::string> expired = due;
  for (std::size_t i = 0; i < expired.size(); ++i) {
    const std::string& key = expired[i];
    if (punishTrialUser(punishment, out, rule, key, reasons[i]) == PunishOutcome::kLeftDue) {
      continue;
    }
    trial.removeMember(key);
    due.erase(std::find(due.begin(), due.end(), key));
    trial.setDueUsers(due);
  }
}

}  // namespace quarvel
