#include "membership/trial_membership.h"

#include "config/numbers.h"
#include "config/text.h"
#include "membership/subcommand.h"
#include "server/contract.h"

namespace quarvel {

bool addTrialUser(const Records& records, Output& out, long long trial_days,
                  const std::string& typed) {
  if (records.trial.isOnTrial(typed)) {
    out.printLine(" " + typed + " already exists in trial.");
    return false;
  }
  if (!records.users.readable()) {
    records.users.reportUnreadable();
    return false;
  }
  UserRecord user = records.users.lookupUser(typed);
  std::string name = trimBlanks(user.user_name);
  std::string group = trimBlanks(user.primary_group);
  if (name.empty()) {
    out.printLine(" User: " + typed + " doesnt exist on FTP User Database.");
    return false;
  }
  // The server refuses the login of a deleted or expired account.
  if (user.account_state != AccountState::kActive) {
    out.printLine(closedAccountRefusal(name, user.account_state, "trial"));
    return false;
  }
  if (group.empty()) {
    out.printLine(" User: " + name + " doesnt have a group.");
    return false;
  }
  // The quota is suspended while the user is on trial; a refused add leaves
  // the quota record as it was. The suspension goes to disk first: found
  // alone (the run stopped in between), it is given back by the next
  // checkup, whereas a trial beside a counting quota record could be
  // punished by the period's end.
  if (std::optional<QuotaRecord> quota = records.quota.member(typed)) {
    records.quota.setStatus(typed, *quota, QuotaStatus::kSuspended);
  }
  // The record takes the database's spelling of the name.
  records.trial.putMember(name, TrialRecord::newMember(trial_days, group));
  if (!records.stores.commit(Stores::Order::kQuotaFirst)) return false;
  out.printLine(contract::announcement(contract::kUserAdded, name));
  out.printLine(" " + name + " from " + group + " was added to trial.");
  return true;
}

void deleteTrialUser(const Records& records, Output& out, const std::string& typed) {
  if (!records.trial.isOnTrial(typed)) {
    out.printLine(" " + typed + " doesn't exists in trial.");
    return;
  }
  records.trial.removeMember(typed);
  if (!records.stores.commit()) return;
  out.printLine(contract::announcement(contract::kUserDeleted, typed));
  out.printLine(" " + typed + " was deleted from trial.");
  std::optional<QuotaRecord> quota = records.quota.member(typed);
  if (!quota) return;
  // Back to counting, or excluded when the user is exempt now; a user the
  // server no longer knows leaves the quota too. Committed later: a
  // suspended record without a trial is given back by the next checkup,
  // should this run stop before. Whether the user is still known cannot be
  // told while the user database cannot be read: the record waits.
  if (!records.users.readable()) {
    records.users.reportUnreadable();
    return;
  }
  UserRecord user = records.users.lookupUser(typed);
  if (user.user_name.empty()) {
    records.quota.removeMember(typed);
  } else {
    records.quota.setStatus(typed, *quota,
                            user.exempt_code == 0 ? QuotaStatus::kCounting : QuotaStatus::kExempt);
  }
}

void giveTrialUser(const Records& records, Output& out, const TrialPass& pass,
                   const std::string& name, const std::string& amount) {
  std::optional<TrialRecord> record = records.trial.member(name);
  if (!record) {
    out.printLine(" " + name + " doesn't exists in trial.");
    return;
  }
  records.trial.putMember(name, record->credited(givenMB(amount)));
  if (!records.stores.commit()) return;
  out.printLine(gaveLine(name, amount));
  checkTrialPass(records, out, pass, name);
}

}  // namespace quarvel
