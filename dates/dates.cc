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

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

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
    if (m == 2 && isLeapYear(static_cast<int>(year))) days += 1;
  }
  days += day - 1;
  return static_cast<int>(days);
}

int daysBetween(const std::string& first, const std::string& second) {
  return dayNumber(first) - dayNumber(second);
}

std::string dateAfterDays(const std::string& date, int days) {
  LocalDate parsed;
  if (!parseDate(date, &parsed)) return date;
  long long left = static_cast<long long>(dayNumber(date)) + days;
  if (left < 0) return date;
  LocalDate result{1901, 1, 1};
  while (left >= (isLeapYear(result.year) ? 366 : 365)) {
    left -= isLeapYear(result.year) ? 366 : 365;
    ++result.year;
  }
  for (;;) {
    int length = kMonthDays[result.month - 1] + (result.month == 2 && isLeapYear(result.year));
    if (left < length) break;
    left -= length;
    ++result.month;
  }
  result.day = static_cast<int>(left) + 1;
  return formatDate(result);
}

std::string formatDate(const LocalDate& date) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", date.month, date.day, date.year);
  return buffer;
}

bool hasDateForm(const std::string& text) {
  if (text.size() != 10 || text[2] != '-' || text[5] != '-') return false;
  for (std::size_t i : {0, 1, 3, 4, 6, 7, 8, 9}) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

bool parseDate(const std::string& text, LocalDate* date) {
  if (!hasDateForm(text)) return false;
  date->month = std::stoi(text.substr(0, 2));
  date->day = std::stoi(text.substr(3, 2));
  date->year = std::stoi(text.substr(6, 4));
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (date->month < 1 || date->month > 12 || date->day < 1) return false;
  int days = kDays[date->month - 1] + (date->month == 2 && isLeapYear(date->year) ? 1 : 0);
  return date->day <= days;
}

int daysToCount(const std::string& last_counted, const std::string& today) {
  if (last_counted.empty()) return 1;
  int days = daysBetween(today, last_counted);
  if (days < 0) return 1;
  return days;
}

std::string utcTimestamp(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from a day count (eras of 400 years, years starting in March).
  std::int64_t z = days + 719468;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t day_of_era = z - era * 146097;
  std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  std::int64_t mp = (5 * day_of_year + 2) / 153;
  std::int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
  std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return buffer;
}

}  // namespace quarvel
