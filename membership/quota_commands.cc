// SQ add / del / give: members of the running quota period added, removed
// and credited by hand. Works only once the period's enrolment has run.
#include "config/text.h"
#include "entry/handlers.h"
#include "evaluation/quota_evaluation.h"
#include "membership/subcommand.h"
#include "membership/usage.h"

namespace quarvel {
namespace {

// The period keys share the store with the members but are none: deleting
// or crediting one by hand would switch the running quota off.
std::string memberRecord(Run& run, const std::string& name) {
  return isPeriodKey(name) ? std::string() : run.quota.readQuotaRecord(name);
}

Next addQuotaUser(Run& run, const std::string& typed) {
  if (!run.quota.readQuotaRecord(typed).empty()) {
    run.printLine(" " + typed + " appears to be in quota, cant add user to quota.");
    return Next::kEndRun;
  }
  UserRecord user = run.users.lookupUser(typed);
  std::string name = trimBlanks(user.user_name);
  std::string group = trimBlanks(user.primary_group);
  if (!run.trial.readTrialRecord(typed).empty()) {
    run.printLine(" Cant add " + typed + " because (s)he is in trial!");
  } else if (!run.users.readable()) {
    run.users.reportUnreadable();
  } else if (!name.empty() && user.account_state != AccountState::kActive) {
    run.printLine(closedAccountRefusal(name, user.account_state, "quota"));
  } else if (!name.empty() && !group.empty() && user.exempt_code == 0) {
    // A hand-added member starts from nothing, however much of the period
    // has gone by.
    run.quota.putMember(name, StoreRecord{"0", QuotaStatus::kCounting, group});
    if (!run.stores.commit()) return Next::kEndRun;
    run.printLine(" " + name + " from " + group + " was added to quota.");
  } else if (name.empty()) {
    run.printLine(" User: " + typed + " doesnt exist on FTP User Database.");
  } else if (group.empty()) {
    run.printLine(" User: " + name + " doesnt have a group.");
  } else {
    run.printLine(" User: " + name + " is excluded from quota because [" +
                  trimBlanks(user.exempt_reason) + "]");
  }
  return Next::kContinue;
}

void deleteQuotaUser(Run& run, const std::string& typed) {
  if (memberRecord(run, typed).empty()) {
    run.printLine(" " + typed + " doesn't exists in quota.");
    return;
  }
  run.quota.removeMember(typed);
  if (!run.stores.commit()) return;
  run.printLine(" " + typed + " was deleted from quota.");
}

void giveQuotaUser(Run& run, const std::string& name, const std::string& amount) {
  std::string record = memberRecord(run, name);
  if (record.empty()) {
    run.printLine(" " + name + " doesn't exists in quota.");
    return;
  }
  run.quota.writeQuotaRecord(creditedEntry(name, record, amount));
  if (!run.stores.commit()) return;
  run.printLine(gaveLine(name, amount));
  // May pass the member, or take a pass back after a negative credit.
  checkQuotaPass(run, name);
}

}  // namespace

Next runQuotaCommand(Run& run) {
  if (toUpper(run.word(1)) != "SQ") return Next::kContinue;
  if (!run.quota.periodStarted()) {
    run.printLine(" ERROR: Quota hasnt been started.");
    return Next::kContinue;
  }
  Subcommand command = parseSubcommand(argumentText(run.command_line));
  // del keeps its answer for a missing name; the others say how to use them.
  if (command.kind != SubcommandKind::kDel && !isComplete(command)) {
    printUsage(run, SiteCommand::kQuota, command.kind);
    return Next::kContinue;
  }
  switch (command.kind) {
    case SubcommandKind::kAdd:
      return addQuotaUser(run, command.name);
    case SubcommandKind::kDel:
      deleteQuotaUser(run, command.name);
      break;
    case SubcommandKind::kGive:
      giveQuotaUser(run, command.name, command.amount);
      break;
    case SubcommandKind::kNone:
      break;
  }
  return Next::kContinue;
}

}  // namespace quarvel
