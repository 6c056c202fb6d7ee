#include "reports/listings.h"

#include <vector>

#include "config/numbers.h"
#include "config/text.h"
#include "reports/templates.h"

namespace quarvel {
namespace {

// Capacity of the exempt reason in the user record.
constexpr std::size_t kReasonCapacity = 255;

// A store listing with one empty name stands for a store without lines.
long long countNames(const std::vector<std::string>& names) {
  return names.empty() || names.front().empty() ? 0 : static_cast<long long>(names.size());
}

double quotaStatusOf(const std::string& record) {
  return QuotaStatus(StoreRecord::parse(record).second).number();
}

void listTrialUsers(Run& run) {
  std::vector<std::string> names = run.trial.listTrialUsers();
  if (countNames(names) == 0) {
    run.printLine("No users in trial!");
    return;
  }
  run.printLine(renderTemplate(run, "Trials_Header", {boldToken(), siteNameToken(run)}));
  for (const std::string& name : names) {
    UserRecord user = run.users.lookupUser(name);
    std::string record = run.trial.readTrialRecord(name);
    if (user.account_state != AccountState::kActive) {
      run.printLine(closedAccountLine(run, true, trimBlanks(user.user_name),
                                      trimBlanks(user.primary_group), user.account_state));
      continue;
    }
    // Amounts as the store holds them; a size memo shows its size and no
    // days. The site name comes last, so a user name holding "$SITENAME"
    // shows the site's name.
    run.printLine(renderTemplate(run, "Trials_Body",
                                 {boldToken(),
                                  {"$USER", trimBlanks(user.user_name)},
                                  {"$GROUP", trimBlanks(user.primary_group)},
                                  {"$UPLOADED", field(record, "::", 1)},
                                  {"$SHOWL", run.configValue("TRIAL_UPLOAD")},
                                  {"$DAYSLEFT", field(record, "::", 2)},
                                  siteNameToken(run)}));
  }
}

void printCount(Run& run, const std::string& key, const std::string& token, long long count) {
  run.printLine(
      renderTemplate(run, key, {boldToken(), siteNameToken(run), {token, integerForm(count)}}));
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

void listQuotaUsers(Run& run, const QuotaListing& listing) {
  std::vector<std::string> names = run.quota.listQuotaUsers();
  long long count = 0;
  if (countNames(names) != 0) {
    for (const std::string& name : names) {
      if (listing.chosen(quotaStatusOf(run.quota.readQuotaRecord(name)))) ++count;
    }
  }
  printCount(run, listing.header_key, listing.header_token, count);
  if (count == 0) return;
  for (const std::string& name : names) {
    UserRecord user = run.users.lookupUser(name);
    std::string record = run.quota.readQuotaRecord(name);
    double status = quotaStatusOf(record);
    if (!listing.chosen(status)) continue;
    if (user.account_state != AccountState::kActive) {
      run.printLine(closedAccountLine(run, true, name, field(record, "::", 3), user.account_state));
      continue;
    }
    if (listing.reason_for_trial && status == 2) {
      user.exempt_reason =
          renderTemplate(run, "EXEMPT_IN_TRIAL", {boldToken()}).substr(0, kReasonCapacity);
    }
    run.printLine(renderTemplate(run, listing.line_key,
                                 {boldToken(),
                                  siteNameToken(run),
                                  {"$USER", name},
                                  {"$GROUP", field(record, "::", 3)},
                                  {"$EXCUSE", trimBlanks(user.exempt_reason)}}));
  }
}

}  // namespace

void runListing(Run& run, const std::string& clean_line) {
  std::string info = toLower(commandWord(clean_line, 2));
  std::string store = toLower(commandWord(clean_line, 3));
  std::string what = toLower(commandWord(clean_line, 4));
  if (info != "info") return;
  if (store == "trial") {
    if (what == "all") {
      listTrialUsers(run);
    } else if (what.empty()) {
      printCount(run, "Trials_Total", "$TOTAL", countNames(run.trial.listTrialUsers()));
    }
  } else if (store == "quota") {
    if (what == "total") {
      printCount(run, "QUOTAs_Total", "$TOTAL", countNames(run.quota.listQuotaUsers()));
    } else if (what == "exempt") {
      listQuotaUsers(run, {"QUOTAs_EXEMPTED_HEADER", "$EXEMPT", "QUOTAs_EXEMPTED",
                           [](double status) { return status >= 2; }, true});
    } else if (what == "passed") {
      listQuotaUsers(run, {"QUOTAs_PASSED_HEADER", "$PASSED", "QUOTAs_PASSED",
                           [](double status) { return status == 1; }, false});
    }
  }
}

}  // namespace quarvel
