// The usage lines of SITE TRIAL and SITE QUOTA (command lines ST and SQ),
// printed for a command line they cannot act on: no subcommand, "help", an
// unknown word, add without a name, give without a name or a number.
#pragma once

#include <string>

#include "config/output.h"
#include "membership/subcommand.h"

namespace quarvel {

// The site command's name as the operator types it: "SITE TRIAL".
enum class SiteCommand { kTrial, kQuota };

// True when the subcommand has what it needs: a name, and for give an
// amount that begins with a number.
bool isComplete(const Subcommand& command);

// The usage line of the subcommand; all three for kNone.
void printUsage(Output& out, SiteCommand site, SubcommandKind kind);

}  // namespace quarvel
