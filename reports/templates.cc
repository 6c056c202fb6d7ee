#include "reports/templates.h"

#include "config/text.h"

namespace quarvel {

std::string substitute(std::string text, const Substitutions& substitutions) {
  for (const auto& pair : substitutions) text = replaceAll(text, pair.first, pair.second);
  return text;
}

std::string renderTemplate(Run& run, const std::string& key, const Substitutions& substitutions) {
  return substitute(run.configValue(key), substitutions);
}

std::string renderTemplateOr(Run& run, const std::string& key, const std::string& fallback,
                             const Substitutions& substitutions) {
  std::string text = run.configValue(key);
  return substitute(text.empty() ? fallback : text, substitutions);
}

std::string closedAccountLine(Run& run, bool listing, const std::string& user,
                              const std::string& group, AccountState state) {
  // The defaults read like the sample configuration's other lines.
  const char* key = listing ? "Listing_Account_Closed" : "Irc_Account_Closed";
  const char* fallback = listing ? "$BOLD$USER$BOLD@$GROUP: $STATE"
                                 : "$BOLD$SITENAME$BOLD: $USER@$GROUP is $STATE";
  return renderTemplateOr(run, key, fallback,
                          {boldToken(), siteNameToken(run), {"$USER", user},
                           {"$GROUP", group}, {"$STATE", accountStateWord(state)}});
}

std::pair<std::string, std::string> boldToken() { return {"$BOLD", kBold}; }

std::pair<std::string, std::string> siteNameToken(Run& run) {
  return {"$SITENAME", run.configValue("Irc_SiteName")};
}

}  // namespace quarvel
