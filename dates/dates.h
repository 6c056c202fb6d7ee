// Day numbers and day differences of dates written MM-DD-YYYY.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace quarvel {

bool isLeapYear(int year);

// Days from 01-01-1901 to the date (month, day and year read from their
// characters; missing characters count as 0).
int dayNumber(const std::string& date);

// dayNumber(first) - dayNumber(second).
int daysBetween(const std::string& first, const std::string& second);

// The date `days` days after a MM-DD-YYYY date (the date itself when it is
// no date of the calendar or the result would fall before 1901).
std::string dateAfterDays(const std::string& date, int days);

// MM-DD-YYYY.
std::string formatDate(const LocalDate& date);

// Whether `text` has the form MM-DD-YYYY (ten characters, digits and two
// dashes), whatever the numbers.
bool hasDateForm(const std::string& text);

// MM-DD-YYYY naming a day of the calendar, into `date`.
bool parseDate(const std::string& text, LocalDate* date);

// How many days a newday on `today` counts after the last counted date:
// 1 when none is known, 0 on the same date, the days in between otherwise.
// A date after today (the clock was set back) counts today as one day.
int daysToCount(const std::string& last_counted, const std::string& today);

// "YYYY-MM-DD HH:MM:SS UTC" for seconds since 1970-01-01 00:00:00 UTC.
std::string utcTimestamp(std::int64_t seconds);

}  // namespace quarvel
