#include "stores/store_record.h"

#include <cmath>

#include "config/numbers.h"
#include "config/text.h"

namespace quarvel {

StoreRecord StoreRecord::parse(const std::string& value) {
  return StoreRecord{field(value, "::", 1), field(value, "::", 2), field(value, "::", 3)};
}

std::string StoreRecord::entry(const std::string& key) const {
  return key + "=" + uploaded + "::" + second + "::" + group;
}

double StoreRecord::uploadedMB() const { return readNumber(uploaded); }

StoreRecord StoreRecord::credited(double amount_mb) const {
  StoreRecord record = *this;
  record.uploaded = plainForm(saturatingSum(uploadedMB(), amount_mb));
  return record;
}

double saturatingSum(double a, double b) {
  double sum = a + b;
  if (std::isnan(sum)) return 0;
  if (sum > kMaxAmountMB) return kMaxAmountMB;
  if (sum < -kMaxAmountMB) return -kMaxAmountMB;
  return sum;
}

double QuotaStatus::number() const { return readNumber(text_); }

}  // namespace quarvel
