#include "reports/user_report.h"

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"
#include "reports/standing.h"
#include "reports/templates.h"

namespace quarvel {
namespace {

// "$BOLD", "$SITENAME", "$USER", "$GROUP" from the user's record.
Substitutions userTokens(Run& run, const UserRecord& user) {
  return {boldToken(),
          siteNameToken(run),
          {"$USER", trimBlanks(user.user_name)},
          {"$GROUP", trimBlanks(user.primary_group)}};
}

void reportTrialUser(Run& run, const UserRecord& user, const std::string& record) {
  Standing standing = trialStanding(record, run.settings.trial_upload);
  Substitutions first = userTokens(run, user);
  first.push_back({"$SHOWL", integerForm(standing.required)});
  std::string line = renderTemplate(run, "Irc_Trial_Uinfo", first);
  run.printLine(substitute(line, trialAmountTokens(standing)));
}

void reportQuotaUser(Run& run, const UserRecord& user, const std::string& record) {
  double status = readNumber(field(record, "::", 2));
  std::string key;
  Substitutions first = userTokens(run, user);
  if (status <= 1) {
    key = "Irc_Quota_Uinfo";
  } else if (status == 3) {
    key = "Irc_Quota_EXEMPTED_Uinfo";
    first.push_back({"$EXCUSE", trimBlanks(user.exempt_reason)});
  } else {
    return;  // suspended while on trial, or an unknown status: nothing to say
  }
  long long required = readWholeNumber(run.configValue("QUOTA_UPLOAD"));
  long long days_left = daysBetween(run.quota.periodEnds(), run.today());
  Standing standing = quotaStanding(record, required, days_left);
  std::string line = renderTemplate(run, key, first);
  run.printLine(substitute(line, quotaAmountTokens(standing)));
}

void reportOutsider(Run& run, const UserRecord& user) {
  bool started = run.quota.periodStarted();
  bool late = run.configValue("AddLate") == "1";
  if (!started) {
    run.printLine(renderTemplate(run, "Irc_Quota_Not_Started", {boldToken(), siteNameToken(run)}));
  } else if (late) {
    run.printLine(renderTemplate(run, "Irc_Quota_Yet", userTokens(run, user)));
  } else {
    run.printLine(renderTemplate(run, "Irc_Quota_Next", userTokens(run, user)));
  }
}

}  // namespace

void reportUser(Run& run, const std::string& name) {
  UserRecord user = run.users.lookupUser(name);
  if (trimBlanks(user.user_name).empty()) {
    run.printLine(
        renderTemplate(run, "Irc_No_User", {boldToken(), siteNameToken(run), {"$USER", name}}));
    return;
  }
  // A closed account has no standing to show; its records wait for an
  // undelete or the purge.
  if (user.account_state != AccountState::kActive) {
    run.printLine(closedAccountLine(run, false, trimBlanks(user.user_name),
                                    trimBlanks(user.primary_group), user.account_state));
    return;
  }
  // A user in both stores is reported as a trial user.
  std::string trial_record = run.trial.readTrialRecord(name);
  if (!trial_record.empty()) {
    reportTrialUser(run, user, trial_record);
    return;
  }
  std::string quota_record = run.quota.readQuotaRecord(name);
  if (!quota_record.empty()) {
    reportQuotaUser(run, user, quota_record);
    return;
  }
  reportOutsider(run, user);
}

}  // namespace quarvel
