#include "dates/dates.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(Dates, DayNumbers) {
  EXPECT_EQ(dayNumber("01-01-1901"), 0);
  EXPECT_EQ(dayNumber("01-01-1902"), 365);
  EXPECT_EQ(dayNumber(""), -693866);
}

TEST(Dates, DaysBetween) {
  struct Case {
    const char* first;
    const char* second;
    int days;
  } cases[] = {
      {"01-01-2005", "12-31-2004", 1}, {"01-01-2004", "12-31-2003", 1},
      {"03-01-2004", "02-28-2004", 2}, {"03-01-2003", "02-28-2003", 1},
      {"03-01-2000", "02-28-2000", 2}, {"03-01-2100", "02-28-2100", 1},
      {"12-15-2026", "12-15-2026", 0}, {"01-01-2027", "12-05-2026", 27},
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
