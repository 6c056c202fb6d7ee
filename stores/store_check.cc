#include "stores/store_check.h"

#include "config/numbers.h"
#include "config/text.h"
#include "stores/quota_store.h"
#include "stores/store_record.h"
#include "stores/trial_store.h"

namespace quarvel {
namespace {

bool isWholeNumber(const std::string& text) {
  const std::string bare = trimBlanks(text);
  return !bare.empty() && leadingNumberLength(bare) == bare.size();
}

bool isOwnKey(StoreKind kind, const std::string& key) {
  const std::string lower = toLower(trimBlanks(key));
  if (kind == StoreKind::kTrial) return lower == kTrialDueKey || lower == kTrialCountedKey;
  return lower == kPeriodStartsKey || lower == kPeriodEndsKey || lower == kPeriodStartedKey ||
         lower == kQuotaPendingKey;
}

// What is wrong with a record's value; empty when nothing is.
std::string recordFault(StoreKind kind, const std::string& raw_value) {
  const std::string value = trimBlanks(replaceAll(raw_value, "\"", ""));
  if (value.empty()) return std::string();  // no record: nothing is read from it
  const std::vector<std::string> fields = splitAt(value, "::");
  if (!isWholeNumber(fields[0])) return "the amount \"" + fields[0] + "\" is not a number";
  const std::string second = fields.size() > 1 ? trimBlanks(fields[1]) : std::string();
  if (kind == StoreKind::kTrial) {
    if (!isWholeNumber(second)) return "the days left \"" + second + "\" are not a number";
  } else if (second != QuotaStatus::kCounting && second != QuotaStatus::kPassed &&
             second != QuotaStatus::kSuspended && second != QuotaStatus::kExempt) {
    return "the status \"" + second + "\" is none of 0, 1, 2 and 3";
  }
  return std::string();
}

}  // namespace

bool isLineNotUnderstood(StoreKind kind, const std::string& line) {
  if (trimBlanks(line).empty()) return false;
  const StoreLine parts = StoreLine::split(line);
  const std::string key = trimBlanks(parts.key);
  if (parts.has_value && toLower(key).compare(0, 6, "setup_") != 0) return false;
  return !(parts.has_value && isOwnKey(kind, key));
}

std::vector<StoreFinding> checkStoreText(StoreKind kind, const std::string& bytes) {
  std::vector<StoreFinding> found;
  const std::string text = bytes.substr(0, bytes.find('\x1a'));
  int number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    ++number;
    if (trimBlanks(line).empty()) continue;
    if (isLineNotUnderstood(kind, line)) {
      found.push_back({number, "\"" + line +
                                   "\" is not a line Quarvel understands; it is kept "
                                   "as it is"});
      continue;
    }
    const StoreLine parts = StoreLine::split(line);
    const std::string key = trimBlanks(parts.key);
    if (!parts.has_value || isOwnKey(kind, key)) continue;
    const std::string fault = recordFault(kind, parts.value);
    if (!fault.empty()) found.push_back({number, key + ": " + fault});
  }
  return found;
}

}  // namespace quarvel
