#include "stores/quota_store.h"

#include "config/text.h"
#include "server/contract.h"
#include "stores/store_check.h"
#include "stores/trial_store.h"

namespace quarvel {

bool isPeriodKey(const std::string& name) {
  std::string key = toLower(trimBlanks(name));
  return key == kPeriodStartsKey || key == kPeriodEndsKey || key == kPeriodStartedKey;
}

// Quota values keep their double quotes when read back; the period keys are
// left out of the member listing (anywhere in a line, any letter case).
QuotaStore::QuotaStore(Files& files)
    : file_(files, contract::kQuotaStoreFile,
            StoreRules{false,
                       {kPeriodStartedKey, kPeriodEndsKey, kPeriodStartsKey, kQuotaPendingKey}}) {}

std::optional<QuotaRecord> QuotaStore::member(const std::string& name) {
  std::string value = file_.read(name);
  if (value.empty()) return std::nullopt;
  return QuotaRecord::parse(value);
}

QuotaStatus QuotaStore::statusOf(const std::string& name) {
  std::optional<QuotaRecord> record = member(name);
  return record ? record->status : QuotaStatus();
}

long long countSummaryQuotaLines(const std::vector<std::string>& lines) {
  long long count = 0;
  for (const std::string& line : lines) {
    if (trimBlanks(line).empty()) continue;
    std::string lower = toLower(line);
    bool period_line = false;
    for (const char* key :
         {kPeriodStartedKey, kPeriodEndsKey, kPeriodStartsKey, kQuotaPendingKey}) {
      if (lower.find(key) != std::string::npos) period_line = true;
    }
    if (period_line) continue;
    if (!QuotaRecord::parse(StoreLine::split(line).value).status.isCounting()) ++count;
  }
  return count;
}

long long QuotaStore::countedLines() { return countSummaryQuotaLines(file_.readAllLines()); }

std::vector<std::string> QuotaStore::pendingUsers() {
  return splitNames(file_.read(kQuotaPendingKey));
}

void QuotaStore::setPendingUsers(const std::vector<std::string>& names) {
  if (joinNames(names) == file_.read(kQuotaPendingKey)) return;
  file_.write(std::string(kQuotaPendingKey) + "=" + joinNames(names));
}

void QuotaStore::clearForNewPeriod() {
  std::vector<std::string> lines = file_.readAllLines();
  std::vector<std::string> read_keys;
  bool keeps_any = false;
  for (const std::string& line : lines) {
    if (isLineNotUnderstood(StoreKind::kQuota, line)) {
      keeps_any = true;
    } else {
      read_keys.push_back(StoreLine::split(line).key);
    }
  }
  if (!keeps_any) {
    file_.removeFile();
    return;
  }
  for (const std::string& key : read_keys) file_.write(key + "=");
}

}  // namespace quarvel
