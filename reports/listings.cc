#include "reports/listings.h"

#include <vector>

#include "config/numbers.h"
#include "config/text.h"
#include "reports/templates.h"

namespace quarvel {
namespace {

// A store listing with one empty name stands for a store without lines.
long long countNames(const std::vector<std::string>& names) {
  return names.empty() || names.front().empty() ? 0 : static_cast<long long>(names.size());
}

void listTrialUsers(const ReportSources& sources) {
  std::vector<std::string> names = sources.trial.listTrialUsers();
  if (countNames(names) == 0) {
    sources.out.printLine("No users in trial!");
    return;
  }
  sources.out.printLine(renderTemplate(sources.config, "Trials_Header",
                                       {boldToken(), siteNameToken(sources.config)}));
  for (const std::string& name : names) {
    UserRecord user = sources.users.lookupUser(name);
    TrialRecord record = sources.trial.member(name).value_or(TrialRecord());
    if (user.account_state != AccountState::kActive) {
      sources.out.printLine(closedAccountLine(sources.config, true, trimBlanks(user.user_name),
                                              trimBlanks(user.primary_group), user.account_state));
      continue;
    }
    // Amounts as the store holds them; a size memo shows its size and no
    // days. The site name comes last, so a user name holding "$SITENAME"
    // shows the site's name.
    sources.out.printLine(renderTemplate(sources.config, "Trials_Body",
                                         {boldToken(),
                                          {"$USER", trimBlanks(user.user_name)},
                                          {"$GROUP", trimBlanks(user.primary_group)},
                                          {"$UPLOADED", record.uploaded.text()},
                                          {"$SHOWL", sources.settings.trialUploadText()},
                                          {"$DAYSLEFT", record.days_left.text()},
                                          siteNameToken(sources.config)}));
  }
}

void printCount(const ReportSources& sources, const std::string& key, const std::string& token,
                long long count) {
  sources.out.printLine(
      renderTemplate(sources.config, key,
                     {boldToken(), siteNameToken(sources.config), {token, integerForm(count)}}));
}

// The exempt and passed listings: a header with the count of the chosen
// quota users, then one line each, in store order.
struct QuotaListing {
  const char* header_key;
  const char* header_token;
  const char* line_key;
  bool (*chosen)(double status);
  bool reason_for_trial;  // status 2 shows EXEMPT_IN_TRIAL as the reason
};

void listQuotaUsers(const ReportSources& sources, const QuotaListing& listing) {
  std::vector<std::string> names = sources.quota.listQuotaUsers();
  long long count = 0;
  if (countNames(names) != 0) {
    for (const std::string& name : names) {
      if (listing.chosen(sources.quota.statusOf(name).number())) ++count;
    }
  }
  printCount(sources, listing.header_key, listing.header_token, count);
  if (count == 0) return;
  for (const std::string& name : names) {
    UserRecord user = sources.users.lookupUser(name);
    QuotaRecord record = sources.quota.member(name).value_or(QuotaRecord());
    double status = record.status.number();
    if (!listing.chosen(status)) continue;
    if (user.account_state != AccountState::kActive) {
      sources.out.printLine(
          closedAccountLine(sources.config, true, name, record.group, user.account_state));
      continue;
    }
    if (listing.reason_for_trial && status == 2) {
      user.exempt_reason = renderTemplate(sources.config, "EXEMPT_IN_TRIAL", {boldToken()})
                               .substr(0, kFieldCapacity);
    }
    sources.out.printLine(renderTemplate(sources.config, listing.line_key,
                                         {boldToken(),
                                          siteNameToken(sources.config),
                                          {"$USER", name},
                                          {"$GROUP", record.group},
                                          {"$EXCUSE", trimBlanks(user.exempt_reason)}}));
  }
}

}  // namespace

void runListing(const ReportSources& sources, const std::string& clean_line) {
  std::string info = toLower(commandWord(clean_line, 2));
  std::string store = toLower(commandWord(clean_line, 3));
  std::string what = toLower(commandWord(clean_line, 4));
  if (info != "info") return;
  if (store == "trial") {
    if (what == "all") {
      listTrialUsers(sources);
    } else if (what.empty()) {
      printCount(sources, "Trials_Total", "$TOTAL", countNames(sources.trial.listTrialUsers()));
    }
  } else if (store == "quota") {
    if (what == "total") {
      printCount(sources, "QUOTAs_Total", "$TOTAL", countNames(sources.quota.listQuotaUsers()));
    } else if (what == "exempt") {
      listQuotaUsers(sources, {"QUOTAs_EXEMPTED_HEADER", "$EXEMPT", "QUOTAs_EXEMPTED",
                               [](double status) { return status >= 2; }, true});
    } else if (what == "passed") {
      listQuotaUsers(sources, {"QUOTAs_PASSED_HEADER", "$PASSED", "QUOTAs_PASSED",
                               [](double status) { return status == 1; }, false});
    }
  }
}

}  // namespace quarvel
