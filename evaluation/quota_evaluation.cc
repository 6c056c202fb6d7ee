#include "evaluation/quota_evaluation.h"

#include <cstdio>

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "server/contract.h"
#include "userdb/server_user_list.h"

namespace quarvel {
namespace {

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// Enrols the accounts that have no quota record yet (created during the
// period), crediting ToGive for every day of the period already gone.
void enrolLateAccounts(const Records& records, Settings& settings, LocalDate today) {
  if (!settings.addLate() || !records.quota.periodStarted()) return;
  for (const std::string& account : records.users.accountList().names) {
    if (!records.quota.readQuotaRecord(account).empty()) continue;
    long long credit = roundHalfEven(settings.toGiveMBPerDay() *
                                     daysBetween(formatDate(today), records.quota.periodStarts()));
    UserRecord user = records.users.lookupUser(account);
    std::string db_name = trimBlanks(user.user_name);
    // An account the user database does not know would give a line with an
    // empty key, which nobody could ever find; a closed one may not log in.
    if (db_name.empty() || user.account_state != AccountState::kActive) continue;
    // A user on trial is suspended, as at the start of the period: the
    // quota must not punish a trial that is still running.
    const char* status = records.trial.isOnTrial(db_name) ? QuotaStatus::kSuspended
                         : user.exempt_code == 0          ? QuotaStatus::kCounting
                                                          : QuotaStatus::kExempt;
    records.quota.putMember(db_name, StoreRecord{integerForm(credit), status, user.primary_group});
  }
}

}  // namespace

void checkQuotaPass(QuotaStore& quota_store, Stores& stores, Settings& settings, Output& out,
                    const std::string& raw_name, const std::string& announced_name) {
  std::string name = trimBlanks(raw_name);
  std::string value = quota_store.readQuotaRecord(name);
  // Only a member can pass.
  if (value.empty()) return;
  StoreRecord record = StoreRecord::parse(value);
  double uploaded = record.uploadedMB();
  QuotaStatus status(record.second);
  double quota = settings.quotaUploadMB();
  if (uploaded >= quota && !status.isSettled()) {
    quota_store.setStatus(name, record, QuotaStatus::kPassed);
    if (!stores.commit()) return;
    out.printLine(contract::announcement(contract::kQuotaPassed,
                                         announced_name.empty() ? name : announced_name));
  } else if (status.isPassed() && uploaded < quota) {
    quota_store.setStatus(name, record, QuotaStatus::kCounting);
  }
}

void startQuotaPeriod(const Records& records, Settings& settings, LocalDate today) {
  if (!settings.monthlyQuota()) return;
  int month = today.month + 1;
  int year = today.year;
  if (today.month == 12) {
    month = 1;
    year += 1;
  }
  records.quota.setPeriodStarts(formatDate(today));
  records.quota.setPeriodEnds(twoDigits(month) + "-01-" + integerForm(year));
  for (const std::string& account : records.users.accountList().names) {
    UserRecord user = records.users.lookupUser(account);
    std::string db_name = trimBlanks(user.user_name);
    // Deleted and expired accounts may not log in: nothing to enrol.
    if (db_name.empty() || user.account_state != AccountState::kActive) continue;
    // A trial that ran out and waits for its punishment suspends nothing.
    bool on_trial = records.trial.isOnTrial(db_name) && !records.trial.isDue(db_name);
    const char* status = on_trial                ? QuotaStatus::kSuspended
                         : user.exempt_code == 0 ? QuotaStatus::kCounting
                                                 : QuotaStatus::kExempt;
    records.quota.putMember(db_name, StoreRecord{"0", status, user.primary_group});
  }
  records.quota.markPeriodStarted();
}

void evaluateQuotaDaily(const Records& records, Settings& settings, Output& out, LocalDate today) {
  QuotaStore& quota = records.quota;
  for (const std::string& listed : quota.listQuotaUsers()) {
    std::string name = trimBlanks(listed);
    if (name.empty()) continue;
    UserRecord user = records.users.lookupUser(name);
    if (user.user_name.empty()) {
      quota.removeMember(name);
      continue;
    }
    // A closed account's record stays as it is until the account is gone
    // from the tables: an undelete finds it again.
    if (user.account_state != AccountState::kActive) continue;
    std::string value = quota.readQuotaRecord(name);
    if (value.empty()) continue;  // a line without a value is no member
    StoreRecord record = StoreRecord::parse(value);
    QuotaStatus status(record.second);
    if (record.uploadedMB() >= settings.quotaUploadMB()) {
      checkQuotaPass(quota, records.stores, settings, out, name, trimBlanks(user.user_name));
    } else if (user.exempt_code != 0) {
      quota.setStatus(name, record, QuotaStatus::kExempt);
    } else if (status.isExempt()) {
      quota.setStatus(name, record, QuotaStatus::kCounting);
    } else if (status.isSuspended() && !records.trial.isOnTrial(name)) {
      quota.setStatus(name, record, QuotaStatus::kCounting);
    }
  }
  enrolLateAccounts(records, settings, today);
}

}  // namespace quarvel
