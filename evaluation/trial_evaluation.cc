#include "evaluation/trial_evaluation.h"

#include "config/numbers.h"
#include "config/text.h"
#include "server/contract.h"

namespace quarvel {
namespace {

// Sends TRIAL_ONPASS for the user on a login of its own, ended with QUIT.
// The pass stands whatever the server says (the user did pass); a command
// that was not done is told on standard error and in the audit log.
void sendPassCommand(Run& run, const std::string& name) {
  std::string command = replaceAll(run.settings.trial_onpass, "$USER", name);
  std::unique_ptr<AdminSession> session = run.newAdminSession();
  SiteReply reply = session->send(command);
  run.audit.action(name, command, reply.describe(), reply.done() ? "done" : "failed");
  if (!reply.done()) {
    run.platform.writeErrorLine(name + " passed the trial, but TRIAL_ONPASS was not done: " +
                                command + ": " + reply.describe());
  }
}

// A quota record suspended during the trial counts again, or is excluded
// when the user is exempt now.
void releaseQuotaRecord(Run& run, const std::string& name) {
  std::string value = run.quota.readQuotaRecord(name);
  if (value.empty()) return;
  StoreRecord record = StoreRecord::parse(value);
  if (!QuotaStatus(record.second).readsAsSuspended()) return;
  run.quota.setStatus(name, record,
                      run.users.lookupUser(name).exempt_code == 0 ? QuotaStatus::kCounting
                                                           : QuotaStatus::kExempt);
}

}  // namespace

void checkTrialPass(Run& run, const std::string& raw_name) {
  std::string name = trimBlanks(raw_name);
  std::string value = run.trial.readTrialRecord(name);
  // Only a user on trial can pass it; one whose trial ran out (and waits for
  // the punishment) no longer can.
  if (value.empty() || run.trial.isDue(name)) return;
  if (StoreRecord::parse(value).uploadedMB() < static_cast<double>(run.settings.trial_upload)) {
    return;
  }
  // The credit that passes the user is on disk before the command: should
  // the run stop after it, the next check passes the user again.
  if (!run.settings.trial_onpass.empty()) {
    if (!run.stores.commit(Stores::Order::kQuotaFirst)) return;
    sendPassCommand(run, name);
  }
  run.trial.removeMember(name);
  // An upload's quota credit goes first: found with the trial still there
  // (the run stopped in between), the pass is made again by the next check.
  if (!run.stores.commit(Stores::Order::kQuotaFirst)) return;
  run.printLine(contract::announcement(contract::kPassedTrial, name));
  // Committed later: a suspended record without a trial is given back by
  // the next checkup, should this run stop before.
  releaseQuotaRecord(run, name);
}

void evaluateTrialsDaily(Run& run) {
  for (const std::string& listed : run.trial.listTrialUsers()) {
    std::string name = trimBlanks(listed);
    if (name.empty()) continue;
    UserRecord user = run.users.lookupUser(name);
    if (user.user_name.empty()) {
      run.trial.removeMember(name);
      continue;
    }
    // A closed account's record stays as it is until the account is gone
    // from the tables: an undelete finds it again.
    if (user.account_state != AccountState::kActive) continue;
    if (run.trial.member(name).uploadedMB() >= readNumber(run.configValue("TRIAL_UPLOAD")) &&
        !run.trial.isDue(name)) {
      run.trial.removeMember(name);
    }
  }
}

}  // namespace quarvel
