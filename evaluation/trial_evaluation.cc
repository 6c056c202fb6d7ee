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
  std::string record = run.quota.readQuotaRecord(name);
  if (record.empty() || readNumber(field(record, "::", 2)) != 2) return;
  run.users.lookupUser(name);
  std::string status = run.users.current().exempt_code == 0 ? "0" : "3";
  run.quota.writeQuotaRecord(name + "=" + field(record, "::", 1) + "::" + status +
                             "::" + field(record, "::", 3));
}

}  // namespace

void checkTrialPass(Run& run, const std::string& raw_name) {
  std::string name = trimBlanks(raw_name);
  std::string record = run.trial.readTrialRecord(name);
  // Only a user on trial can pass it; one whose trial ran out (and waits for
  // the punishment) no longer can.
  if (record.empty() || run.trial.isDue(name)) return;
  if (readNumber(field(record, "::", 1)) < static_cast<double>(run.settings.trial_upload)) return;
  if (!run.settings.trial_onpass.empty()) sendPassCommand(run, name);
  run.trial.writeTrialRecord(name + "=");
  run.printLine(contract::announcement(contract::kPassedTrial, name));
  releaseQuotaRecord(run, name);
}

void evaluateTrialsDaily(Run& run) {
  for (const std::string& listed : run.trial.listTrialUsers()) {
    std::string name = trimBlanks(listed);
    if (name.empty()) continue;
    run.users.lookupUser(name);
    if (run.users.current().user_name.empty()) {
      run.trial.writeTrialRecord(name + "=");
      continue;
    }
    double uploaded = readNumber(field(run.trial.readTrialRecord(name), "::", 1));
    if (uploaded >= readNumber(run.configValue("TRIAL_UPLOAD")) && !run.trial.isDue(name)) {
      run.trial.writeTrialRecord(name + "=");
    }
  }
}

}  // namespace quarvel
