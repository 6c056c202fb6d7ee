#include "entry/help_command.h"

#include "config/output.h"
#include "config/text.h"
#include "entry/run.h"
#include "entry/shown_path.h"
#include "entry/version.h"
#include "server/contract.h"

namespace quarvel {
namespace {

const char* const kCommands[] = {
    "Commands for the operator:",
    "  check        checks quarvel.conf and all it points to; changes nothing",
    "  test         logs in as the admin and lists every account with its exemption",
    "  qstart       replaces Velkrin.dat: the quota starts next month",
    "  qnow         replaces Velkrin.dat: a quota period starts now",
    "  qstart force, qnow force   the same over a running period with members,",
    "               which is erased (both keep the old store as Velkrin.dat.bak)",
    "  preview [MM-DD-YYYY]  what newday would do on that date; changes nothing",
    "  log <user>   the user's entries in the audit log, oldest first",
    "  help         this text (also --help, -h and /?)",
    "  --version    the version",
    "Started by ioFTPD:",
    "  UD \"file\"    an upload finished",
    "  PREDL, POSDL before and after a deletion",
    "  RENAME RNFR|RNTO name  after a rename: the credits follow the file",
    "  ST add|del|give ...   SITE TRIAL: users on trial",
    "  SQ add|del|give ...   SITE QUOTA: members of the quota period",
    "  stats        the caller's standing, after a transfer",
    "  PASSED [user]  SITE PASSED: the caller's standing (another user's: staff)",
    "Started by the scheduler:",
    "  checkup      the daily evaluation",
    "  newday       counts trial days down and changes the quota period",
    "Started by the IRC bot and the nuke scripts:",
    "  IRC PASSED [user], IRC info trial [all], IRC info quota total|exempt|passed",
    "  NUKE user KB [release folder], UNNUKE user KB [release folder]",
};

std::string filesIn(const std::string& folder) {
  return shownPath(folder + contract::kConfigFile) + ", " +
         shownPath(folder + contract::kTrialStoreFile) + ", " +
         shownPath(folder + contract::kQuotaStoreFile) + ", " +
         shownPath(folder + contract::kCreditLedgerFolder) + ", " +
         shownPath(folder + contract::kAuditLogFile);
}

}  // namespace

bool isHelpCommand(const std::string& command_line) {
  std::string line = toLower(command_line);
  return line == "help" || line == "--help" || line == "-h" || line == "/?";
}

bool isVersionCommand(const std::string& command_line) {
  return toLower(command_line) == "--version";
}

void printHelp(Platform& platform) {
  Output out(platform);
  out.printLine(std::string("quarvel ") + kVersion +
                ": upload obligations for trial and quota users of ioFTPD");
  out.printLine("Usage: quarvel <command>");
  for (const char* line : kCommands) out.printLine(line);
  out.printLine("Files: the configuration quarvel.conf, the trial store Quarvel.dat, the quota");
  out.printLine("store Velkrin.dat, the credit ledger Credits and the audit log Quarvel.log,");
  out.printLine("in the working folder; for IRC, NUKE and UNNUKE in the program's own folder.");
  out.printLine("From here that is:");
  out.printLine("  " + filesIn(dataFolderFor(platform, "")));
  out.printLine("  IRC, NUKE, UNNUKE: " + filesIn(dataFolderFor(platform, "IRC")));
}

void printVersion(Platform& platform) {
  Output(platform).printLine(std::string("quarvel ") + kVersion);
}

}  // namespace quarvel
