// Deciding trial passes, and the trial half of the daily evaluation.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "config/output.h"
#include "evaluation/punishment.h"
#include "evaluation/records.h"
#include "platform/platform.h"
#include "server/admin_session.h"
#include "stores/audit_log.h"

namespace quarvel {

// What a pass takes beyond the records: the target (TRIAL_UPLOAD, in
// megabytes as set, fractions kept), the command sent for the user (TRIAL_ONPASS, "$USER" for the
// name; empty: none), the login it goes on, and where a command that was
// not done is told (the audit log, and standard error through `platform`).
struct TrialPass {
  double target_mb;
  std::string command;
  // A login of its own, ended with QUIT when the object goes.
  std::function<std::unique_ptr<AdminSession>()> new_session;
  AuditLog& audit;
  Platform& platform;
  // Whether the target may be decided on (TRIAL_UPLOAD valid), asked only
  // once a user stands to pass; when it may not, the credit stays and the
  // user stays on trial.
  std::function<bool()> target_valid;
};

// For a user with a trial record: at the target or more, sends the pass
// command on a fresh admin login, deletes the record, announces
// PassedTrial and gives a suspended quota record back.
void checkTrialPass(const Records& records, Output& out, const TrialPass& pass,
                    const std::string& name);

// checkup: removes trial records of users the server no longer knows, and
// passes users who reached the target (a target lowered under them, or a
// pass that an earlier run did not finish) as an upload would.
void evaluateTrialsDaily(const Records& records, Output& out, const TrialPass& pass);

// `days` days off a trial's days left: the first as a single day always
// did (halves to even), then one per further day, stopping at 0 where the
// trial ran out. An entry already at 0 or below never runs out.
long long countedDown(const StoredNumber& days_left, int days);

// newday: counts the trials down by the days since the last count (none on
// the same date): the number of days counted. Trials already due and those
// of closed accounts (held, so that an undelete finds them as they were)
// are left as they are. The date counted goes into the store with the
// days, in one commit.
int countDownTrials(TrialStore& trial, UserDatabase& users, AuditLog& audit,
                    const std::string& today);

// Punishes, in file order, the trials that ran out in this count (none when
// nothing was `counted`) and those still due from an earlier run. All of
// them are on the due list before the first command goes out (in the
// commit that counted the day), and each leaves it, with its record, once
// punished (or spared): a run stopped in between leaves the rest due for
// the next run, never a trial at 0 days that nothing would ever punish.
void punishExpiredTrials(const Punishment& punishment, TrialStore& trial, Output& out,
                         const PunishRule& rule, bool counted);

}  // namespace quarvel
