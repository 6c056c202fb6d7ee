// Deciding trial passes, and the trial half of the daily evaluation.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "config/output.h"
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

}  // namespace quarvel
