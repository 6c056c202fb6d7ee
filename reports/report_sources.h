// What the IRC reports read, and where they print. They change nothing.
// The caller builds it from its run.
#pragma once

#include "config/config.h"
#include "config/output.h"
#include "config/settings.h"
#include "stores/quota_store.h"
#include "stores/trial_store.h"
#include "userdb/user_database.h"

namespace quarvel {

struct ReportSources {
  Config& config;      // the templates
  Settings& settings;  // the rules they show
  UserDatabase& users;
  TrialStore& trial;
  QuotaStore& quota;
  Output& out;
};

}  // namespace quarvel
