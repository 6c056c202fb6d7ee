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

std::pair<std::string, std::string> boldToken() { return {"$BOLD", kBold}; }

std::pair<std::string, std::string> siteNameToken(Run& run) {
  return {"$SITENAME", run.configValue("Irc_SiteName")};
}

}  // namespace quarvel
