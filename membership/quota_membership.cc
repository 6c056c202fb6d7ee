#include "membership/quota_membership.h"

#include "config/text.h"
#include "evaluation/quota_evaluation.h"
#include "membership/subcommand.h"

namespace quarvel {
namespace {

// The period keys share the store with the members but are none: deleting
// or crediting one by hand would switch the running quota off.
std::string memberRecord(QuotaStore& quota, const std::string& name) {
  return isPeriodKey(name) ? std::string() : quota.readQuotaRecord(name);
}

}  // namespace

bool addQuotaUser(const Records& records, Output& out, const std::string& typed) {
  if (!records.quota.readQuotaRecord(typed).empty()) {
    out.printLine(" " + typed + " appears to be in quota, cant add user to quota.");
    return false;
  }
  UserRecord user = records.users.lookupUser(typed);
  std::string name = trimBlanks(user.user_name);
  std::string group = trimBlanks(user.primary_group);
  if (!records.trial.readTrialRecord(typed).empty()) {
    out.printLine(" Cant add " + typed + " because (s)he is in trial!");
  } else if (!records.users.readable()) {
    records.users.reportUnreadable();
  } else if (!name.empty() && user.account_state != AccountState::kActive) {
    out.printLine(closedAccountRefusal(name, user.account_state, "quota"));
  } else if (!name.empty() && !group.empty() && user.exempt_code == 0) {
    // A hand-added member starts from nothing, however much of the period
    // has gone by.
    records.quota.putMember(name, StoreRecord{"0", QuotaStatus::kCounting, group});
    if (!records.stores.commit()) return false;
    out.printLine(" " + name + " from " + group + " was added to quota.");
  } else if (name.empty()) {
    out.printLine(" User: " + typed + " doesnt exist on FTP User Database.");
  } else if (group.empty()) {
    out.printLine(" User: " + name + " doesnt have a group.");
  } else {
    out.printLine(" User: " + name + " is excluded from quota because [" +
                  trimBlanks(user.exempt_reason) + "]");
  }
  return true;
}

void deleteQuotaUser(QuotaStore& quota, Stores& stores, Output& out, const std::string& typed) {
  if (memberRecord(quota, typed).empty()) {
    out.printLine(" " + typed + " doesn't exists in quota.");
    return;
  }
  quota.removeMember(typed);
  if (!stores.commit()) return;
  out.printLine(" " + typed + " was deleted from quota.");
}

void giveQuotaUser(QuotaStore& quota, Stores& stores, Settings& settings, Output& out,
                   const std::string& name, const std::string& amount) {
  std::string record = memberRecord(quota, name);
  if (record.empty()) {
    out.printLine(" " + name + " doesn't exists in quota.");
    return;
  }
  quota.writeQuotaRecord(creditedEntry(name, record, amount));
  if (!stores.commit()) return;
  out.printLine(gaveLine(name, amount));
  // May pass the member, or take a pass back after a negative credit.
  checkQuotaPass(quota, stores, settings, out, name);
}

}  // namespace quarvel
