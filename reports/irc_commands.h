// What the IRC bot asks (command lines beginning with the word IRC).
#pragma once

#include <string>

#include "reports/report_sources.h"

namespace quarvel {

// IRC PASSED [user]: one user's standing, or the site summary without a
// user. IRC info ...: the listings. Every other IRC line prints nothing.
// `trial_target_mb` and `today` are as for reportUser.
void answerIrc(const ReportSources& sources, long long trial_target_mb, const std::string& today,
               const std::string& command_line);

}  // namespace quarvel
