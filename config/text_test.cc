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
      {"a\n\x1a" "b\n", {"a"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitTextLines(c.text), c.lines) << c.text;
}

}  // namespace
}  // namespace quarvel
