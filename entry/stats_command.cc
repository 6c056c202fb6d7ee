// stats: the caller's trial and quota standing as continuation lines of the
// server's transfer reply, rendered from the FTP_STATS template. Each line
// begins with FTP_STATS_PREFIX, "226-" when the key is absent; a server
// that puts its own reply code in front of the lines of a message file
// (ioFTPD 7) is given an empty prefix, so the code is not shown twice.
#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "entry/handlers.h"
#include "evaluation/deadline_warnings.h"
#include "evaluation/targets.h"
#include "server/contract.h"

namespace quarvel {
namespace {

// The tokens are replaced in this order; text put in by one replacement is
// open to the later ones.
std::string renderStats(const std::string& prefix, const std::string& stats_template,
                        const std::string& type, const std::string& user, const std::string& group,
                        const std::string& uploaded, const std::string& mb_left,
                        const std::string& days_left) {
  std::string line = replaceAll(stats_template, "%TYPE%", type);
  line = replaceAll(line, "%USER%", user);
  line = replaceAll(line, "%GROUP%", group);
  line = replaceAll(line, "%UPLOADED%", uploaded);
  line = replaceAll(line, "%MBLEFT%", mb_left);
  line = replaceAll(line, "%DAYSLEFT%", days_left);
  return prefix + line;
}

std::string statsPrefix(Run& run) {
  return run.settings.statsPrefix().value_or(contract::kReplyContinuation);
}

// Inside the warning window the line ends with a blank and the
// FTP_STATS_WARN mark; outside it, and for a user who is never warned, the
// line is left as it is.
std::string withWarningMark(Run& run, std::string line, const std::optional<DeadlineWindow>& window,
                            const std::string& name) {
  if (!window || !warnableAccount(run.users, name)) return line;
  std::string mark = run.configValue("FTP_STATS_WARN");
  if (mark.empty()) mark = "(last %DAYSLEFT% days)";
  mark = replaceAll(mark, "%DAYSLEFT%", integerForm(window->days_left));
  return line + " " + replaceAll(mark, "%MBLEFT%", oneDecimalForm(window->mb_left));
}

}  // namespace

Next runStats(Run& run) {
  std::string name = run.env(contract::kUserVariable);
  std::string group = run.env(contract::kGroupVariable);

  if (std::optional<TrialRecord> trial = run.trial.member(name)) {
    double mb_left = trialTargetMB(run.settings, name) - trial->uploaded.value();
    std::string line =
        renderStats(statsPrefix(run), run.configValue("FTP_STATS"), "TRiAL", name, group,
                    trial->uploaded.text(), plainForm(mb_left), trial->days_left.text());
    run.printLine(withWarningMark(run, line, trialWindow(run.settings, name, *trial), name));
  }

  std::optional<QuotaRecord> quota = run.quota.member(name);
  if (quota && quota->status.isCounting()) {
    const StoredNumber& uploaded = quota->uploaded;
    // Shown when the whole megabytes of the target are not reached yet.
    double goal = quotaTargetMB(run.settings, name);
    double mb_left = 0;
    if (roundHalfEven(goal) - uploaded.value() > 0) mb_left = goal - uploaded.value();
    int days_left = daysBetween(run.quota.periodEnds(), run.today());
    std::string line =
        renderStats(statsPrefix(run), run.configValue("FTP_STATS"), "QUOTA", name, group,
                    uploaded.text(), plainForm(mb_left), integerForm(days_left));
    run.printLine(
        withWarningMark(run, line, quotaWindow(run.settings, name, *quota, days_left), name));
  }
  return Next::kContinue;
}

}  // namespace quarvel
