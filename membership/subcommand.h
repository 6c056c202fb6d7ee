// The add, del and give subcommands shared by the ST and SQ commands.
#pragma once

#include <string>

#include "userdb/account_marks.h"

namespace quarvel {

enum class SubcommandKind { kNone, kAdd, kDel, kGive };

struct Subcommand {
  SubcommandKind kind = SubcommandKind::kNone;
  std::string name;    // trimmed operand (add, del) or its first field (give)
  std::string amount;  // give only: the second field, exactly as typed
};

// Recognises the subcommand at the start of the argument text (the command
// line without its first three characters), without regard to case and
// without needing a blank after it: "addbob" adds bob. The give operand is
// split at single blanks, so "bob  5" leaves the amount empty.
Subcommand parseSubcommand(const std::string& argument_text);

// The argument text of a command line: all but its first three characters.
std::string argumentText(const std::string& command_line);

// The megabytes a give credits: the amount as typed, read as a number
// (non-numeric text counts as 0).
double givenMB(const std::string& amount);

// " gave <name> <amount>mB", the amount exactly as typed.
std::string gaveLine(const std::string& name, const std::string& amount);

// " User: <name> is deleted on the FTP server, cant add user to <what>."
// (or "is expired"): the answer to adding an account the server closed.
std::string closedAccountRefusal(const std::string& name, AccountState state,
                                 const std::string& what);

}  // namespace quarvel
