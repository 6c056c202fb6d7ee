// ST add / del / give: the operator's SITE TRIAL command line, taken apart
// and handed to the trial membership.
#include "config/text.h"
#include "entry/handlers.h"
#include "membership/spared_warning.h"
#include "membership/subcommand.h"
#include "membership/trial_membership.h"
#include "membership/usage.h"

namespace quarvel {

Next runTrialCommand(Run& run) {
  if (toUpper(run.word(1)) != "ST") return Next::kContinue;
  Subcommand command = parseSubcommand(argumentText(run.command_line));
  // del keeps its answer for a missing name; the others say how to use them.
  if (command.kind != SubcommandKind::kDel && !isComplete(command)) {
    printUsage(run.out, SiteCommand::kTrial, command.kind);
    return Next::kContinue;
  }
  if (!run.stores.readable()) return Next::kContinue;
  switch (command.kind) {
    case SubcommandKind::kAdd: {
      // A trial's length comes from TRIAL_DAYS: none is started on a
      // value that is not valid.
      if (!run.settings.mayDecide(Decision::kTrialStart)) break;
      if (addTrialUser(run.records(), run.out, run.settings.trialDays(), command.name)) {
        warnOfSparedAccount(run.users, run.out, command.name, run.settings.adminUser(), "trial");
      }
      break;
    }
    case SubcommandKind::kDel:
      deleteTrialUser(run.records(), run.out, command.name);
      break;
    case SubcommandKind::kGive:
      giveTrialUser(run.records(), run.out, run.trialPass(), command.name, command.amount);
      break;
    case SubcommandKind::kNone:
      break;
  }
  return Next::kContinue;
}

}  // namespace quarvel
