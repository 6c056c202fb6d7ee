// Quarvel.day in the data folder: the last date on which newday counted the
// trial days down ("counted=MM-DD-YYYY"), so that each calendar day is
// counted once however often newday runs, and days on which it did not run
// are counted by the next run. Kept apart from the trial store, which keeps
// its format; no listing or report reads it.
#pragma once

#include <string>

#include "config/files.h"

namespace quarvel {

class CountedDay {
 public:
  explicit CountedDay(Files& files) : files_(files) {}

  // The date last counted; empty when the file is missing or holds none.
  std::string read();
  // Replaces the file atomically; false when that failed.
  bool write(const std::string& date);

 private:
  Files& files_;
};

// How many days a newday on `today` counts after the last counted date:
// 1 when none is known, 0 on the same date, the days in between otherwise.
// A date after today (the clock was set back) counts today as one day.
int daysToCount(const std::string& last_counted, const std::string& today);

}  // namespace quarvel
