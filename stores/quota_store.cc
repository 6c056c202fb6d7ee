#include "stores/quota_store.h"

#include "config/text.h"
#include "server/contract.h"

namespace quarvel {

bool isPeriodKey(const std::string& name) {
  std::string key = toLower(trimBlanks(name));
  return key == kPeriodStartsKey || key == kPeriodEndsKey || key == kPeriodStartedKey;
}

// Quota values keep their double quotes when read back; the period keys are
// left out of the member listing (anywhere in a line, any letter case).
QuotaStore::QuotaStore(Files& files)
    : file_(files, contract::kQuotaStoreFile,
            StoreRules{false, {kPeriodStartedKey, kPeriodEndsKey, kPeriodStartsKey}}) {}

void QuotaStore::setStatus(const std::string& name, const StoreRecord& record,
                           const char* status) {
  StoreRecord changed = record;
  changed.second = status;
  putMember(name, changed);
}

}  // namespace quarvel
