#include "dates/dates.h"

#include <cstdio>

#include "config/numbers.h"

namespace quarvel {
namespace {

const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Years beyond this are no calendar date; a stored year such as "9e99" is
// held here so that the day count stays finite and fits its 32-bit result.
const long long kYearLimit = 1000000;

// Leap years among the years 1 to `year`.
long long leapYearsThrough(long long year) { return year / 4 - year / 100 + year / 400; }

// The number in `length` characters from `start`; missing characters read
// as nothing, so an empty date is month 0, day 0, year 0.
long long part(const std::string& date, std::size_t start, std::size_t length) {
  if (start >= date.size()) return 0;
  return roundHalfEven(readNumber(date.substr(start, length)));
}

}  // namespace

int isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 1 : 0;
}

int dayNumber(const std::string& date) {
  long long month = part(date, 0, 2);
  long long day = part(date, 3, 2);
  long long year = part(date, 6, 4);
  if (year > kYearLimit) year = kYearLimit;
  if (year < -kYearLimit) year = -kYearLimit;
  long long days = 365 * (year - 1901);
  if (year > 1901) days += leapYearsThrough(year - 1) - leapYearsThrough(1900);
  for (long long m = 1; m <= month - 1 && m <= 12; ++m) {
    days += kMonthDays[m - 1];
    if (m == 2) days += isLeapYear(static_cast<int>(year));
  }
  days += day - 1;
  return static_cast<int>(days);
}

int daysBetween(const std::string& first, const std::string& second) {
  return dayNumber(first) - dayNumber(second);
}

std::string formatDate(const LocalDate& date) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", date.month, date.day, date.year);
  return buffer;
}

}  // namespace quarvel
