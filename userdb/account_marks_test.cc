#include "userdb/account_marks.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(AccountMarksTest, ReadsTheLastMarkOfEachKeyword) {
  struct Case {
    const char* label;
    const char* text;
    long long deleted_on;
    long long expires_at;
  } cases[] = {
      {"as the server writes them",
       "flags 3\r\nExpiresAt 0\r\nDeletedMsg gone\r\nDeletedBy 1\r\n"
       "DeletedOn 1751328000\r\ncredits 0\r\n",
       1751328000, 0},
      {"keywords in any case, blanks around the line",
       "  deletedon 5  \r\nEXPIRESAT 1751414399\r\n", 5, 1751414399},
      {"the last line counts", "DeletedOn 7\r\nDeletedOn 0\r\n", 0, 0},
      {"no marks at all (older user files)", "flags 3\r\ngroups 1\r\n", 0, 0},
      {"a bare keyword or a value that is no number", "DeletedOn\r\nExpiresAt soon\r\n", 0, 0},
      {"DeletedMsg and DeletedBy are not the mark", "DeletedMsg 99\r\nDeletedBy 4\r\n", 0, 0},
      {"a doubled blank leaves the value empty", "DeletedOn  9\r\n", 0, 0},
  };
  for (const Case& c : cases) {
    AccountMarks marks = parseAccountMarks(c.text);
    EXPECT_EQ(marks.deleted_on, c.deleted_on) << c.label;
    EXPECT_EQ(marks.expires_at, c.expires_at) << c.label;
  }
}

TEST(AccountMarksTest, StateOnADay) {
  const long long kJuly1Start = 1751328000;  // 07-01-2025 00:00:00 UTC
  const long long kJuly1End = 1751414399;    // 07-01-2025 23:59:59 UTC
  struct Case {
    const char* label;
    AccountMarks marks;
    LocalDate today;
    AccountState state;
  } cases[] = {
      {"no marks", {0, 0}, {2025, 7, 2}, AccountState::kActive},
      {"deleted", {kJuly1Start, 0}, {2025, 7, 2}, AccountState::kDeleted},
      {"deleted wins over expired", {1, kJuly1Start}, {2025, 8, 1}, AccountState::kDeleted},
      {"on its expiry day it may still log in",
       {0, kJuly1End},
       {2025, 7, 1},
       AccountState::kActive},
      {"expired from the next day", {0, kJuly1Start}, {2025, 7, 2}, AccountState::kExpired},
      {"expiry in the future", {0, kJuly1Start}, {2025, 6, 30}, AccountState::kActive},
      {"a negative expiry is none", {0, -5}, {2025, 7, 2}, AccountState::kActive},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(accountStateOn(c.marks, c.today), c.state) << c.label;
  }
}

}  // namespace
}  // namespace quarvel
