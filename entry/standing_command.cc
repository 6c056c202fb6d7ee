// PASSED [user]: a user's own standing (SITE PASSED), or with a name the
// standing of another user for a caller whose flags include one of
// PASSED_OTHERS_FLAGS. The lines are those of the IRC report on the same
// user, made fit for the server's "200-" reply lines; inside a warning
// window one line more tells how close the end is. It reads only: it
// takes no lock, and the temporary copies of the server's files stay in
// memory, so it never meets a running newday or upload on the disk.
#include <string>

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "entry/handlers.h"
#include "evaluation/deadline_warnings.h"
#include "evaluation/targets.h"
#include "platform/overlay_platform.h"
#include "reports/irc_text.h"
#include "reports/templates.h"
#include "reports/user_report.h"
#include "server/contract.h"

namespace quarvel {
namespace {

// The real platform with file changes kept in memory and output fit for
// a reply line: no control character (the IRC bold and colour codes of
// the templates) and no line the server would take for one of its own
// "!" commands.
class StandingPlatform : public OverlayPlatform {
 public:
  explicit StandingPlatform(Platform& real) : OverlayPlatform(real) {}

  std::unique_ptr<InstanceLock> acquireInstanceLock() override { return nullptr; }
  void writeOutput(const std::string& bytes) override {
    std::string fit;
    bool line_start = true;
    for (char c : bytes) {
      if (c == '\r' || c == '\n') {
        fit += c;
        line_start = true;
        continue;
      }
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) continue;
      if (line_start && c == '!') fit += ' ';
      fit += c;
      line_start = false;
    }
    OverlayPlatform::writeOutput(fit);
  }
};

bool holdsAnyFlag(const std::string& flags, const std::string& letters) {
  return flags.find_first_of(letters) != std::string::npos;
}

// Inside a warning window: how many days are left and how much is to go.
void printWindowLine(Run& run, const std::string& name) {
  if (run.settings.trialWarnDays() <= 0 && run.settings.quotaWarnDays() <= 0) return;
  std::optional<DeadlineWindow> window;
  const char* type = "trial";
  if (std::optional<TrialRecord> trial = run.trial.member(name)) {
    window = trialWindow(run.settings, name, *trial);
  } else if (std::optional<QuotaRecord> quota = run.quota.member(name)) {
    type = "quota period";
    if (run.quota.periodStarted()) {
      long long days_left = daysBetween(run.quota.periodEnds(), run.today());
      window = quotaWindow(run.settings, name, *quota, days_left);
    }
  }
  if (!window || !warnableAccount(run.users, name)) return;
  std::string spelled = trimBlanks(run.users.lookupUser(name).user_name);
  run.printLine(renderTemplateOr(run.config, "Passed_Warn",
                                 "$USER: $MBLEFT MB to go in the last $DAYSLEFT days of your $TYPE",
                                 {boldToken(),
                                  siteNameToken(run.config),
                                  {"$USER", spelled},
                                  {"$TYPE", type},
                                  {"$DAYSLEFT", integerForm(window->days_left)},
                                  {"$MBLEFT", oneDecimalForm(window->mb_left)}}));
}

}  // namespace

Next runStanding(Run& run) {
  std::string caller = cleanIrcText(trimBlanks(run.env(contract::kUserVariable)));
  if (caller.empty()) {
    run.printLine("PASSED: the server gave no user name: ioftpd.env needs the line USER=%[$user]");
    return Next::kEndRun;
  }
  if (!run.word(3).empty()) {
    run.printLine("PASSED: give one user name, or none for your own standing");
    return Next::kEndRun;
  }
  std::string name = cleanIrcText(run.word(2));
  if (name.empty()) name = caller;
  if (!equalsIgnoringCase(name, caller)) {
    const std::string& letters = run.settings.othersStandingFlags();
    std::string flags = run.env(contract::kFlagsVariable);
    if (letters.empty() || !holdsAnyFlag(flags, letters)) {
      run.printLine(
          "PASSED: only users with one of the flags " + letters +
          " may ask for another user's standing" +
          (flags.empty() ? " (no FLAGS from the server: ioftpd.env needs FLAGS=%[$flags])" : ""));
      return Next::kEndRun;
    }
  }
  StandingPlatform platform(run.platform);
  Run reader(platform);
  reader.audit.disable();
  reportUser(reader.reportSources(), roundHalfEven(trialTargetMB(reader.settings, name)),
             reader.today(), name);
  printWindowLine(reader, name);
  return Next::kEndRun;
}

}  // namespace quarvel
