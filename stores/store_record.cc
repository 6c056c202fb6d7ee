#include "stores/store_record.h"

#include <cmath>
#include <vector>

#include "config/numbers.h"
#include "config/text.h"

namespace quarvel {
namespace {

constexpr char kSeparator[] = "::";

struct Fields {
  std::string first, second, third, rest;
};

Fields splitFields(const std::string& value) {
  std::vector<std::string> pieces = splitAt(value, kSeparator);
  Fields fields;
  fields.first = pieces[0];
  if (pieces.size() > 1) fields.second = pieces[1];
  if (pieces.size() > 2) fields.third = pieces[2];
  for (std::size_t i = 3; i < pieces.size(); ++i) fields.rest += kSeparator + pieces[i];
  return fields;
}

std::string joinFields(const std::string& first, const std::string& second,
                       const std::string& third, const std::string& rest) {
  return first + kSeparator + second + kSeparator + third + rest;
}

}  // namespace

StoredNumber StoredNumber::plain(double value) { return StoredNumber(plainForm(value)); }
StoredNumber StoredNumber::whole(long long value) { return StoredNumber(integerForm(value)); }
double StoredNumber::value() const { return readNumber(text_); }
long long StoredNumber::wholeValue() const { return readWholeNumber(text_); }

double QuotaStatus::number() const { return readNumber(text_); }

TrialRecord TrialRecord::newMember(long long days_left, const std::string& group) {
  return TrialRecord{StoredNumber::whole(0), StoredNumber::whole(days_left), group, ""};
}

TrialRecord TrialRecord::parse(const std::string& value) {
  Fields f = splitFields(value);
  return TrialRecord{StoredNumber(f.first), StoredNumber(f.second), f.third, f.rest};
}

std::string TrialRecord::encode() const {
  return joinFields(uploaded.text(), days_left.text(), group, rest);
}

TrialRecord TrialRecord::credited(double amount_mb) const {
  TrialRecord record = *this;
  record.uploaded = creditedAmount(uploaded, amount_mb);
  return record;
}

QuotaRecord QuotaRecord::newMember(long long uploaded_mb, const char* status,
                                   const std::string& group) {
  return QuotaRecord{StoredNumber::whole(uploaded_mb), QuotaStatus(status), group, ""};
}

QuotaRecord QuotaRecord::parse(const std::string& value) {
  Fields f = splitFields(value);
  return QuotaRecord{StoredNumber(f.first), QuotaStatus(f.second), f.third, f.rest};
}

std::string QuotaRecord::encode() const {
  return joinFields(uploaded.text(), status.text(), group, rest);
}

QuotaRecord QuotaRecord::credited(double amount_mb) const {
  QuotaRecord record = *this;
  record.uploaded = creditedAmount(uploaded, amount_mb);
  return record;
}

QuotaRecord QuotaRecord::withStatus(const char* new_status) const {
  QuotaRecord record = *this;
  record.status = QuotaStatus(new_status);
  return record;
}

StoreLine StoreLine::split(const std::string& line) {
  StoreLine parts;
  parts.key = field(line, "=", 1);
  parts.value = field(line, "=", 2);
  parts.has_value = line.find('=') != std::string::npos;
  return parts;
}

double saturatingSum(double a, double b) {
  double sum = a + b;
  if (std::isnan(sum)) return 0;
  if (sum > kMaxAmountMB) return kMaxAmountMB;
  if (sum < -kMaxAmountMB) return -kMaxAmountMB;
  return sum;
}

StoredNumber creditedAmount(const StoredNumber& uploaded, double amount_mb) {
  return StoredNumber::plain(saturatingSum(uploaded.value(), amount_mb));
}

}  // namespace quarvel
