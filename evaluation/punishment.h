// Acting on the server: the trial and quota punishments, each confirmed by
// the server's replies. A punishment counts as done only when the server
// accepted its commands; then its announcement is printed and the caller
// removes the record. One that could not be done leaves the user due: the
// caller keeps the user for the next run, and standard error and the audit
// log say which command failed and what the server answered.
#pragma once

#include <string>

#include "config/output.h"
#include "config/settings.h"
#include "platform/platform.h"
#include "server/admin_session.h"
#include "stores/audit_log.h"
#include "stores/quota_store.h"
#include "stores/stores.h"
#include "userdb/user_database.h"

namespace quarvel {

// Whether a user may be sent a punishment now.
enum class PunishVerdict {
  kPunish,
  kExempt,          // exempt by the rules as they stand now
  kUnknownAccount,  // the user database does not know the name
  kClosedAccount,   // the server has closed it already (deleted or expired)
  kAdminAccount,    // the admin login's own account (FTP_USER)
};

// The one place that decides who may be punished, checked just before any
// punishment command is sent. A closed account is not punished, and no
// longer due: the server already keeps it from logging in, and an operator
// who opens it again has decided about it.
PunishVerdict punishVerdict(const UserRecord& user, const std::string& name,
                            const std::string& admin_user);

// What a punishment reads and where it acts: the user database that says
// who may be punished, the settings (FTP_USER and the delete reasons), the
// session the commands go on, the stores
// committed before each command, the audit log that accounts for each, and
// standard error (through `platform`) for one that was not done.
struct Punishment {
  UserDatabase& users;
  Settings& settings;
  AdminSession& session;
  Stores& stores;
  AuditLog& audit;
  Platform& platform;
  // Where a quota punishment done is announced when QUOTA_ANNOUNCE asks
  // for it; none keeps it silent.
  Output* announcements = nullptr;
};

// A punishment setting (TRIAL_PUNISHMENT or QUOTA_PUNISHMENT) and the flag
// its disabling sets.
struct PunishRule {
  long long punishment = 0;
  std::string disable_flag;
};

enum class PunishOutcome {
  kDone,     // punished (or nothing to send): the record may go
  kSpared,   // not to be punished (exempt, the admin account, ...): the record may go
  kLeftDue,  // not done: the user stays due
};

// TRIAL_PUNISHMENT 1: SITE DELUSER (with TRIAL_DELETE_REASON); 2: SITE CHANGE
// ... FLAGS +flag. Announces UDelSite / UDisSite on `out` once the server
// accepted.
// `reason` says why, with the figures (see trialReason), in the audit log.
PunishOutcome punishTrialUser(const Punishment& punishment, Output& out, const PunishRule& rule,
                              const std::string& name, const std::string& reason = "");

// "the trial ended with 2 of 5000 MB uploaded in 14 days"
std::string trialReason(double uploaded_mb, double target_mb, long long trial_days);

// QUOTA_PUNISHMENT 1: kick and delete (with QUOTA_DELETE_REASON); 2: kick and
// disable; once the server accepted, QuotaDEL / QuotaDIS is announced when
// QUOTA_ANNOUNCE asks for it. The audit log gives the reason with the
// member's figures for the period. A member who passed is left alone. At a period end (`retry`
// false) the member's record is deleted unless the user stays due; a retry
// of a pending punishment leaves the records of the running period alone.
PunishOutcome punishQuotaUser(const Punishment& punishment, QuotaStore& quota,
                              const PunishRule& rule, const std::string& name, bool retry = false);

}  // namespace quarvel
