#include "config/text.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

using Lines = std::vector<std::string>;

TEST(Text, ReplaceAllScansOnBehindEachReplacement) {
  EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(replaceAll("$USERS", "$USER", "bob"), "bobS");
  EXPECT_EQ(replaceAll("x$user", "$USER", "bob"), "x$user");
  EXPECT_EQ(replaceAll("ab", "", "z"), "ab");
  EXPECT_EQ(replaceAll("aa", "a", "aa"), "aaaa");
}

TEST(Text, SplitAndFields) {
  EXPECT_EQ(splitAt("a::b::", "::"), (Lines{"a", "b", ""}));
  EXPECT_EQ(splitAt("", "|"), (Lines{""}));
  EXPECT_EQ(field("10::3::G", "::", 2), "3");
  EXPECT_EQ(field("10", "::", 3), "");
  EXPECT_EQ(trimBlanks("  a b\t "), "a b\t");
}

TEST(Text, EveryLineEndEndsALine) {
  struct Case {
    const char* text;
    Lines lines;
  } cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\n\x1a"
       "b\n",
       {"a"}},
      {"", {}},
      {"\n", {""}},
      {"a\r", {"a"}},
      {"a\n\rb\r\r\n", {"a", "", "b", ""}},
      {"a\r\x1a\nb", {"a"}},
      {"a\x1a", {"a"}},
      {"\x1a"
       "a\r\n",
       {}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitTextLines(c.text), c.lines) << c.text;
  EXPECT_EQ(splitTextLines("a\x1a\r\nb", false), (Lines{"a\x1a", "b"}));
}

TEST(Text, FieldsFoundInPlace) {
  EXPECT_EQ(field("a::b", "::", 1), "a");
  EXPECT_EQ(field("a::", "::", 2), "");
  EXPECT_EQ(field("::b", "::", 2), "b");
  EXPECT_EQ(field("a=b=c", "=", 3), "c");
  EXPECT_EQ(field("a=b", "=", 0), "");
  EXPECT_EQ(field("a::b", "", 1), "a::b");
  EXPECT_EQ(field("a::b", "", 2), "");
}

// Case is folded for A-Z only (the program runs in the C locale), and the
// hash of texts equal without regard to case is the same, whatever their
// length and wherever the letters stand in the eight-byte words it reads.
TEST(Text, CaseFoldsAToZOnly) {
  EXPECT_EQ(toLower("@AZ[`az{\xC9"), "@az[`az{\xC9");
  EXPECT_EQ(toUpper("@AZ[`az{\xE9"), "@AZ[`AZ{\xE9");
  struct Case {
    std::string a;
    std::string b;
    bool equal;
  } cases[] = {
      {"", "", true},
      {"Bob", "bOB", true},
      {"Quilen57_PREDEL_SIZE_rel00999.rar", "QUILEN57_predel_size_REL00999.RAR", true},
      {"abcdefgh", "ABCDEFGH", true},
      {"abcdefghi", "ABCDEFGHI", true},
      {"@", "`", false},
      {"[", "{", false},
      {"x@[y", "x`{y", false},
      {"\xC9", "\xE9", false},
      {"bob", "bob ", false},
      {"bob", std::string("bob\0", 4), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(equalsIgnoringCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(hashIgnoringCase(c.a) == hashIgnoringCase(c.b), c.equal) << c.a << " / " << c.b;
  }
}

}  // namespace
}  // namespace quarvel
