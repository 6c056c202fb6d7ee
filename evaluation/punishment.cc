#include "evaluation/punishment.h"

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "evaluation/targets.h"
#include "server/contract.h"

namespace quarvel {
namespace {

std::string why(PunishVerdict verdict, const UserRecord& user) {
  switch (verdict) {
    case PunishVerdict::kClosedAccount:
      return "not punished: the account is " + accountStateWord(user.account_state) +
             " on the server";
    case PunishVerdict::kExempt:
      return "not punished: exempt now";
    case PunishVerdict::kUnknownAccount:
      return "not punished: no such account on the server";
    case PunishVerdict::kAdminAccount:
      return "not punished: the admin login's own account";
    case PunishVerdict::kPunish:
      break;
  }
  return std::string();
}

// "SITE DELUSER name", or "SITE DELUSER name reason" when a reason is set.
std::string deleteCommand(const std::string& name, const std::string& reason) {
  return contract::kSiteDelUser + name + (reason.empty() ? "" : " " + reason);
}

PunishVerdict verdictFor(const Punishment& punishment, const std::string& name, UserRecord* user) {
  *user = punishment.users.lookupUser(name);
  return punishVerdict(*user, name, punishment.settings.adminUser());
}

}  // namespace

PunishVerdict punishVerdict(const UserRecord& user, const std::string& name,
                            const std::string& admin_user) {
  std::string admin = trimBlanks(admin_user);
  std::string known = trimBlanks(user.user_name);
  if (!admin.empty() &&
      (equalsIgnoringCase(trimBlanks(name), admin) || equalsIgnoringCase(known, admin))) {
    return PunishVerdict::kAdminAccount;
  }
  if (known.empty()) return PunishVerdict::kUnknownAccount;
  if (user.account_state != AccountState::kActive) return PunishVerdict::kClosedAccount;
  if (user.exempt_code != 0) return PunishVerdict::kExempt;
  return PunishVerdict::kPunish;
}

namespace {

// Sends one command for the user and reports it to the audit log, and to
// standard error when it failed. A kick also counts as done when the server
// answered with a refusal (the user was not online). True when done.
bool sendForUser(const Punishment& punishment, const std::string& user, const std::string& command,
                 const std::string& reason, bool any_answer_will_do = false) {
  // What the run changed is on disk before it acts on the server; stores
  // that cannot be saved send nothing (the user stays due).
  if (!punishment.stores.commit()) return false;
  AdminSession& session = punishment.session;
  SiteReply reply = session.send(command);
  bool done = reply.done() || (any_answer_will_do && reply.outcome == SiteOutcome::kRefused);
  punishment.audit.action(user, command, reply.describe(),
                          std::string(done ? "done" : "failed, stays due") +
                              (reason.empty() ? "" : "; reason: " + reason));
  if (!done && !session.dry()) {
    punishment.platform.writeErrorLine(user + " stays due: " + command + ": " + reply.describe());
  }
  return done;
}

// Why a member of an ended period is punished, with the figures: "3 of 10
// MB uploaded in the period 11-01-2026 to 11-30-2026". A punishment left
// due from an earlier period end has its record no more.
std::string quotaReason(const Punishment& punishment, QuotaStore& quota, const std::string& name,
                        bool retry) {
  if (retry) return "the quota was missed in a period before, and the punishment left due";
  std::optional<QuotaRecord> record = quota.member(name);
  double uploaded = record ? record->uploaded.value() : 0;
  return plainForm(uploaded) + " of " + plainForm(quotaTargetMB(punishment.settings, name)) +
         " MB uploaded in the period " + quota.periodStarts() + " to " +
         dateAfterDays(quota.periodEnds(), -1);
}

}  // namespace

std::string trialReason(double uploaded_mb, double target_mb, long long trial_days) {
  return "the trial ended with " + plainForm(uploaded_mb) + " of " + plainForm(target_mb) +
         " MB uploaded in " + integerForm(trial_days) + " days";
}

PunishOutcome punishTrialUser(const Punishment& punishment, Output& out, const PunishRule& rule,
                              const std::string& name, const std::string& reason) {
  // Never on a setting that is not valid: the user stays due until it is.
  if (!punishment.settings.mayDecide(Decision::kTrialPunish)) return PunishOutcome::kLeftDue;
  if (rule.punishment != 1 && rule.punishment != 2) return PunishOutcome::kDone;
  if (!punishment.settings.mayDecide(Decision::kExemption)) return PunishOutcome::kLeftDue;
  // A name the database does not know is still sent: the server decides.
  UserRecord user;
  PunishVerdict verdict = verdictFor(punishment, name, &user);
  if (verdict == PunishVerdict::kExempt || verdict == PunishVerdict::kAdminAccount ||
      verdict == PunishVerdict::kClosedAccount) {
    punishment.audit.note(name, why(verdict, user));
    return PunishOutcome::kSpared;
  }
  if (rule.punishment == 1) {
    if (!sendForUser(punishment, name, deleteCommand(name, punishment.settings.trialDeleteReason()),
                     reason)) {
      return PunishOutcome::kLeftDue;
    }
    out.printLine(contract::announcement(contract::kUserDeletedOnSite, name));
    return PunishOutcome::kDone;
  }
  std::string command = contract::kSiteChange + name + contract::kFlagsAdd + rule.disable_flag;
  // Deliberate output, not a debugging leftover: this exact line comes
  // before the disable command, as it always has, for whoever reads the run.
  out.printLine("wtf - " + command);
  if (!sendForUser(punishment, name, command, reason)) return PunishOutcome::kLeftDue;
  out.printLine(contract::announcement(contract::kUserDisabledOnSite, name));
  return PunishOutcome::kDone;
}

PunishOutcome punishQuotaUser(const Punishment& punishment, QuotaStore& quota,
                              const PunishRule& rule, const std::string& name, bool retry) {
  // Never on a setting that is not valid: the user stays due until it is.
  if (!punishment.settings.mayDecide(Decision::kQuotaPunish)) return PunishOutcome::kLeftDue;
  if ((rule.punishment == 1 || rule.punishment == 2) &&
      !punishment.settings.mayDecide(Decision::kExemption)) {
    return PunishOutcome::kLeftDue;
  }
  UserRecord user;
  PunishVerdict verdict = verdictFor(punishment, name, &user);
  std::string db_name = trimBlanks(user.user_name);
  if (!retry && quota.statusOf(name).isPassed()) return PunishOutcome::kDone;

  PunishOutcome outcome = PunishOutcome::kDone;
  if (verdict != PunishVerdict::kPunish) {
    // The empty name of a period without members is nobody to tell about.
    if (!trimBlanks(name).empty()) punishment.audit.note(name, why(verdict, user));
    outcome = PunishOutcome::kSpared;
  } else if (rule.punishment == 1 || rule.punishment == 2) {
    std::string second =
        rule.punishment == 1
            ? deleteCommand(db_name, punishment.settings.quotaDeleteReason())
            : contract::kSiteChange + db_name + contract::kFlagsAdd + rule.disable_flag;
    std::string reason = quotaReason(punishment, quota, name, retry);
    if (!sendForUser(punishment, db_name, contract::kSiteKick + db_name, reason, true) ||
        !sendForUser(punishment, db_name, second, reason)) {
      return PunishOutcome::kLeftDue;
    }
    if (punishment.announcements != nullptr && punishment.settings.quotaAnnounce()) {
      const char* tag = rule.punishment == 1 ? contract::kQuotaDeleted : contract::kQuotaDisabled;
      punishment.announcements->printLine(contract::announcement(tag, db_name));
    }
  }
  // An unknown user has no record to delete; writing "=" would only rewrite
  // the file.
  if (!retry && !db_name.empty()) quota.removeMember(db_name);
  return outcome;
}

}  // namespace quarvel
