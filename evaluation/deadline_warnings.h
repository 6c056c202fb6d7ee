// Warnings before a deadline: a trial user, or a counting quota member,
// still short of the target within the last TRIAL_WARN_DAYS (or
// QUOTA_WARN_DAYS) days of the trial (or of the period) is told once a
// day by newday. Exempt users, closed accounts and users who reached the
// target are never warned. With both keys absent or 0 nothing here runs,
// and no file is read or written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/output.h"
#include "config/settings.h"
#include "evaluation/records.h"
#include "stores/audit_log.h"
#include "stores/warning_store.h"

namespace quarvel {

// Where a user stands against a near deadline.
struct DeadlineWindow {
  long long days_left = 0;
  double mb_left = 0;  // above 0
};

// Whether `days_left` is within the last `warn_days` days: from the day
// `warn_days` days are left to the last day (1 left). Never with
// `warn_days` 0 or less.
bool insideWarningWindow(long long days_left, long long warn_days);

// Whether the account may be warned: known to the server, open (not
// deleted or expired) and not exempt.
bool warnableAccount(UserDatabase& users, const std::string& name);

// A trial record inside its window and short of the target; none
// otherwise. The record's own checks only: the caller judges the account.
std::optional<DeadlineWindow> trialWindow(Settings& settings, const std::string& name,
                                          const TrialRecord& record);
// The same for a counting quota member, with the period's days left.
std::optional<DeadlineWindow> quotaWindow(Settings& settings, const std::string& name,
                                          const QuotaRecord& record, long long days_left);

struct DeadlineWarning {
  WarningKind kind;
  std::string name;  // as the store spells it
  DeadlineWindow window;
};

// Everyone due a warning on `today` (MM-DD-YYYY), trials first, each store
// in file order; whether already warned today is not looked at.
std::vector<DeadlineWarning> dueWarnings(const Records& records, Settings& settings,
                                         const std::string& today);

// newday: warns everyone due who was not warned today yet: notes them in
// the warning store, commits it, then prints one announcement and writes
// one audit line per warning. When the store cannot be written, says so
// on standard error and warns nobody: a warning never goes out twice in a
// day.
void warnBeforeDeadlines(const Records& records, Settings& settings, WarningStore& warned,
                         Output& out, AuditLog& audit, Platform& platform,
                         const std::string& today);

}  // namespace quarvel
