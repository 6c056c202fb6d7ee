// One user's standing for the IRC bot: the trial report, a quota report, or
// why the user is in neither store. Reads only.
#pragma once

#include <string>

#include "entry/run.h"

namespace quarvel {

// Prints the report on `name` (already cleaned, not empty): one line, or
// none for a quota user whose status is 2 or another value above 1 but 3.
void reportUser(Run& run, const std::string& name);

}  // namespace quarvel
