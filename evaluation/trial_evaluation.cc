#include "evaluation/trial_evaluation.h"

#include "config/numbers.h"
#include "config/text.h"
#include "entry/admin_connection.h"
#include "evaluation/punishment.h"
#include "server/contract.h"

namespace quarvel {
namespace {

// Sends TRIAL_ONPASS for the user on a login of its own, then ends it. The
// handle holds the login meanwhile, so the exit sequence would close it.
void sendPassCommand(Run& run, const std::string& name) {
  int previous = run.admin_connection;
  run.admin_connection = openAdminConnection(run);
  if (run.admin_connection != 0) {
    sendSiteCommand(run, run.admin_connection,
                    replaceAll(run.settings.trial_onpass, "$USER", name));
    run.ftp.ftpQuit(run.admin_connection);
  }
  run.admin_connection = previous;
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
  // Only a user on trial can pass it.
  if (record.empty()) return;
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
    // A closed account's record stays as it is until the account is gone
    // from the tables: an undelete finds it again.
    if (run.users.current().account_state != AccountState::kActive) continue;
    double uploaded = readNumber(field(run.trial.readTrialRecord(name), "::", 1));
    if (uploaded >= readNumber(run.configValue("TRIAL_UPLOAD"))) {
      run.trial.writeTrialRecord(name + "=");
    }
  }
}

}  // namespace quarvel
