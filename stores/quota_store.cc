#include "stores/quota_store.h"

#include "server/contract.h"
#include "stores/trial_store.h"

namespace quarvel {

// Quota values keep their double quotes when read back; the period keys are
// left out of the member listing (anywhere in a line, any letter case).
QuotaStore::QuotaStore(Files& files)
    : file_(files, contract::kQuotaStoreFile,
            StoreRules{false, {"setup_quota_started", "setup_quota_ends",
                               "setup_quota_starts", kQuotaPendingKey}}) {}

std::vector<std::string> QuotaStore::pendingUsers() {
  return splitNames(file_.read(kQuotaPendingKey));
}

void QuotaStore::setPendingUsers(const std::vector<std::string>& names) {
  if (joinNames(names) == file_.read(kQuotaPendingKey)) return;
  file_.write(std::string(kQuotaPendingKey) + "=" + joinNames(names));
}

}  // namespace quarvel
