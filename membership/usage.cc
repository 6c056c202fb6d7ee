#include "membership/usage.h"

#include "config/numbers.h"

namespace quarvel {

bool isComplete(const Subcommand& command) {
  if (command.kind == SubcommandKind::kNone || command.name.empty()) return false;
  return command.kind != SubcommandKind::kGive || leadingNumberLength(command.amount) > 0;
}

void printUsage(Output& out, SiteCommand site, SubcommandKind kind) {
  const bool trial = site == SiteCommand::kTrial;
  const std::string name = trial ? " SITE TRIAL" : " SITE QUOTA";
  if (kind == SubcommandKind::kNone || kind == SubcommandKind::kAdd) {
    out.printLine(name + " add <user>: " +
                  (trial ? "puts the user on trial" : "adds the user to the running quota period"));
  }
  if (kind == SubcommandKind::kNone || kind == SubcommandKind::kDel) {
    out.printLine(name + " del <user>: " +
                  (trial ? "takes the user off trial" : "takes the user out of the quota period"));
  }
  if (kind == SubcommandKind::kNone || kind == SubcommandKind::kGive) {
    out.printLine(name +
                  " give <user> <megabytes>: credits an upload made elsewhere "
                  "(a negative amount takes it back)");
  }
}

}  // namespace quarvel
