#include "config/text.h"
#include "entry/handlers.h"
#include "reports/irc_text.h"
#include "reports/listings.h"
#include "reports/site_summary.h"
#include "reports/user_report.h"

namespace quarvel {

// IRC PASSED [user]: one user's standing, or the site summary without a
// user. IRC info ...: the listings. Every other IRC line prints nothing.
Next runIrcCommand(Run& run) {
  if (toUpper(run.word(1)) != "IRC") return Next::kContinue;
  if (toUpper(run.word(2)) == "PASSED") {
    std::string name = cleanIrcText(run.word(3));
    if (name.empty()) {
      reportSiteSummary(run);
    } else {
      reportUser(run, name);
    }
    return Next::kContinue;
  }
  runListing(run, cleanIrcText(run.command_line));
  return Next::kContinue;
}

}  // namespace quarvel
