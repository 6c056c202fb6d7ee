#include "userdb/server_user_list.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

using Names = std::vector<std::string>;

TEST(ServerUserListTest, BothRulesOnTheSameText) {
  struct Case {
    const char* label;
    const char* text;
    Names account_list;   // quota enrolment
    Names table_listing;  // connection test
  } cases[] = {
      {"CR LF lists each user once",
       "Marlow:1:STANDARD\r\nbrisk:2:STANDARD\r\n",
       {"Marlow", "brisk"},
       {"Marlow", "brisk"}},
      {"CR alone and LF alone", "a:1\rb:2\nc:3", {"a", "b", "c"}, {"a", "b", "c"}},
      {"names trimmed, case kept", "  Bob :1\r\n", {"Bob"}, {"Bob"}},
      {"line without a colon is a name", "ann\r\n", {"ann"}, {"ann"}},
      {"empty name skipped by both", ":7:x\r\n\r\n", {}, {}},
      // The connection test only skips an empty text before the colon, so a
      // name of blanks is listed (and looked up) as the empty name.
      {"blank name", "   :7:x\r\nann:2\r\n", {"ann"}, {"", "ann"}},
      {"empty text", "", {}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(serverUserListNames(c.text), c.account_list) << c.label;
    EXPECT_EQ(userTableListingNames(c.text), c.table_listing) << c.label;
  }
}

}  // namespace
}  // namespace quarvel
