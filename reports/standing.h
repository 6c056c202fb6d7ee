// Where one trial or quota user stands: uploaded, required, left, days left
// and the amount needed per day, and the forms in which the user report
// writes them.
#pragma once

#include <string>

#include "reports/templates.h"
#include "stores/store_record.h"

namespace quarvel {

struct Standing {
  double uploaded = 0;
  long long required = 0;
  double left = 0;
  long long days_left = 0;
  double per_day = 0;
};

// What is left, spread over the days left. With no day left (the last day,
// or past the end) the whole amount is due at once: per day = left.
double amountPerDay(double left, long long days_left);

// From a trial record (uploaded::days left::group). The amount left is not
// clamped: it goes negative once the user has uploaded more than required.
Standing trialStanding(const TrialRecord& record, long long required);
// The same from a record's stored value.
Standing trialStanding(const std::string& value, long long required);

// From a quota record (uploaded::status::group) and the days to the
// period's end. Nothing left (left not above 0) shows as 0 left and 0 per
// day.
Standing quotaStanding(const QuotaRecord& record, long long required, long long days_left);
Standing quotaStanding(const std::string& value, long long required, long long days_left);

// The trial report's second stage: "$MBLEFT" one decimal, "$UPLOADED"
// plain, "$DAYSLEFT", "$PERDAY" one decimal. ("$SHOWL" belongs to its
// first stage.)
Substitutions trialAmountTokens(const Standing& standing);

// The quota reports' second stage: "$UPLOADED" one decimal, "$MBLEFT"
// plain, "$SHOWL", "$DAYSLEFT", "$PERDAY" one decimal.
Substitutions quotaAmountTokens(const Standing& standing);

}  // namespace quarvel
