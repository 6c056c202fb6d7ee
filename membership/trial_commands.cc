// ST add / del / give: putting users on trial, taking them off, crediting
// them with megabytes uploaded elsewhere.
#include "config/numbers.h"
#include "config/text.h"
#include "entry/handlers.h"
#include "evaluation/trial_evaluation.h"
#include "membership/subcommand.h"
#include "membership/usage.h"
#include "server/contract.h"

namespace quarvel {
namespace {

void addTrialUser(Run& run, const std::string& typed) {
  if (run.trial.isOnTrial(typed)) {
    run.printLine(" " + typed + " already exists in trial.");
    return;
  }
  if (!run.users.readable()) {
    run.users.reportUnreadable();
    return;
  }
  UserRecord user = run.users.lookupUser(typed);
  std::string name = trimBlanks(user.user_name);
  std::string group = trimBlanks(user.primary_group);
  if (name.empty()) {
    run.printLine(" User: " + typed + " doesnt exist on FTP User Database.");
    return;
  }
  // The server refuses the login of a deleted or expired account.
  if (user.account_state != AccountState::kActive) {
    run.printLine(closedAccountRefusal(name, user.account_state, "trial"));
    return;
  }
  if (group.empty()) {
    run.printLine(" User: " + name + " doesnt have a group.");
    return;
  }
  // The quota is suspended while the user is on trial; a refused add leaves
  // the quota record as it was. The suspension goes to disk first: found
  // alone (the run stopped in between), it is given back by the next
  // checkup, whereas a trial beside a counting quota record could be
  // punished by the period's end.
  std::string quota = run.quota.readQuotaRecord(typed);
  if (!quota.empty()) run.quota.setStatus(typed, StoreRecord::parse(quota), QuotaStatus::kSuspended);
  // The record takes the database's spelling of the name.
  run.trial.putMember(name, StoreRecord{"0", integerForm(run.settings.trial_days), group});
  if (!run.stores.commit(Stores::Order::kQuotaFirst)) return;
  run.printLine(contract::announcement(contract::kUserAdded, name));
  run.printLine(" " + name + " from " + group + " was added to trial.");
}

void deleteTrialUser(Run& run, const std::string& typed) {
  if (!run.trial.isOnTrial(typed)) {
    run.printLine(" " + typed + " doesn't exists in trial.");
    return;
  }
  run.trial.removeMember(typed);
  if (!run.stores.commit()) return;
  run.printLine(contract::announcement(contract::kUserDeleted, typed));
  run.printLine(" " + typed + " was deleted from trial.");
  std::string quota = run.quota.readQuotaRecord(typed);
  if (quota.empty()) return;
  // Back to counting, or excluded when the user is exempt now; a user the
  // server no longer knows leaves the quota too. Committed later: a
  // suspended record without a trial is given back by the next checkup,
  // should this run stop before. Whether the user is still known cannot be
  // told while the user database cannot be read: the record waits.
  if (!run.users.readable()) {
    run.users.reportUnreadable();
    return;
  }
  UserRecord user = run.users.lookupUser(typed);
  if (user.user_name.empty()) {
    run.quota.removeMember(typed);
  } else {
    run.quota.setStatus(typed, StoreRecord::parse(quota),
                        user.exempt_code == 0 ? QuotaStatus::kCounting
                                                             : QuotaStatus::kExempt);
  }
}

void giveTrialUser(Run& run, const std::string& name, const std::string& amount) {
  std::string record = run.trial.readTrialRecord(name);
  if (record.empty()) {
    run.printLine(" " + name + " doesn't exists in trial.");
    return;
  }
  run.trial.writeTrialRecord(creditedEntry(name, record, amount));
  if (!run.stores.commit()) return;
  run.printLine(gaveLine(name, amount));
  checkTrialPass(run, name);
}

}  // namespace

Next runTrialCommand(Run& run) {
  if (toUpper(run.word(1)) != "ST") return Next::kContinue;
  Subcommand command = parseSubcommand(argumentText(run.command_line));
  // del keeps its answer for a missing name; the others say how to use them.
  if (command.kind != SubcommandKind::kDel && !isComplete(command)) {
    printUsage(run, SiteCommand::kTrial, command.kind);
    return Next::kContinue;
  }
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
