#include "stores/trial_store.h"

#include "server/contract.h"

namespace quarvel {

TrialStore::TrialStore(Files& files)
    : file_(files, contract::kTrialStoreFile, StoreRules{true, {}}) {}

}  // namespace quarvel
