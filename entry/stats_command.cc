// stats: the caller's trial and quota standing as continuation lines of the
// server's transfer reply, rendered from the FTP_STATS template. Each line
// begins with FTP_STATS_PREFIX, "226-" when the key is absent; a server
// that puts its own reply code in front of the lines of a message file
// (ioFTPD 7) is given an empty prefix, so the code is not shown twice.
#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "entry/handlers.h"
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

}  // namespace

Next runStats(Run& run) {
  std::string name = run.env(contract::kUserVariable);
  std::string group = run.env(contract::kGroupVariable);

  if (std::optional<TrialRecord> trial = run.trial.member(name)) {
    double mb_left = run.settings.trialUploadMB() - trial->uploaded.value();
    run.printLine(renderStats(statsPrefix(run), run.configValue("FTP_STATS"), "TRiAL", name, group,
                              trial->uploaded.text(), plainForm(mb_left), trial->days_left.text()));
  }

  std::optional<QuotaRecord> quota = run.quota.member(name);
  if (quota && quota->status.isCounting()) {
    const StoredNumber& uploaded = quota->uploaded;
    // Shown when the whole megabytes of the target are not reached yet.
    double goal = run.settings.quotaUploadMB();
    double mb_left = 0;
    if (roundHalfEven(goal) - uploaded.value() > 0) mb_left = goal - uploaded.value();
    int days_left = daysBetween(run.quota.periodEnds(), run.today());
    run.printLine(renderStats(statsPrefix(run), run.configValue("FTP_STATS"), "QUOTA", name, group,
                              uploaded.text(), plainForm(mb_left), integerForm(days_left)));
  }
  return Next::kContinue;
}

}  // namespace quarvel
