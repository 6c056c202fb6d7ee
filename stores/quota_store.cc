#include "stores/quota_store.h"

#include "server/contract.h"

namespace quarvel {

// Quota values keep their double quotes when read back; the period keys are
// left out of the member listing (anywhere in a line, any letter case).
QuotaStore::QuotaStore(Files& files)
    : file_(files, contract::kQuotaStoreFile,
            StoreRules{false, {"setup_quota_started", "setup_quota_ends",
                               "setup_quota_starts"}}) {}

}  // namespace quarvel
