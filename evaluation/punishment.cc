#include "evaluation/punishment.h"

#include "config/text.h"
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
std::string deleteCommand(Run& run, const std::string& name, const char* reason_key) {
  std::string reason = run.configValue(reason_key);
  return contract::kSiteDelUser + name + (reason.empty() ? "" : " " + reason);
}

PunishVerdict verdictFor(Run& run, const std::string& name, UserRecord* user) {
  *user = run.users.lookupUser(name);
  return punishVerdict(*user, name, run.configValue("FTP_USER"));
}

}  // namespace

PunishVerdict punishVerdict(const UserRecord& user, const std::string& name,
                            const std::string& admin_user) {
  std::string admin = trimBlanks(admin_user);
  std::string known = trimBlanks(user.user_name);
  if (!admin.empty() && (equalsIgnoringCase(trimBlanks(name), admin) ||
                         equalsIgnoringCase(known, admin))) {
    return PunishVerdict::kAdminAccount;
  }
  if (known.empty()) return PunishVerdict::kUnknownAccount;
  if (user.account_state != AccountState::kActive) return PunishVerdict::kClosedAccount;
  if (user.exempt_code != 0) return PunishVerdict::kExempt;
  return PunishVerdict::kPunish;
}

bool sendForUser(Run& run, AdminSession& session, const std::string& user,
                 const std::string& command, bool any_answer_will_do) {
  // What the run changed is on disk before it acts on the server; stores
  // that cannot be saved send nothing (the user stays due).
  if (!run.stores.commit()) return false;
  SiteReply reply = session.send(command);
  bool done = reply.done() || (any_answer_will_do && reply.outcome == SiteOutcome::kRefused);
  run.audit.action(user, command, reply.describe(), done ? "done" : "failed, stays due");
  if (!done && !session.dry()) run.platform.writeErrorLine(user + " stays due: " + command + ": " + reply.describe());
  return done;
}

PunishOutcome punishTrialUser(Run& run, AdminSession& session, const std::string& name) {
  long long punishment = run.settings.trial_punishment;
  if (punishment != 1 && punishment != 2) return PunishOutcome::kDone;
  // A name the database does not know is still sent: the server decides.
  UserRecord user;
  PunishVerdict verdict = verdictFor(run, name, &user);
  if (verdict == PunishVerdict::kExempt || verdict == PunishVerdict::kAdminAccount ||
      verdict == PunishVerdict::kClosedAccount) {
    run.audit.note(name, why(verdict, user));
    return PunishOutcome::kSpared;
  }
  if (punishment == 1) {
    if (!sendForUser(run, session, name, deleteCommand(run, name, "TRIAL_DELETE_REASON"))) {
      return PunishOutcome::kLeftDue;
    }
    run.printLine(contract::announcement(contract::kUserDeletedOnSite, name));
    return PunishOutcome::kDone;
  }
  std::string command =
      contract::kSiteChange + name + contract::kFlagsAdd + run.settings.trial_disable_flag;
  // Deliberate output, not a debugging leftover: this exact line comes
  // before the disable command, as it always has, for whoever reads the run.
  run.printLine("wtf - " + command);
  if (!sendForUser(run, session, name, command)) return PunishOutcome::kLeftDue;
  run.printLine(contract::announcement(contract::kUserDisabledOnSite, name));
  return PunishOutcome::kDone;
}

PunishOutcome punishQuotaUser(Run& run, AdminSession& session, const std::string& name,
                              bool retry) {
  UserRecord user;
  PunishVerdict verdict = verdictFor(run, name, &user);
  std::string db_name = trimBlanks(user.user_name);
  if (!retry && QuotaStatus(run.quota.member(name).second).isPassed()) return PunishOutcome::kDone;

  PunishOutcome outcome = PunishOutcome::kDone;
  if (verdict != PunishVerdict::kPunish) {
    // The empty name of a period without members is nobody to tell about.
    if (!trimBlanks(name).empty()) run.audit.note(name, why(verdict, user));
    outcome = PunishOutcome::kSpared;
  } else if (run.settings.quota_punishment == 1 || run.settings.quota_punishment == 2) {
    std::string second = run.settings.quota_punishment == 1
                             ? deleteCommand(run, db_name, "QUOTA_DELETE_REASON")
                             : contract::kSiteChange + db_name + contract::kFlagsAdd +
                                   run.settings.quota_disable_flag;
    if (!sendForUser(run, session, db_name, contract::kSiteKick + db_name, true) ||
        !sendForUser(run, session, db_name, second)) {
      return PunishOutcome::kLeftDue;
    }
  }
  // An unknown user has no record to delete; writing "=" would only rewrite
  // the file.
  if (!retry && !db_name.empty()) run.quota.removeMember(db_name);
  return outcome;
}

}  // namespace quarvel
