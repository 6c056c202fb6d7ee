// What the evaluations and the membership commands read and change: the
// trial and quota stores with their commit points, and the user database
// their members are judged against. The caller builds it from its run.
#pragma once

#include "stores/quota_store.h"
#include "stores/stores.h"
#include "stores/trial_store.h"
#include "userdb/user_database.h"

namespace quarvel {

struct Records {
  TrialStore& trial;
  QuotaStore& quota;
  Stores& stores;
  UserDatabase& users;
};

}  // namespace quarvel
