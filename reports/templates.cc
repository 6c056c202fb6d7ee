#include "reports/templates.h"

#include "config/text.h"

namespace quarvel {

std::string substitute(std::string text, const Substitutions& substitutions) {
  for (const auto& pair : substitutions) text = replaceAll(text, pair.first, pair.second);
  return text;
}

std::string renderTemplate(Config& config, const std::string& key,
                           const Substitutions& substitutions) {
  return substitute(config.configValue(key), substitutions);
}

std::string renderTemplateOr(Config& config, const std::string& key, const std::string& fallback,
                             const Substitutions& substitutions) {
  std::string text = config.configValue(key);
  return substitute(text.empty() ? fallback : text, substitutions);
}

std::string closedAccountLine(Config& config, bool listing, const std::string& user,
                              const std::string& group, AccountState state) {
  // The defaults read like the sample configuration's other lines.
  const char* key = listing ? "Listing_Account_Closed" : "Irc_Account_Closed";
  const char* fallback =
      listing ? "$BOLD$USER$BOLD@$GROUP: $STATE" : "$BOLD$SITENAME$BOLD: $USER@$GROUP is $STATE";
  return renderTemplateOr(config, key, fallback,
                          {boldToken(),
                           siteNameToken(config),
                           {"$USER", user},
                           {"$GROUP", group},
                           {"$STATE", accountStateWord(state)}});
}

std::pair<std::string, std::string> boldToken() { return {"$BOLD", kBold}; }

std::pair<std::string, std::string> siteNameToken(Config& config) {
  return {"$SITENAME", config.configValue("Irc_SiteName")};
}

}  // namespace quarvel
