#include "reports/irc_commands.h"

#include "config/text.h"
#include "reports/irc_text.h"
#include "reports/listings.h"
#include "reports/site_summary.h"
#include "reports/user_report.h"

namespace quarvel {

void answerIrc(const ReportSources& sources, long long trial_target_mb, const std::string& today,
               const std::string& command_line) {
  if (toUpper(commandWord(command_line, 2)) == "PASSED") {
    std::string name = cleanIrcText(commandWord(command_line, 3));
    if (name.empty()) {
      reportSiteSummary(sources.trial, sources.quota, sources.config, sources.out);
    } else {
      reportUser(sources, trial_target_mb, today, name);
    }
    return;
  }
  runListing(sources, cleanIrcText(command_line));
}

}  // namespace quarvel
