// Quota periods: passes, enrolment, and the quota half of the daily
// evaluation.
#pragma once

#include <string>

#include "entry/run.h"

namespace quarvel {

// Marks a counting member passed at QUOTA_UPLOAD (announcing QUOTAPASSED
// under `announced_name`, or `name` when that is empty), or takes a pass
// back below it.
void checkQuotaPass(Run& run, const std::string& name,
                    const std::string& announced_name = std::string());

// Enrols every account of the server user list into an emptied quota store.
void startQuotaPeriod(Run& run);

// checkup: repairs member statuses, then enrols late accounts (AddLate).
void evaluateQuotaDaily(Run& run);

}  // namespace quarvel
