// Report templates: configuration values whose "$" tokens are replaced by
// the values of the moment. The wording of every report line belongs to the
// site's administrator; only the tokens and their order are the program's.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "config/config.h"
#include "userdb/user_database.h"

namespace quarvel {

// (token, value) pairs, applied in this order. Text inserted by one pair is
// scanned by every later pair, never by an earlier one.
using Substitutions = std::vector<std::pair<std::string, std::string>>;

// The IRC bold control code.
constexpr char kBold[] = "\x02";

// Every occurrence of each token replaced, pair by pair (case significant).
std::string substitute(std::string text, const Substitutions& substitutions);

// The template under `key` (empty when the key is missing) with the
// substitutions applied.
std::string renderTemplate(Config& config, const std::string& key,
                           const Substitutions& substitutions);

// The same for a template added after sites had written their
// configuration: `fallback` stands in while the key is missing or empty.
std::string renderTemplateOr(Config& config, const std::string& key, const std::string& fallback,
                             const Substitutions& substitutions);

// The line for an account the server has closed (deleted or expired), in
// place of its standing: "$BOLD", "$SITENAME", "$USER", "$GROUP" and "$STATE"
// (deleted or expired). The IRC PASSED answer and the listings' lines each
// have a template of their own.
std::string closedAccountLine(Config& config, bool listing, const std::string& user,
                              const std::string& group, AccountState state);

// The two tokens almost every template offers: "$BOLD" and "$SITENAME"
// (the value of Irc_SiteName).
std::pair<std::string, std::string> boldToken();
std::pair<std::string, std::string> siteNameToken(Config& config);

}  // namespace quarvel
