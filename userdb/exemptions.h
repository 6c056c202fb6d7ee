// Who is kept out of the trial and quota rules: users named in a list,
// members of listed groups, and users carrying a disabling flag. The rules are
// tried in a fixed order and the first that applies decides.
#pragma once

#include <functional>
#include <string>

#include "config/config.h"
#include "config/settings.h"

namespace quarvel {

// Exempt codes. Callers only tell zero from non-zero; the value names the
// rule that applied.
constexpr int kNotExempt = 0;
constexpr int kExemptGroup = 1;
constexpr int kExemptQuotaFlag = 2;
constexpr int kExemptTrialFlag = 3;
constexpr int kExemptListedUser = 4;
constexpr int kExemptStaffFlag = 5;

// The server's staff flags: master (M) and siteop (1).
constexpr char kStaffFlags[] = "1M";

// The configuration values the decision reads, looked up afresh each time
// (tests hand them over as a whole).
struct ExemptionSettings {
  std::string quota_users;          // Quota_Users: names joined by "|"
  std::string quota_groups;         // Quota_Groups: group names joined by "|"
  std::string quota_disable_flag;   // QUOTA_DISABLE_FLAG
  std::string trial_disable_flag;   // TRIAL_DISABLE_FLAG
  std::string user_exempt_reason;   // EXEMPT_USER_EXEMPT ($BOLD)
  std::string group_reason;         // EXEMPT_IN_GROUP ($BOLD, $GROUP)
  std::string user_disable_reason;  // EXEMPT_USER_DISABLE ($BOLD)
  std::string exempt_flags;         // EXEMPT_FLAGS: flag letters, any of them exempts
};

// A setting of the decision by its key ("Quota_Users", "EXEMPT_IN_GROUP",
// ...). The decision asks for a key only when it reaches the rule that uses
// it: with the configuration file missing, every lookup prints its error
// line, so the lines printed follow the rules actually tried.
using ExemptionSetting = std::function<std::string(const std::string& key)>;

// The settings from `settings`, the reason templates from `config`.
ExemptionSetting exemptionSetting(Settings& settings, Config& config);

struct Exemption {
  int code = kNotExempt;
  std::string group;   // the exempting group (code 1 only)
  std::string reason;  // the rendered reason template; empty for code 0
};

// "a contains b" as the lists and flags are tested: a plain, case-sensitive
// substring test, except that an empty `a` contains nothing and a non-empty
// `a` contains the empty text.
bool containsText(const std::string& a, const std::string& b);

// Whether `flags` hold any letter of `wanted` (blanks around it ignored);
// an empty `wanted` holds none.
bool hasAnyFlag(const std::string& flags, const std::string& wanted);

// The decision on a user's name, group list ("::"-joined) and flags:
//  4 name in Quota_Users (without regard to case),
//  1 a group in Quota_Groups (with case),
//  2 flags contain QUOTA_DISABLE_FLAG, 3 flags contain TRIAL_DISABLE_FLAG,
//  5 flags hold any letter of EXEMPT_FLAGS (reason EXEMPT_USER_EXEMPT).
// The staff rule comes last, so that it only spares users no other rule
// does and every other outcome stays as it is without the key.
// List entries are matched as plain substrings of the "|"-joined list, so
// "ob" counts as listed in "bob|alice"; an empty name is always listed.
Exemption decideExemption(const std::string& user_name, const std::string& group_list,
                          const std::string& flags, const ExemptionSetting& setting);
Exemption decideExemption(const std::string& user_name, const std::string& group_list,
                          const std::string& flags, const ExemptionSettings& settings);

}  // namespace quarvel
