// The site summary: how many trial and quota users the site has, counted
// from the store files' lines as they stand.
#pragma once

#include <string>
#include <vector>

#include "config/config.h"
#include "config/output.h"
#include "stores/quota_store.h"
#include "stores/trial_store.h"

namespace quarvel {

// Non-blank quota store lines that are not period keys and whose quota
// status (the second "::" field of the value) is not exactly "0". A line
// without a status (a size memo) counts.
long long countSummaryQuotaUsers(const std::vector<std::string>& lines);

// Prints Irc_Info with "$TRIALUSERS", "$QUOTAUSERS", "$BOLD", "$SITENAME".
void reportSiteSummary(TrialStore& trial, QuotaStore& quota, Config& config, Output& out);

}  // namespace quarvel
