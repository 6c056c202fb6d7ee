// Quota periods: passes, enrolment, and the quota half of the daily
// evaluation.
#pragma once

#include <string>

#include "config/output.h"
#include "config/settings.h"
#include "evaluation/records.h"
#include "platform/platform.h"

namespace quarvel {

// Marks a counting member passed at QUOTA_UPLOAD (announcing QUOTAPASSED
// under `announced_name`, or `name` when that is empty), or takes a pass
// back below it.
void checkQuotaPass(QuotaStore& quota, Stores& stores, Settings& settings, Output& out,
                    const std::string& name, const std::string& announced_name = std::string());

// Enrols every account of the server user list into an emptied quota store;
// the period runs from `today` to the first of the next month.
void startQuotaPeriod(const Records& records, Settings& settings, LocalDate today);

// A period's first day and the day it ends, both MM-DD-YYYY.
struct PeriodDates {
  std::string starts;
  std::string ends;
};
// The period a start on `today` runs: to the first of the next month.
PeriodDates periodStartingOn(LocalDate today);
// The period set up ahead on `today` (qstart): the whole next month, from
// its first to the first of the month after.
PeriodDates nextMonthPeriod(LocalDate today);
// Writes the next month's period dates, its enrolment still to run.
void setUpNextMonthPeriod(QuotaStore& quota, LocalDate today);

// checkup: repairs member statuses, then enrols late accounts (AddLate),
// crediting the days from the period's start to `today`.
void evaluateQuotaDaily(const Records& records, Settings& settings, Output& out, LocalDate today);

}  // namespace quarvel
