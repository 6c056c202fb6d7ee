#include "membership/subcommand.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(SubcommandTest, RecognisesTheSubcommandAtTheStartOfTheArgumentText) {
  struct Row {
    const char* text;
    SubcommandKind kind;
    const char* name;
    const char* amount;
  };
  const Row rows[] = {
      {"add bob", SubcommandKind::kAdd, "bob", ""},
      {"ADD  Bob  ", SubcommandKind::kAdd, "Bob", ""},
      {"addbob", SubcommandKind::kAdd, "bob", ""},
      {"del bob", SubcommandKind::kDel, "bob", ""},
      {"Delete bob", SubcommandKind::kDel, "ete bob", ""},
      {"give bob 25.5", SubcommandKind::kGive, "bob", "25.5"},
      {"GIVE bob -3", SubcommandKind::kGive, "bob", "-3"},
      {"give  bob 7 extra", SubcommandKind::kGive, "bob", "7"},
      {"give bob", SubcommandKind::kGive, "bob", ""},
      {"give bob  5", SubcommandKind::kGive, "bob", ""},  // single blanks only
      {"give", SubcommandKind::kGive, "", ""},
      {"list", SubcommandKind::kNone, "", ""},
      {" add bob", SubcommandKind::kNone, "", ""},
      {"ad", SubcommandKind::kNone, "", ""},
      {"", SubcommandKind::kNone, "", ""},
  };
  for (const Row& row : rows) {
    Subcommand command = parseSubcommand(row.text);
    EXPECT_EQ(command.kind, row.kind) << row.text;
    EXPECT_EQ(command.name, row.name) << row.text;
    EXPECT_EQ(command.amount, row.amount) << row.text;
  }
}

TEST(SubcommandTest, ArgumentTextDropsTheCommandWordAndItsBlank) {
  EXPECT_EQ(argumentText("ST add bob"), "add bob");
  EXPECT_EQ(argumentText("ST"), "");
  EXPECT_EQ(argumentText("ST "), "");
}

}  // namespace
}  // namespace quarvel
