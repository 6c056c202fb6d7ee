// IRC ...: the bot's questions, answered by the reports.
#include "config/numbers.h"
#include "config/text.h"
#include "entry/handlers.h"
#include "reports/irc_commands.h"

namespace quarvel {

Next runIrcCommand(Run& run) {
  if (toUpper(run.word(1)) != "IRC") return Next::kContinue;
  answerIrc(run.reportSources(), roundHalfEven(run.settings.trialUploadMB()), run.today(),
            run.command_line);
  return Next::kContinue;
}

}  // namespace quarvel
