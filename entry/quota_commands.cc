// SQ add / del / give: the operator's SITE QUOTA command line, taken apart
// and handed to the quota membership. Works only once the period's
// enrolment has run.
#include "config/text.h"
#include "entry/handlers.h"
#include "membership/quota_membership.h"
#include "membership/spared_warning.h"
#include "membership/subcommand.h"
#include "membership/usage.h"

namespace quarvel {

Next runQuotaCommand(Run& run) {
  if (toUpper(run.word(1)) != "SQ") return Next::kContinue;
  if (!run.stores.readable()) return Next::kContinue;
  if (!run.quota.periodStarted()) {
    run.printLine(" ERROR: Quota hasnt been started.");
    return Next::kContinue;
  }
  Subcommand command = parseSubcommand(argumentText(run.command_line));
  // del keeps its answer for a missing name; the others say how to use them.
  if (command.kind != SubcommandKind::kDel && !isComplete(command)) {
    printUsage(run.out, SiteCommand::kQuota, command.kind);
    return Next::kContinue;
  }
  switch (command.kind) {
    case SubcommandKind::kAdd: {
      bool was_member = run.quota.member(command.name).has_value();
      if (!addQuotaUser(run.records(), run.out, command.name)) return Next::kEndRun;
      if (!was_member && run.quota.member(command.name)) {
        warnOfSparedAccount(run.users, run.out, command.name, run.settings.adminUser(), "quota");
      }
      return Next::kContinue;
    }
    case SubcommandKind::kDel:
      deleteQuotaUser(run.quota, run.stores, run.out, command.name);
      break;
    case SubcommandKind::kGive:
      giveQuotaUser(run.quota, run.stores, run.settings, run.out, command.name, command.amount);
      break;
    case SubcommandKind::kNone:
      break;
  }
  return Next::kContinue;
}

}  // namespace quarvel
