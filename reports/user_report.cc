#include "reports/user_report.h"

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "evaluation/targets.h"
#include "reports/standing.h"
#include "reports/templates.h"

namespace quarvel {
namespace {

// "$BOLD", "$SITENAME", "$USER", "$GROUP" from the user's record.
Substitutions userTokens(Config& config, const UserRecord& user) {
  return {boldToken(),
          siteNameToken(config),
          {"$USER", trimBlanks(user.user_name)},
          {"$GROUP", trimBlanks(user.primary_group)}};
}

void reportTrialUser(const ReportSources& sources, long long target_mb, const UserRecord& user,
                     const TrialRecord& record) {
  Standing standing = trialStanding(record, target_mb);
  Substitutions first = userTokens(sources.config, user);
  first.push_back({"$SHOWL", integerForm(standing.required)});
  std::string line = renderTemplate(sources.config, "Irc_Trial_Uinfo", first);
  sources.out.printLine(substitute(line, trialAmountTokens(standing)));
}

void reportQuotaUser(const ReportSources& sources, const std::string& today, const UserRecord& user,
                     const QuotaRecord& record) {
  double status = record.status.number();
  std::string key;
  Substitutions first = userTokens(sources.config, user);
  if (status <= 1) {
    key = "Irc_Quota_Uinfo";
  } else if (status == 3) {
    key = "Irc_Quota_EXEMPTED_Uinfo";
    first.push_back({"$EXCUSE", trimBlanks(user.exempt_reason)});
  } else {
    return;  // suspended while on trial, or an unknown status: nothing to say
  }
  long long required = roundHalfEven(quotaTargetMB(sources.settings, user.user_name));
  long long days_left = daysBetween(sources.quota.periodEnds(), today);
  Standing standing = quotaStanding(record, required, days_left);
  std::string line = renderTemplate(sources.config, key, first);
  sources.out.printLine(substitute(line, quotaAmountTokens(standing)));
}

void reportOutsider(const ReportSources& sources, const UserRecord& user) {
  Config& config = sources.config;
  bool started = sources.quota.periodStarted();
  bool late = sources.settings.addLate();
  if (!started) {
    sources.out.printLine(
        renderTemplate(config, "Irc_Quota_Not_Started", {boldToken(), siteNameToken(config)}));
  } else if (late) {
    sources.out.printLine(renderTemplate(config, "Irc_Quota_Yet", userTokens(config, user)));
  } else {
    sources.out.printLine(renderTemplate(config, "Irc_Quota_Next", userTokens(config, user)));
  }
}

}  // namespace

void reportUser(const ReportSources& sources, long long trial_target_mb, const std::string& today,
                const std::string& name) {
  UserRecord user = sources.users.lookupUser(name);
  if (trimBlanks(user.user_name).empty()) {
    sources.out.printLine(
        renderTemplate(sources.config, "Irc_No_User",
                       {boldToken(), siteNameToken(sources.config), {"$USER", name}}));
    return;
  }
  // A closed account has no standing to show; its records wait for an
  // undelete or the purge.
  if (user.account_state != AccountState::kActive) {
    sources.out.printLine(closedAccountLine(sources.config, false, trimBlanks(user.user_name),
                                            trimBlanks(user.primary_group), user.account_state));
    return;
  }
  // A user in both stores is reported as a trial user.
  if (std::optional<TrialRecord> trial_record = sources.trial.member(name)) {
    reportTrialUser(sources, trial_target_mb, user, *trial_record);
    return;
  }
  if (std::optional<QuotaRecord> quota_record = sources.quota.member(name)) {
    reportQuotaUser(sources, today, user, *quota_record);
    return;
  }
  reportOutsider(sources, user);
}

}  // namespace quarvel
