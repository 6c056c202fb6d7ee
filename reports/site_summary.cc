#include "reports/site_summary.h"

#include "config/numbers.h"
#include "config/text.h"
#include "reports/templates.h"
#include "stores/quota_store.h"
#include "stores/trial_store.h"

namespace quarvel {
long long countSummaryQuotaUsers(const std::vector<std::string>& lines) {
  return countSummaryQuotaLines(lines);
}

void reportSiteSummary(TrialStore& trial, QuotaStore& quota, Config& config, Output& out) {
  // Every non-blank line of the trial store counts, size memos included;
  // the store's own keys (the due list, the counted date) are no users.
  long long trial_users = trial.countedLines();
  long long quota_users = quota.countedLines();
  out.printLine(renderTemplate(config, "Irc_Info",
                               {{"$TRIALUSERS", integerForm(trial_users)},
                                {"$QUOTAUSERS", integerForm(quota_users)},
                                boldToken(),
                                siteNameToken(config)}));
}

}  // namespace quarvel
