// Which store a text comes from: each reads its records by its own rules.
#pragma once

namespace quarvel {

enum class StoreKind { kTrial, kQuota, kCredits };

}  // namespace quarvel
