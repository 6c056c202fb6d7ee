// The command handlers, in the order the dispatch offers a command line to
// them. Each returns whether the dispatch goes on.
#pragma once

#include "entry/run.h"

namespace quarvel {

// Connection test: "test".
Next runConnectionTest(Run& run);

// Scheduled runs: "qstart", "qnow", "checkup", "newday".
Next runQstart(Run& run);
Next runQnow(Run& run);
// "qstart force" and "qnow force": as above, also over a running period.
Next runQstartForced(Run& run);
Next runQnowForced(Run& run);
Next runCheckup(Run& run);
Next runNewday(Run& run);
// preview [MM-DD-YYYY]: what newday would do on that date; changes nothing.
Next runPreview(Run& run);
// What newday does after its login, on `session` (a preview's is dry).
void newdayOn(Run& run, AdminSession& session);

// Transfer events: UD, NUKE, UNNUKE, PREDL, POSDL, and "stats".
Next runUpload(Run& run);
Next runNuke(Run& run);
Next runUnnuke(Run& run);
Next runPreDelete(Run& run);
Next runPostDelete(Run& run);
Next runRename(Run& run);
Next runStats(Run& run);

// Membership and report commands look at word 1 themselves: ST, SQ, IRC.
Next runTrialCommand(Run& run);
Next runQuotaCommand(Run& run);
Next runIrcCommand(Run& run);

// PASSED [user]: a user's own standing (SITE PASSED); reads only.
Next runStanding(Run& run);

}  // namespace quarvel
