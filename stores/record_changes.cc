#include "stores/record_changes.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "config/numbers.h"
#include "config/text.h"
#include "stores/quota_store.h"
#include "stores/store_record.h"
#include "stores/trial_store.h"

namespace quarvel {
namespace {

// The non-blank lines of a store's text; CR LF, CR alone and LF alone each
// end a line, as the store reads them.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t at = std::min(text.find('\r', from), text.find('\n', from));
    if (at == std::string_view::npos) at = text.size();
    std::string_view line = text.substr(from, at - from);
    if (line.find_first_not_of(' ') != std::string_view::npos) lines.push_back(line);
    if (at == text.size()) break;
    from = at + (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::string keyOf(std::string_view line) {
  return toLower(trimBlanks(std::string(line.substr(0, line.find('=')))));
}

// A key as the store reads it: its first line's value, trimmed.
struct KeyValue {
  std::string name;  // the key as written, trimmed
  std::string value;
  bool present = false;
};

// The keys of `changed` read from `lines`.
void readKeys(const std::vector<std::string_view>& lines, bool strip_quotes,
              std::unordered_map<std::string, KeyValue>* changed) {
  for (std::string_view line : lines) {
    auto found = changed->find(keyOf(line));
    if (found == changed->end() || found->second.present) continue;
    StoreLine parts = StoreLine::split(std::string(line));
    std::string value = parts.value;
    if (strip_quotes) value = replaceAll(value, "\"", "");
    found->second = {trimBlanks(parts.key), trimBlanks(value), true};
  }
}

bool isMemberKey(StoreKind kind, const std::string& key) {
  if (key.empty() || key.find("_predel_size_") != std::string::npos) return false;
  switch (kind) {
    case StoreKind::kTrial:
      return !isTrialStoreKey(key);
    case StoreKind::kQuota:
      return !isPeriodKey(key) && key != toLower(kQuotaPendingKey);
    case StoreKind::kCredits:
      return false;
  }
  return false;
}

std::string groupText(const std::string& group) {
  return group.empty() ? "no group" : "group " + group;
}

std::string statusText(const QuotaStatus& status) {
  if (status.isCounting()) return "counting";
  if (status.isPassed()) return "passed";
  if (status.isSuspended()) return "on trial";
  if (status.isExempt()) return "exempt";
  return "status " + status.text();
}

std::string extraText(const std::string& rest) { return rest.empty() ? "" : ", more: " + rest; }

}  // namespace

std::string describeTrialValue(const std::string& value) {
  TrialRecord record = TrialRecord::parse(value);
  long long days = record.days_left.wholeValue();
  return plainForm(record.uploaded.value()) + " MB uploaded, " + integerForm(days) +
         (days == 1 ? " day left, " : " days left, ") + groupText(record.group) +
         extraText(record.rest);
}

std::string describeQuotaValue(const std::string& value) {
  QuotaRecord record = QuotaRecord::parse(value);
  return plainForm(record.uploaded.value()) + " MB uploaded, " + statusText(record.status) + ", " +
         groupText(record.group) + extraText(record.rest);
}

StoreChanges compareStoreTexts(StoreKind kind, const std::string& before,
                               const std::string& after) {
  StoreChanges changes;
  if (before == after) return changes;
  std::vector<std::string_view> old_lines = linesOf(before);
  std::vector<std::string_view> new_lines = linesOf(after);
  // Lines found in one text and not as often in the other: only their keys
  // can read otherwise.
  std::unordered_map<std::string_view, long long> balance;
  for (std::string_view line : old_lines) ++balance[line];
  for (std::string_view line : new_lines) --balance[line];
  std::unordered_map<std::string, KeyValue> was;
  for (const auto& [line, count] : balance) {
    if (count != 0) was.emplace(keyOf(line), KeyValue());
  }
  if (was.empty()) return changes;
  std::unordered_map<std::string, KeyValue> now = was;
  bool strip_quotes = kind == StoreKind::kTrial;
  readKeys(old_lines, strip_quotes, &was);
  readKeys(new_lines, strip_quotes, &now);

  // Members in the order the store now holds them, then those removed.
  std::vector<std::string> order;
  std::unordered_set<std::string> listed;
  for (const std::vector<std::string_view>* lines : {&new_lines, &old_lines}) {
    for (std::string_view line : *lines) {
      std::string key = keyOf(line);
      if (was.count(key) != 0 && listed.insert(key).second) order.push_back(key);
    }
  }
  auto describe = kind == StoreKind::kQuota ? describeQuotaValue : describeTrialValue;
  for (const std::string& key : order) {
    const KeyValue& old_value = was[key];
    const KeyValue& new_value = now[key];
    bool had = old_value.present && !old_value.value.empty();
    bool has = new_value.present && !new_value.value.empty();
    if (had == has && (!had || old_value.value == new_value.value)) continue;
    if (!isMemberKey(kind, key)) {
      changes.any = true;
      continue;
    }
    std::string old_text = had ? describe(old_value.value) : "none";
    std::string new_text = has ? describe(new_value.value) : "none";
    if (old_text == new_text) continue;  // the same record, written otherwise
    changes.any = true;
    changes.members.push_back(
        {has ? new_value.name : old_value.name, std::move(old_text), std::move(new_text)});
  }
  return changes;
}

}  // namespace quarvel
