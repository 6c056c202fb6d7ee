// Putting users on trial by hand, taking them off, crediting them with
// megabytes uploaded elsewhere: what ST add, del and give do.
#pragma once

#include <string>

#include "config/output.h"
#include "evaluation/records.h"
#include "evaluation/trial_evaluation.h"

namespace quarvel {

// Puts the user on trial for `trial_days` days under the database's
// spelling of the name, suspending a quota record; or says why not. True
// when the user was put on trial and the store holds it.
bool addTrialUser(const Records& records, Output& out, long long trial_days,
                  const std::string& typed);

// Takes the user off trial and gives a suspended quota record back.
void deleteTrialUser(const Records& records, Output& out, const std::string& typed);

// Credits the amount (as typed) and checks the pass at once.
void giveTrialUser(const Records& records, Output& out, const TrialPass& pass,
                   const std::string& name, const std::string& amount);

}  // namespace quarvel
