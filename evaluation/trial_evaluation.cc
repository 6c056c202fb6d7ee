#include "evaluation/trial_evaluation.h"

#include "config/numbers.h"
#include "config/text.h"
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
  std::string value = records.quota.readQuotaRecord(name);
  if (value.empty()) return;
  StoreRecord record = StoreRecord::parse(value);
  if (!QuotaStatus(record.second).readsAsSuspended()) return;
  records.quota.setStatus(name, record,
                          records.users.lookupUser(name).exempt_code == 0 ? QuotaStatus::kCounting
                                                                          : QuotaStatus::kExempt);
}

}  // namespace

void checkTrialPass(const Records& records, Output& out, const TrialPass& pass,
                    const std::string& raw_name) {
  std::string name = trimBlanks(raw_name);
  std::string value = records.trial.readTrialRecord(name);
  // Only a user on trial can pass it; one whose trial ran out (and waits for
  // the punishment) no longer can.
  if (value.empty() || records.trial.isDue(name)) return;
  if (StoreRecord::parse(value).uploadedMB() < pass.target_mb) return;
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
      trial.removeMember(name);
      continue;
    }
    // A closed account's record stays as it is until the account is gone
    // from the tables: an undelete finds it again.
    if (user.account_state != AccountState::kActive) continue;
    checkTrialPass(records, out, pass, name);
  }
}

}  // namespace quarvel
