// Members of the running quota period added, removed and credited by hand:
// what SQ add, del and give do once the period's enrolment has run.
#pragma once

#include <string>

#include "config/output.h"
#include "config/settings.h"
#include "evaluation/records.h"

namespace quarvel {

// Adds the user as a counting member starting from nothing, or says why
// not. False when the run ends there: the user is a member already, or the
// store could not be saved.
bool addQuotaUser(const Records& records, Output& out, const std::string& typed);

// Takes a member out of the period.
void deleteQuotaUser(QuotaStore& quota, Stores& stores, Output& out, const std::string& typed);

// Credits the amount (as typed) and checks the pass at once.
void giveQuotaUser(QuotaStore& quota, Stores& stores, Settings& settings, Output& out,
                   const std::string& name, const std::string& amount);

}  // namespace quarvel
