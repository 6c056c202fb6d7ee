// Deciding trial passes, and the trial half of the daily evaluation.
#pragma once

#include <string>

#include "entry/run.h"

namespace quarvel {

// For a user with a trial record: at TRIAL_UPLOAD or more, sends
// TRIAL_ONPASS on a fresh admin login, deletes the record, announces
// PassedTrial and gives a suspended quota record back.
void checkTrialPass(Run& run, const std::string& name);

// checkup: removes trial records of users the server no longer knows and of
// users who reached TRIAL_UPLOAD (silently).
void evaluateTrialsDaily(Run& run);

}  // namespace quarvel
