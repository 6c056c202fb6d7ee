#include "userdb/exemptions.h"

#include <vector>

#include "config/text.h"

namespace quarvel {

namespace {

// The IRC bold toggle that "$BOLD" stands for in reason templates.
const char kBold[] = "\x02";

std::string withBold(const std::string& reason_template) {
  return replaceAll(reason_template, "$BOLD", kBold);
}

// The exempt group among the user's groups, or empty. `list` is the
// Quota_Groups value followed by "|", trimmed.
std::string exemptGroupOf(const std::string& group_list, const std::string& list) {
  if (containsText(group_list, "::")) {
    for (const std::string& piece : splitAt(group_list, "::")) {
      const std::string probe = trimBlanks(piece + "|");
      if (probe == "|") continue;
      if (containsText(list, probe)) return trimBlanks(piece);
    }
    return std::string();
  }
  const std::string group = trimBlanks(group_list);
  if (group.empty()) return std::string();
  return containsText(list + "|", group + "|") ? group : std::string();
}

}  // namespace

ExemptionSetting exemptionSetting(Settings& settings, Config& config) {
  return [&settings, &config](const std::string& key) {
    if (key == "Quota_Users") return settings.quotaUsers();
    if (key == "Quota_Groups") return settings.quotaGroups();
    if (key == "QUOTA_DISABLE_FLAG") return settings.quotaDisableFlag();
    if (key == "TRIAL_DISABLE_FLAG") return settings.trialDisableFlag();
    if (key == "EXEMPT_FLAGS") return settings.exemptFlags();
    return config.configValue(key);  // a reason template
  };
}

bool hasAnyFlag(const std::string& flags, const std::string& wanted) {
  const std::string letters = trimBlanks(wanted);
  return !letters.empty() && flags.find_first_of(letters) != std::string::npos;
}

bool containsText(const std::string& a, const std::string& b) {
  return !a.empty() && a.find(b) != std::string::npos;
}

Exemption decideExemption(const std::string& user_name, const std::string& group_list,
                          const std::string& flags, const ExemptionSetting& setting) {
  Exemption result;

  const std::string users = toLower(trimBlanks(setting("Quota_Users") + "|"));
  const std::string user_probe = toLower(trimBlanks(user_name) + "|");
  if (containsText(users, user_probe)) {
    result.code = kExemptListedUser;
    result.reason = withBold(setting("EXEMPT_USER_EXEMPT"));
    return result;
  }

  const std::string group = exemptGroupOf(group_list, trimBlanks(setting("Quota_Groups") + "|"));
  if (!group.empty()) {
    result.code = kExemptGroup;
    result.group = group;
    // $BOLD first, so a "$BOLD" inside a group name stays as it is.
    result.reason = replaceAll(withBold(setting("EXEMPT_IN_GROUP")), "$GROUP", group);
    return result;
  }

  if (containsText(flags, setting("QUOTA_DISABLE_FLAG"))) {
    result.code = kExemptQuotaFlag;
  } else if (containsText(flags, setting("TRIAL_DISABLE_FLAG"))) {
    result.code = kExemptTrialFlag;
  } else if (hasAnyFlag(flags, setting("EXEMPT_FLAGS"))) {
    result.code = kExemptStaffFlag;
    result.reason = withBold(setting("EXEMPT_USER_EXEMPT"));
    return result;
  } else {
    return result;
  }
  result.reason = withBold(setting("EXEMPT_USER_DISABLE"));
  return result;
}

Exemption decideExemption(const std::string& user_name, const std::string& group_list,
                          const std::string& flags, const ExemptionSettings& settings) {
  return decideExemption(user_name, group_list, flags, [&settings](const std::string& key) {
    if (key == "Quota_Users") return settings.quota_users;
    if (key == "Quota_Groups") return settings.quota_groups;
    if (key == "QUOTA_DISABLE_FLAG") return settings.quota_disable_flag;
    if (key == "TRIAL_DISABLE_FLAG") return settings.trial_disable_flag;
    if (key == "EXEMPT_USER_EXEMPT") return settings.user_exempt_reason;
    if (key == "EXEMPT_IN_GROUP") return settings.group_reason;
    if (key == "EXEMPT_FLAGS") return settings.exempt_flags;
    return settings.user_disable_reason;
  });
}

}  // namespace quarvel
