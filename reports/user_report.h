// One user's standing for the IRC bot: the trial report, a quota report, or
// why the user is in neither store. Reads only.
#pragma once

#include <string>

#include "reports/report_sources.h"

namespace quarvel {

// Prints the report on `name` (already cleaned, not empty): one line, or
// none for a quota user whose status is 2 or another value above 1 but 3.
// A trial is measured against `trial_target_mb` (TRIAL_UPLOAD, whole
// megabytes); a quota period's days left are counted from `today`
// (MM-DD-YYYY).
void reportUser(const ReportSources& sources, long long trial_target_mb, const std::string& today,
                const std::string& name);

}  // namespace quarvel
