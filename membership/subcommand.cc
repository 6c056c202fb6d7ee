#include "membership/subcommand.h"

#include <cmath>
#include <cstdlib>

#include "config/numbers.h"
#include "config/text.h"
#include "stores/store_record.h"

namespace quarvel {

std::string argumentText(const std::string& command_line) {
  return command_line.size() > 3 ? command_line.substr(3) : std::string();
}

Subcommand parseSubcommand(const std::string& argument_text) {
  Subcommand command;
  std::string start = toLower(argument_text.substr(0, 4));
  if (start.compare(0, 3, "add") == 0 || start.compare(0, 3, "del") == 0) {
    command.kind = start[0] == 'a' ? SubcommandKind::kAdd : SubcommandKind::kDel;
    command.name = trimBlanks(argument_text.substr(3));
  } else if (start == "give") {
    command.kind = SubcommandKind::kGive;
    std::string operand = trimBlanks(argument_text.substr(4));
    command.name = field(operand, " ", 1);
    command.amount = field(operand, " ", 2);
  }
  return command;
}

// The amount given, read as a number. One beyond what a number can hold
// (1e309, four hundred digits) counts as the largest amount a store holds,
// of its sign, as a sum that large does: read as 0 it would be reported as
// given and change nothing.
double givenMB(const std::string& amount) {
  std::size_t length = leadingNumberLength(amount);
  if (length == 0) return 0;
  double value = std::strtod(amount.substr(0, length).c_str(), nullptr);
  if (std::isinf(value)) return value > 0 ? kMaxAmountMB : -kMaxAmountMB;
  return readNumber(amount);
}

std::string gaveLine(const std::string& name, const std::string& amount) {
  return " gave " + name + " " + amount + "mB";
}

std::string closedAccountRefusal(const std::string& name, AccountState state,
                                 const std::string& what) {
  return " User: " + name + " is " + accountStateWord(state) +
         " on the FTP server, cant add user to " + what + ".";
}

}  // namespace quarvel
