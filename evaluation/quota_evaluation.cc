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

// The first of the month after `month` of `year`, and that month.
LocalDate firstOfNextMonth(int month, int year) {
  LocalDate first;
  first.day = 1;
  first.month = month == 12 ? 1 : month + 1;
  first.year = month == 12 ? year + 1 : year;
  return first;
}

std::string firstOfMonthText(const LocalDate& first) {
  return twoDigits(first.month) + "-01-" + integerForm(first.year);
}

// Enrols the accounts that have no quota record yet (created during the
// period), crediting ToGive for every day of the period already gone.
void enrolLateAccounts(const Records& records, Settings& settings, LocalDate today) {
  if (!settings.addLate() || !records.quota.periodStarted()) return;
  if (!settings.mayDecide(Decision::kExemption)) return;
  for (const std::string& account : records.users.accountList().names) {
    if (records.quota.member(account)) continue;
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
    records.quota.putMember(db_name, QuotaRecord::newMember(credit, status, user.primary_group));
  }
}

}  // namespace

void checkQuotaPass(QuotaStore& quota_store, Stores& stores, Settings& settings, Output& out,
                    const std::string& raw_name, const std::string& announced_name) {
  std::string name = trimBlanks(raw_name);
  std::optional<QuotaRecord> record = quota_store.member(name);
  // Only a member can pass.
  if (!record) return;
  double uploaded = record->uploaded.value();
  const QuotaStatus& status = record->status;
  double quota = settings.quotaUploadMB();
  if (uploaded >= quota && !status.isSettled()) {
    if (!settings.mayDecide(Decision::kQuotaPass)) return;
    quota_store.setStatus(name, *record, QuotaStatus::kPassed);
    if (!stores.commit()) return;
    out.printLine(contract::announcement(contract::kQuotaPassed,
                                         announced_name.empty() ? name : announced_name));
  } else if (status.isPassed() && uploaded < quota && settings.mayDecide(Decision::kQuotaPass)) {
    quota_store.setStatus(name, *record, QuotaStatus::kCounting);
  }
}

PeriodDates periodStartingOn(LocalDate today) {
  return {formatDate(today), firstOfMonthText(firstOfNextMonth(today.month, today.year))};
}

PeriodDates nextMonthPeriod(LocalDate today) {
  LocalDate start = firstOfNextMonth(today.month, today.year);
  return {firstOfMonthText(start), firstOfMonthText(firstOfNextMonth(start.month, start.year))};
}

void setUpNextMonthPeriod(QuotaStore& quota, LocalDate today) {
  PeriodDates period = nextMonthPeriod(today);
  quota.setPeriodStarts(period.starts);
  quota.setPeriodEnds(period.ends);
}

void startQuotaPeriod(const Records& records, Settings& settings, LocalDate today) {
  if (!settings.monthlyQuota()) return;
  PeriodDates period = periodStartingOn(today);
  records.quota.setPeriodStarts(period.starts);
  records.quota.setPeriodEnds(period.ends);
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
    records.quota.putMember(db_name, QuotaRecord::newMember(0, status, user.primary_group));
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
      if (quota.holdsRecord(name)) quota.removeMember(name);
      continue;
    }
    // A closed account's record stays as it is until the account is gone
    // from the tables: an undelete finds it again.
    if (user.account_state != AccountState::kActive) continue;
    std::optional<QuotaRecord> found = quota.member(name);
    if (!found) continue;  // a line without a value is no member
    const QuotaRecord& record = *found;
    const QuotaStatus& status = record.status;
    if (record.uploaded.value() >= settings.quotaUploadMB()) {
      checkQuotaPass(quota, records.stores, settings, out, name, trimBlanks(user.user_name));
    } else if (!settings.mayDecide(Decision::kExemption)) {
      continue;  // who is spared cannot be told
    } else if (user.exempt_code != 0) {
      quota.setStatus(name, record, QuotaStatus::kExempt);
    } else if (status.isExempt()) {
      // Leaving the exemption during a trial that still runs: the trial
      // keeps the quota suspended, as at enrolment.
      bool on_trial = records.trial.isOnTrial(name) && !records.trial.isDue(name);
      quota.setStatus(name, record, on_trial ? QuotaStatus::kSuspended : QuotaStatus::kCounting);
    } else if (status.isSuspended() && !records.trial.isOnTrial(name)) {
      quota.setStatus(name, record, QuotaStatus::kCounting);
    }
  }
  enrolLateAccounts(records, settings, today);
}

}  // namespace quarvel
