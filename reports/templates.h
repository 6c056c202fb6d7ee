// Report templates: configuration values whose "$" tokens are replaced by
// the values of the moment. The wording of every report line belongs to the
// site's administrator; only the tokens and their order are the program's.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "entry/run.h"

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
std::string renderTemplate(Run& run, const std::string& key, const Substitutions& substitutions);

// The two tokens almost every template offers: "$BOLD" and "$SITENAME"
// (the value of Irc_SiteName).
std::pair<std::string, std::string> boldToken();
std::pair<std::string, std::string> siteNameToken(Run& run);

}  // namespace quarvel
