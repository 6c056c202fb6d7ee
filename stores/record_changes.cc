#include "stores/record_changes.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "config/numbers.h"
#include "config/text.h"
#include "stores/quota_store.h"
#include "stores/store_record.h"
#include "stores/trial_store.h"

namespace quarvel {
namespace {

// Calls visit(line) for each non-blank line of a store's text; CR LF, CR
// alone and LF alone each end a line, as the store reads them.
template <typename Visit>
void forEachStoreLine(std::string_view text, Visit visit) {
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t at = text.find_first_of("\r\n", from);
    if (at == std::string_view::npos) at = text.size();
    std::string_view line = text.substr(from, at - from);
    if (line.find_first_not_of(' ') != std::string_view::npos) visit(line);
    if (at == text.size()) break;
    from = at + (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1);
  }
}

std::string_view lineKey(std::string_view line) {
  return blanksTrimmed(line.substr(0, line.find('=')));
}

// A key as the store reads it: its first line's value, trimmed.
struct KeyValue {
  std::string name;  // the key as written, trimmed
  std::string value;
  bool present = false;
  std::size_t line = 0;  // which line holds it
};

// The keys to compare (lower case), each with what one text holds for it.
class KeyReader {
 public:
  explicit KeyReader(const std::vector<std::string>& keys) : keys_(keys) {
    if (keys_.size() > kScanned) {
      for (std::size_t i = 0; i < keys_.size(); ++i) index_.emplace(keys_[i], i);
    }
  }

  std::vector<KeyValue> read(std::string_view text, bool strip_quotes) const {
    std::vector<KeyValue> values(keys_.size());
    std::size_t number = 0;
    forEachStoreLine(text, [&](std::string_view line) {
      std::size_t at = find(lineKey(line));
      if (at != kNone && !values[at].present) {
        StoreLine parts = StoreLine::split(std::string(line));
        std::string value = strip_quotes ? replaceAll(parts.value, "\"", "") : parts.value;
        values[at] = {trimBlanks(parts.key), trimBlanks(value), true, number};
      }
      ++number;
    });
    return values;
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // Up to this many keys are looked for one by one: an event writes a few.
  static constexpr std::size_t kScanned = 8;

  std::size_t find(std::string_view key) const {
    if (keys_.size() <= kScanned) {
      for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i].size() == key.size() && equalsIgnoringCase(keys_[i], key)) return i;
      }
      return kNone;
    }
    auto found = index_.find(toLower(std::string(key)));
    return found == index_.end() ? kNone : found->second;
  }

  const std::vector<std::string>& keys_;
  std::unordered_map<std::string, std::size_t> index_;
};

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

namespace {

// What both sides hold for `keys` (lower case, each once) to changes.
StoreChanges changesOf(StoreKind kind, const std::vector<std::string>& keys,
                       const std::vector<KeyValue>& was, const std::vector<KeyValue>& now) {
  StoreChanges changes;
  // Members in the order the store now holds them, then those removed.
  std::vector<std::size_t> order(keys.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto place = [&](std::size_t i) {
    return now[i].present ? std::make_pair(0, now[i].line) : std::make_pair(1, was[i].line);
  };
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return place(a) < place(b); });
  auto describe = kind == StoreKind::kQuota ? describeQuotaValue : describeTrialValue;
  for (std::size_t i : order) {
    const KeyValue& old_value = was[i];
    const KeyValue& new_value = now[i];
    bool had = old_value.present && !old_value.value.empty();
    bool has = new_value.present && !new_value.value.empty();
    if (had == has && (!had || old_value.value == new_value.value)) continue;
    if (!isMemberKey(kind, keys[i])) {
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

std::vector<std::string> distinctKeys(const std::vector<std::string>& written) {
  std::vector<std::string> keys;
  std::unordered_set<std::string> seen;
  for (const std::string& key : written) {
    std::string lower = toLower(trimBlanks(key));
    if (seen.insert(lower).second) keys.push_back(lower);
  }
  return keys;
}

}  // namespace

StoreChanges compareStoreKeys(StoreKind kind, std::string_view before, std::string_view after,
                              const std::vector<std::string>& written) {
  std::vector<std::string> keys = distinctKeys(written);
  if (keys.empty() || before == after) return StoreChanges();
  KeyReader reader(keys);
  bool strip_quotes = kind == StoreKind::kTrial;
  return changesOf(kind, keys, reader.read(before, strip_quotes), reader.read(after, strip_quotes));
}

StoreChanges compareStoreKeys(StoreKind kind, std::string_view before,
                              const std::vector<std::string>& written,
                              const std::function<std::string(const std::string&)>& value_now) {
  std::vector<std::string> keys = distinctKeys(written);
  if (keys.empty()) return StoreChanges();
  KeyReader reader(keys);
  std::vector<KeyValue> now(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    // The key as last written names the member; the order is the writes'.
    std::string name;
    for (const std::string& key : written) {
      if (equalsIgnoringCase(trimBlanks(key), keys[i])) name = trimBlanks(key);
    }
    std::string value = value_now(keys[i]);
    now[i] = {name, value, !value.empty(), i};
  }
  return changesOf(kind, keys, reader.read(before, kind == StoreKind::kTrial), now);
}

StoreChanges compareStoreTexts(StoreKind kind, std::string_view before, std::string_view after) {
  if (before == after) return StoreChanges();
  // Lines found in one text and not as often in the other: only their keys
  // can read otherwise.
  std::unordered_map<std::string_view, long long> balance;
  forEachStoreLine(before, [&](std::string_view line) { ++balance[line]; });
  forEachStoreLine(after, [&](std::string_view line) { --balance[line]; });
  std::vector<std::string> keys;
  for (const auto& [line, count] : balance) {
    if (count != 0) keys.emplace_back(lineKey(line));
  }
  return compareStoreKeys(kind, before, after, keys);
}

}  // namespace quarvel
