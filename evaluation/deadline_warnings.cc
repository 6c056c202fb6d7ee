#include "evaluation/deadline_warnings.h"

#include "config/file_errors.h"
#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "evaluation/targets.h"
#include "server/contract.h"

namespace quarvel {
namespace {

std::optional<DeadlineWindow> windowFor(long long days_left, long long warn_days, double target,
                                        double uploaded) {
  if (!insideWarningWindow(days_left, warn_days) || !(uploaded < target)) return std::nullopt;
  return DeadlineWindow{days_left, target - uploaded};
}

}  // namespace

bool warnableAccount(UserDatabase& users, const std::string& name) {
  UserRecord user = users.lookupUser(name);
  return !trimBlanks(user.user_name).empty() && user.account_state == AccountState::kActive &&
         user.exempt_code == 0;
}

bool insideWarningWindow(long long days_left, long long warn_days) {
  return warn_days > 0 && days_left >= 1 && days_left <= warn_days;
}

std::optional<DeadlineWindow> trialWindow(Settings& settings, const std::string& name,
                                          const TrialRecord& record) {
  return windowFor(record.days_left.wholeValue(), settings.trialWarnDays(),
                   trialTargetMB(settings, name), record.uploaded.value());
}

std::optional<DeadlineWindow> quotaWindow(Settings& settings, const std::string& name,
                                          const QuotaRecord& record, long long days_left) {
  if (!record.status.isCounting()) return std::nullopt;
  return windowFor(days_left, settings.quotaWarnDays(), quotaTargetMB(settings, name),
                   record.uploaded.value());
}

std::vector<DeadlineWarning> dueWarnings(const Records& records, Settings& settings,
                                         const std::string& today) {
  std::vector<DeadlineWarning> due;
  // A warning weighs the user against a target and skips the exempt: it
  // waits, as a pass or punishment would, while either rests on an
  // invalid setting.
  if (!settings.mayDecide(Decision::kExemption)) return due;
  if (settings.trialWarnDays() > 0 && records.trial.file().exists() &&
      settings.mayDecide(Decision::kTrialPass)) {
    for (const TrialMember& member : records.trial.membersInFileOrder()) {
      // A trial that ran out waits for its punishment, not for a warning.
      if (member.name.empty() || records.trial.isDue(member.name)) continue;
      std::optional<DeadlineWindow> window = trialWindow(settings, member.name, member.record);
      if (window && warnableAccount(records.users, member.name)) {
        due.push_back({WarningKind::kTrial, member.name, *window});
      }
    }
  }
  if (settings.quotaWarnDays() > 0 && records.quota.file().exists() &&
      records.quota.periodStarted() && settings.mayDecide(Decision::kQuotaPass)) {
    long long days_left = daysBetween(records.quota.periodEnds(), today);
    for (const std::string& key : records.quota.listQuotaUsers()) {
      std::string name = trimBlanks(key);
      if (name.empty()) continue;
      std::optional<QuotaRecord> record = records.quota.member(name);
      if (!record) continue;
      std::optional<DeadlineWindow> window = quotaWindow(settings, name, *record, days_left);
      if (window && warnableAccount(records.users, name)) {
        due.push_back({WarningKind::kQuota, name, *window});
      }
    }
  }
  return due;
}

void warnBeforeDeadlines(const Records& records, Settings& settings, WarningStore& warned,
                         Output& out, AuditLog& audit, Platform& platform,
                         const std::string& today) {
  if (settings.trialWarnDays() <= 0 && settings.quotaWarnDays() <= 0) return;
  // Unread, the user database would make every user look gone.
  if (!records.users.readable()) return;
  std::vector<DeadlineWarning> to_send;
  for (DeadlineWarning& warning : dueWarnings(records, settings, today)) {
    if (!warned.warnedOn(warning.kind, warning.name, today)) to_send.push_back(warning);
  }
  if (to_send.empty()) return;
  warned.keepOnly(today);
  for (const DeadlineWarning& warning : to_send)
    warned.markWarned(warning.kind, warning.name, today);
  FileError error = warned.commit();
  if (error != FileError::kNone) {
    platform.writeErrorLine("No warning sent: " + warned.path() + " could not be written (error " +
                            std::to_string(runtimeErrorNumber(error)) + ")");
    return;
  }
  for (const DeadlineWarning& warning : to_send) {
    bool trial = warning.kind == WarningKind::kTrial;
    std::string days = integerForm(warning.window.days_left);
    std::string mb = oneDecimalForm(warning.window.mb_left);
    out.printLine(contract::announcement(trial ? contract::kTrialWarning : contract::kQuotaWarning,
                                         warning.name, {days, mb}));
    audit.note(warning.name, std::string("warned: ") + (trial ? "trial" : "quota period") +
                                 " ends in " + days + " days, " + mb + " MB to go");
  }
}

}  // namespace quarvel
