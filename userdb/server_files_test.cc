#include "userdb/server_files.h"

#include <gtest/gtest.h>

#include <random>

namespace quarvel {
namespace {

TEST(ServerFilesTest, EveryCrAndEveryLfEndsALine) {
  EXPECT_EQ(splitAtLineEnds("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "", "b", "c", "d"}));
  EXPECT_EQ(splitServerLines("  a b  \r\n c"), (std::vector<std::string>{"a b", "", "c"}));
}

TEST(ServerFilesTest, IdTableKeepsNameAndIdAsWrittenAndDropsNamelessLines) {
  std::vector<IdTableEntry> table =
      parseIdTable("BoB:7:STANDARD\r\n:9:STANDARD\r\n  ann  \r\nx:y\r\n");
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].name, "BoB");
  EXPECT_EQ(table[0].id, "7");
  EXPECT_EQ(table[1].name, "ann");  // the line is trimmed, the id is missing
  EXPECT_EQ(table[1].id, "");
  EXPECT_EQ(table[2].id, "y");
}

TEST(ServerFilesTest, FindUserIgnoresCaseAndTakesTheFirstMatch) {
  std::vector<IdTableEntry> table = parseIdTable("bob:7:x\r\nBOB:8:x\r\nann:9:x\r\n");
  struct Case {
    const char* name;
    const char* expected_name;  // null: not found
    const char* expected_id;
  } cases[] = {
      {"BoB", "bob", "7"}, {"bob", "bob", "7"},   {"ANN", "ann", "9"},
      {"bo", nullptr, ""}, {"bob ", nullptr, ""}, {"", nullptr, ""},
  };
  for (const Case& c : cases) {
    const IdTableEntry* entry = findUserEntry(table, c.name);
    if (c.expected_name == nullptr) {
      EXPECT_EQ(entry, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(entry, nullptr) << c.name;
    EXPECT_EQ(entry->name, c.expected_name) << c.name;
    EXPECT_EQ(entry->id, c.expected_id) << c.name;
  }
}

// A lookup of one name searches the table's text; it must find what the
// parsed table gives, on tables with every line end, blanks around names and
// ids, names in any case and repeated, lines without a name or an id.
TEST(ServerFilesTest, SearchingTheTextFindsWhatTheParsedTableGives) {
  const std::vector<std::string> names = {"bob",  "BOB", "bo",  "bobby", "b b", "bob ",
                                          " bob", "",    "ann", "a:b",   "x"};
  const std::vector<std::string> rests = {":7:STANDARD", ":8", "", ":", "  :9:x", "::"};
  const std::vector<std::string> ends = {"\r\n", "\r", "\n", "", "  \r\n"};
  std::mt19937 random(1210);
  auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    const int lines = static_cast<int>(random() % 6);
    for (int i = 0; i < lines; ++i) {
      text += (random() % 4 == 0 ? "  " : "") + pick(names) + pick(rests) + pick(ends);
    }
    const std::vector<IdTableEntry> table = parseIdTable(text);
    EXPECT_EQ(idTableListsAnyone(text), !table.empty()) << text;
    for (const std::string& name : names) {
      const IdTableEntry* expected = findUserEntry(table, name);
      IdTableEntry found;
      ASSERT_EQ(findIdTableEntry(text, name, &found), expected != nullptr)
          << "[" << name << "] in [" << text << "]";
      if (expected == nullptr) continue;
      EXPECT_EQ(found.name, expected->name) << text;
      EXPECT_EQ(found.id, expected->id) << text;
    }
  }
}

TEST(ServerFilesTest, UserFileFlagsAndGroups) {
  struct Case {
    const char* label;
    const char* text;
    const char* flags;
    std::vector<std::vector<std::string>> group_lines;
  } cases[] = {
      {"plain", "groups 3 1\r\nflags 3M\r\n", "3M", {{"3", "1"}}},
      {"keyword in capitals", "FLAGS 3M\r\nGroups 2\r\n", "3M", {{"2"}}},
      {"last flags line wins", "flags 1\r\nflags 36\r\n", "36", {}},
      {"no flags line", "tagline hello\r\ngroups 4\r\n", "", {{"4"}}},
      {"bare groups keyword", "groups\r\nadmingroups\r\n", "", {{}}},
      {"every groups line adds", "groups 3\ngroups 4 1\r", "", {{"3"}, {"4", "1"}}},
      {"lines trimmed, flags case kept", "   flags aBc  \r\n", "aBc", {}},
      {"similar keywords ignored", "flagsx 1\r\nadmingroups 2\r\n", "", {}},
      {"doubled blank gives an empty word", "flags  3\r\ngroups  3\r\n", "", {{"", "3"}}},
  };
  for (const Case& c : cases) {
    UserFileFacts facts = parseUserFile(c.text);
    EXPECT_EQ(facts.flags, c.flags) << c.label;
    EXPECT_EQ(facts.group_lines, c.group_lines) << c.label;
  }
}

TEST(ServerFilesTest, GroupListFromIds) {
  const std::vector<IdTableEntry> table = parseIdTable(
      "staff:1:STANDARD\r\nfriends:3:STANDARD\r\nStaffToo:1:STANDARD\r\n"
      "Upper:A:STANDARD\r\nnoid\r\n");
  struct Case {
    const char* label;
    std::vector<std::vector<std::string>> group_lines;
    const char* expected;
  } cases[] = {
      {"several ids keep their order, first match each", {{"3", "1"}}, "friends::staff"},
      {"one id takes every matching line", {{"1"}}, "staff::StaffToo"},
      {"unknown id adds nothing", {{"9"}}, ""},
      {"unknown id among others", {{"9", "3"}}, "friends"},
      {"ids compare without case", {{"a"}}, "Upper"},
      {"groups lines add up", {{"3"}, {"9", "1"}}, "friends::staff"},
      {"bare keyword adds nothing", {{}}, ""},
      {"empty id adds nothing", {{"3", "", "1"}}, "friends::staff"},
      {"no groups line", {}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(groupListFor(table, c.group_lines), c.expected) << c.label;
  }
  EXPECT_EQ(groupListFor({}, {{"1", "3"}}), "") << "empty group table";
}

}  // namespace
}  // namespace quarvel
