#include "reports/site_summary.h"

#include "config/numbers.h"
#include "config/text.h"
#include "reports/templates.h"
#include "stores/quota_store.h"
#include "stores/trial_store.h"

namespace quarvel {
namespace {

bool isPeriodLine(const std::string& line) {
  std::string lower = toLower(line);
  for (const char* key : {kPeriodStartedKey, kPeriodEndsKey, kPeriodStartsKey, kQuotaPendingKey}) {
    if (lower.find(key) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

long long countSummaryQuotaUsers(const std::vector<std::string>& lines) {
  long long count = 0;
  for (const std::string& line : lines) {
    if (trimBlanks(line).empty() || isPeriodLine(line)) continue;
    std::vector<std::string> fields = splitAt(field(line, "=", 2), "::");
    if (fields.size() < 2 || fields[1] != "0") ++count;
  }
  return count;
}

void reportSiteSummary(TrialStore& trial, QuotaStore& quota, Config& config, Output& out) {
  // Every non-blank line of the trial store counts, size memos included;
  // the store's own keys (the due list, the counted date) are no users.
  long long trial_users = 0;
  for (const std::string& line : trial.file().readAllLines()) {
    if (!isTrialStoreKey(field(line, "=", 1))) ++trial_users;
  }
  long long quota_users = countSummaryQuotaUsers(quota.file().readAllLines());
  out.printLine(renderTemplate(config, "Irc_Info",
                               {{"$TRIALUSERS", integerForm(trial_users)},
                                {"$QUOTAUSERS", integerForm(quota_users)},
                                boldToken(),
                                siteNameToken(config)}));
}

}  // namespace quarvel
