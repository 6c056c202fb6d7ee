#include "reports/standing.h"

#include "config/numbers.h"
#include "config/text.h"

namespace quarvel {

double amountPerDay(double left, long long days_left) {
  // A quotient over zero or negative days would be infinite, or a negative
  // need for a user who still owes: neither tells the user anything.
  return days_left > 0 ? left / static_cast<double>(days_left) : left;
}

Standing trialStanding(const std::string& value, long long required) {
  return trialStanding(TrialRecord::parse(value), required);
}

Standing trialStanding(const TrialRecord& record, long long required) {
  Standing s;
  s.uploaded = record.uploaded.value();
  s.required = required;
  s.left = static_cast<double>(required) - s.uploaded;
  s.days_left = record.days_left.wholeValue();
  s.per_day = amountPerDay(s.left, s.days_left);
  return s;
}

Standing quotaStanding(const std::string& value, long long required, long long days_left) {
  return quotaStanding(QuotaRecord::parse(value), required, days_left);
}

Standing quotaStanding(const QuotaRecord& record, long long required, long long days_left) {
  Standing s;
  s.uploaded = record.uploaded.value();
  s.required = required;
  s.left = static_cast<double>(required) - s.uploaded;
  s.days_left = days_left;
  s.per_day = amountPerDay(s.left, s.days_left);
  if (!(s.left > 0)) {
    s.left = 0;
    s.per_day = 0;
  }
  return s;
}

Substitutions trialAmountTokens(const Standing& s) {
  return {{"$MBLEFT", oneDecimalForm(s.left)},
          {"$UPLOADED", plainForm(s.uploaded)},
          {"$DAYSLEFT", integerForm(s.days_left)},
          {"$PERDAY", oneDecimalForm(roundOneDecimal(s.per_day))}};
}

Substitutions quotaAmountTokens(const Standing& s) {
  return {{"$UPLOADED", oneDecimalForm(s.uploaded)},
          {"$MBLEFT", plainForm(s.left)},
          {"$SHOWL", integerForm(s.required)},
          {"$DAYSLEFT", integerForm(s.days_left)},
          {"$PERDAY", oneDecimalForm(roundOneDecimal(s.per_day))}};
}

}  // namespace quarvel
