// ST add / del / give: putting users on trial, taking them off, crediting
// them with megabytes uploaded elsewhere.
#include "config/numbers.h"
#include "config/text.h"
#include "entry/event_records.h"
#include "entry/handlers.h"
#include "evaluation/trial_evaluation.h"
#include "membership/subcommand.h"
#include "server/contract.h"

namespace quarvel {
namespace {

// Rewrites the user's quota record, if any, with a new status; uploaded and
// group are kept.
void setQuotaStatus(Run& run, const std::string& name, const std::string& record,
                    const std::string& status) {
  run.quota.writeQuotaRecord(
      recordEntry(name, field(record, "::", 1), status, field(record, "::", 3)));
}

void addTrialUser(Run& run, const std::string& typed) {
  if (!run.trial.readTrialRecord(typed).empty()) {
    run.printLine(" " + typed + " already exists in trial.");
    return;
  }
  if (!run.users.readable()) {
    run.users.reportUnreadable();
    return;
  }
  run.users.lookupUser(typed);
  std::string name = trimBlanks(run.users.current().user_name);
  std::string group = trimBlanks(run.users.current().primary_group);
  if (name.empty()) {
    run.printLine(" User: " + typed + " doesnt exist on FTP User Database.");
    return;
  }
  // The server refuses the login of a deleted or expired account.
  if (run.users.current().account_state != AccountState::kActive) {
    run.printLine(closedAccountRefusal(name, run.users.current().account_state, "trial"));
    return;
  }
  if (group.empty()) {
    run.printLine(" User: " + name + " doesnt have a group.");
    return;
  }
  // The record takes the database's spelling of the name.
  run.trial.writeTrialRecord(recordEntry(name, "0", integerForm(run.settings.trial_days), group));
  run.printLine(contract::announcement(contract::kUserAdded, name));
  run.printLine(" " + name + " from " + group + " was added to trial.");
  // The quota is suspended while the user is on trial; a refused add leaves
  // the quota record as it was.
  std::string quota = run.quota.readQuotaRecord(typed);
  if (!quota.empty()) setQuotaStatus(run, typed, quota, "2");
}

void deleteTrialUser(Run& run, const std::string& typed) {
  if (run.trial.readTrialRecord(typed).empty()) {
    run.printLine(" " + typed + " doesn't exists in trial.");
    return;
  }
  run.printLine(contract::announcement(contract::kUserDeleted, typed));
  run.trial.writeTrialRecord(typed + "=");
  run.printLine(" " + typed + " was deleted from trial.");
  std::string quota = run.quota.readQuotaRecord(typed);
  if (quota.empty()) return;
  // Back to counting, or excluded when the user is exempt now; a user the
  // server no longer knows leaves the quota too. Whether he does is unknown
  // while the user database cannot be read: the record waits.
  if (!run.users.readable()) {
    run.users.reportUnreadable();
    return;
  }
  run.users.lookupUser(typed);
  if (run.users.current().user_name.empty()) {
    run.quota.writeQuotaRecord(typed + "=");
  } else {
    setQuotaStatus(run, typed, quota, run.users.current().exempt_code == 0 ? "0" : "3");
  }
}

void giveTrialUser(Run& run, const std::string& name, const std::string& amount) {
  std::string record = run.trial.readTrialRecord(name);
  if (record.empty()) {
    run.printLine(" " + name + " doesn't exists in trial.");
    return;
  }
  run.trial.writeTrialRecord(creditedEntry(name, record, amount));
  run.printLine(gaveLine(name, amount));
  checkTrialPass(run, name);
}

}  // namespace

Next runTrialCommand(Run& run) {
  if (toUpper(run.word(1)) != "ST") return Next::kContinue;
  Subcommand command = parseSubcommand(argumentText(run.command_line));
  switch (command.kind) {
    case SubcommandKind::kAdd:
      addTrialUser(run, command.name);
      break;
    case SubcommandKind::kDel:
      deleteTrialUser(run, command.name);
      break;
    case SubcommandKind::kGive:
      giveTrialUser(run, command.name, command.amount);
      break;
    case SubcommandKind::kNone:
      break;
  }
  return Next::kContinue;
}

}  // namespace quarvel
