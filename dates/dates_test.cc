#include "dates/dates.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(Dates, DayNumbers) {
  EXPECT_EQ(dayNumber("01-01-1901"), 0);
  EXPECT_EQ(dayNumber("01-01-1902"), 365);
  EXPECT_EQ(dayNumber(""), -693866);
  EXPECT_EQ(dayNumber("01-01-2001"), 36525);
  EXPECT_EQ(dayNumber("03-01-2400"), 182316);  // 2100, 2200, 2300 are no leap years
  EXPECT_EQ(dayNumber("01-01-9999") - dayNumber("01-01-9998"), 365);
}

TEST(Dates, AYearWrittenWithAnExponentEndsAtOnce) {
  // A damaged store date such as 04-01-9e99 reads as a huge year: the count
  // must neither loop over it nor overflow.
  int far = dayNumber("04-01-9e99");
  EXPECT_GT(far, dayNumber("01-01-9999"));
  EXPECT_EQ(far, dayNumber("04-01-1e99"));
  EXPECT_LT(dayNumber("04-01-9e99") - dayNumber("04-01--9e9"), 800000000);
  EXPECT_GT(daysBetween("04-01-9e99", "03-20-2027"), 0);
}

TEST(Dates, DaysBetween) {
  struct Case {
    const char* first;
    const char* second;
    int days;
  } cases[] = {
      {"01-01-2005", "12-31-2004", 1},   {"01-01-2004", "12-31-2003", 1},
      {"03-01-2004", "02-28-2004", 2},   {"03-01-2003", "02-28-2003", 1},
      {"03-01-2000", "02-28-2000", 2},   {"03-01-2100", "02-28-2100", 1},
      {"12-15-2026", "12-15-2026", 0},   {"01-01-2027", "12-05-2026", 27},
      {"12-05-2026", "01-01-2027", -27},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(daysBetween(c.first, c.second), c.days) << c.first << " " << c.second;
  }
  EXPECT_LT(daysBetween("", "12-15-2026"), -700000);
}

TEST(Dates, FormatsTwoDigitMonthAndDay) {
  EXPECT_EQ(formatDate(LocalDate{2027, 1, 5}), "01-05-2027");
}

}  // namespace
}  // namespace quarvel

namespace quarvel {
namespace {

TEST(Dates, UtcTimestamps) {
  struct Case {
    std::int64_t seconds;
    const char* text;
  } cases[] = {
      {0, "1970-01-01 00:00:00 UTC"},
      {1797292800, "2026-12-15 00:00:00 UTC"},
      {1709164799, "2024-02-28 23:59:59 UTC"},
      {1709164800 + 86400 - 1, "2024-02-29 23:59:59 UTC"},  // leap day
      {4107542400, "2100-03-01 00:00:00 UTC"},              // 2100 is no leap year
      {-1, "1969-12-31 23:59:59 UTC"},
  };
  for (const Case& c : cases) EXPECT_EQ(utcTimestamp(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace quarvel
