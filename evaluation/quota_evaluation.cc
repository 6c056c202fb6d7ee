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

// The record under `name` with its uploaded amount and group kept and the
// status replaced.
void writeStatus(Run& run, const std::string& name, const std::string& record, const char* status) {
  run.quota.writeQuotaRecord(name + "=" + field(record, "::", 1) + "::" + status +
                             "::" + field(record, "::", 3));
}

double quotaUpload(Run& run) { return readNumber(run.configValue("QUOTA_UPLOAD")); }

bool isSettledStatus(const std::string& status) {
  return status == "1" || status == "2" || status == "3";
}

// Enrols the accounts that have no quota record yet (created during the
// period), crediting ToGive for every day of the period already gone.
void enrolLateAccounts(Run& run) {
  if (run.configValue("AddLate") != "1" ||
      run.quota.readQuotaRecord("setup_quota_started") != "1") {
    return;
  }
  for (const std::string& account : run.users.accountList().names) {
    if (!run.quota.readQuotaRecord(account).empty()) continue;
    long long credit =
        roundHalfEven(readNumber(run.configValue("ToGive")) *
                      daysBetween(run.today(), run.quota.readQuotaRecord("setup_quota_starts")));
    run.users.lookupUser(account);
    const UserRecord& user = run.users.current();
    std::string db_name = trimBlanks(user.user_name);
    // An account the user database does not know would give a line with an
    // empty key, which nobody could ever find; a closed one may not log in.
    if (db_name.empty() || user.account_state != AccountState::kActive) continue;
    // A user on trial is suspended, as at the start of the period: the
    // quota must not punish a trial that is still running.
    const char* status = !run.trial.readTrialRecord(db_name).empty() ? "::2::"
                         : user.exempt_code == 0                     ? "::0::"
                                                                     : "::3::";
    run.quota.writeQuotaRecord(db_name + "=" + integerForm(credit) + status + user.primary_group);
  }
}

}  // namespace

void checkQuotaPass(Run& run, const std::string& raw_name, const std::string& announced_name) {
  std::string name = trimBlanks(raw_name);
  std::string record = run.quota.readQuotaRecord(name);
  // Only a member can pass.
  if (record.empty()) return;
  double uploaded = readNumber(field(record, "::", 1));
  std::string status = field(record, "::", 2);
  double quota = quotaUpload(run);
  if (uploaded >= quota && !isSettledStatus(status)) {
    run.printLine(contract::announcement(contract::kQuotaPassed,
                                         announced_name.empty() ? name : announced_name));
    writeStatus(run, name, record, "1");
  } else if (status == "1" && uploaded < quota) {
    writeStatus(run, name, record, "0");
  }
}

void startQuotaPeriod(Run& run) {
  if (readNumber(run.configValue("QUOTA_TYPE")) != 1) return;
  LocalDate today = run.platform.today();
  int month = today.month + 1;
  int year = today.year;
  if (today.month == 12) {
    month = 1;
    year += 1;
  }
  run.quota.writeQuotaRecord("setup_quota_starts=" + formatDate(today));
  run.quota.writeQuotaRecord("setup_quota_ends=" + twoDigits(month) + "-01-" + integerForm(year));
  for (const std::string& account : run.users.accountList().names) {
    run.users.lookupUser(account);
    const UserRecord& user = run.users.current();
    std::string db_name = trimBlanks(user.user_name);
    // Deleted and expired accounts may not log in: nothing to enrol.
    if (db_name.empty() || user.account_state != AccountState::kActive) continue;
    const char* literal = !run.trial.readTrialRecord(db_name).empty() ? "=0::2::"
                          : user.exempt_code == 0                     ? "=0::0::"
                                                                      : "=0::3::";
    run.quota.writeQuotaRecord(db_name + literal + user.primary_group);
  }
  run.quota.writeQuotaRecord("setup_quota_started=1");
}

void evaluateQuotaDaily(Run& run) {
  for (const std::string& listed : run.quota.listQuotaUsers()) {
    std::string name = trimBlanks(listed);
    if (name.empty()) continue;
    run.users.lookupUser(name);
    const UserRecord& user = run.users.current();
    if (user.user_name.empty()) {
      run.quota.writeQuotaRecord(name + "=");
      continue;
    }
    // A closed account's record stays as it is until the account is gone
    // from the tables: an undelete finds it again.
    if (user.account_state != AccountState::kActive) continue;
    std::string record = run.quota.readQuotaRecord(name);
    if (record.empty()) continue;  // a line without a value is no member
    std::string status = field(record, "::", 2);
    if (readNumber(field(record, "::", 1)) >= quotaUpload(run)) {
      checkQuotaPass(run, name, trimBlanks(user.user_name));
    } else if (user.exempt_code != 0) {
      writeStatus(run, name, record, "3");
    } else if (status == "3") {
      writeStatus(run, name, record, "0");
    } else if (status == "2" && run.trial.readTrialRecord(name).empty()) {
      writeStatus(run, name, record, "0");
    }
  }
  enrolLateAccounts(run);
}

}  // namespace quarvel
