// What a run changed in a store, told record by record: the store as it
// stands on disk and as the next commit would write it are compared key by
// key, each key read as the store reads it (its first line, the value
// trimmed). Lines that only moved, or a record written again as it was,
// are no change; a member record whose amounts and fields read the same is
// none either.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "stores/store_kind.h"

namespace quarvel {

// A member's record before and after, each described for the audit log
// ("none" when there was or is no record).
struct RecordChange {
  std::string user;
  std::string before;
  std::string after;
};

struct StoreChanges {
  bool any = false;  // some key reads otherwise (the store's own keys too)
  std::vector<RecordChange> members;
};

StoreChanges compareStoreTexts(StoreKind kind, std::string_view before, std::string_view after);
// The same, when only the keys `written` can have changed (a few keys are
// found in two passes, without taking every line apart).
StoreChanges compareStoreKeys(StoreKind kind, std::string_view before, std::string_view after,
                              const std::vector<std::string>& written);
// The same, with what the store holds now read through `value_now` (the
// value under a key as the store reads it; "" for none).
StoreChanges compareStoreKeys(StoreKind kind, std::string_view before,
                              const std::vector<std::string>& written,
                              const std::function<std::string(const std::string&)>& value_now);

// A record described: "10 MB uploaded, 14 days left, group Couriers" (trial)
// or "10 MB uploaded, counting, group Couriers" (quota).
std::string describeTrialValue(const std::string& value);
std::string describeQuotaValue(const std::string& value);

}  // namespace quarvel
