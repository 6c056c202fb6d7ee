// The upload a user must reach, in megabytes as set (fractions kept). Every
// rule, report and line that weighs one user against a target asks here,
// so that a target of the user's own changes one place.
#pragma once

#include <string>

#include "config/settings.h"

namespace quarvel {

// TRIAL_UPLOAD for every user.
inline double trialTargetMB(Settings& settings, const std::string& /*name*/) {
  return settings.trialUploadMB();
}

// QUOTA_UPLOAD for every member.
inline double quotaTargetMB(Settings& settings, const std::string& /*name*/) {
  return settings.quotaUploadMB();
}

}  // namespace quarvel
