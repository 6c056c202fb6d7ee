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
std::string exemptGroupOf(const std::string& group_list,
                          const std::string& list) {
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

ExemptionSettings readExemptionSettings(Config& config) {
  ExemptionSettings settings;
  settings.quota_users = config.configValue("Quota_Users");
  settings.quota_groups = config.configValue("Quota_Groups");
  settings.quota_disable_flag = config.configValue("QUOTA_DISABLE_FLAG");
  settings.trial_disable_flag = config.configValue("TRIAL_DISABLE_FLAG");
  settings.user_exempt_reason = config.configValue("EXEMPT_USER_EXEMPT");
  settings.group_reason = config.configValue("EXEMPT_IN_GROUP");
  settings.user_disable_reason = config.configValue("EXEMPT_USER_DISABLE");
  return settings;
}

bool containsText(const std::string& a, const std::string& b) {
  return !a.empty() && a.find(b) != std::string::npos;
}

Exemption decideExemption(const std::string& user_name,
                          const std::string& group_list,
                          const std::string& flags,
                          const ExemptionSettings& settings) {
  Exemption result;

  const std::string users = toLower(trimBlanks(settings.quota_users + "|"));
  const std::string user_probe = toLower(trimBlanks(user_name) + "|");
  if (containsText(users, user_probe)) {
    result.code = kExemptListedUser;
    result.reason = withBold(settings.user_exempt_reason);
    return result;
  }

  const std::string group =
      exemptGroupOf(group_list, trimBlanks(settings.quota_groups + "|"));
  if (!group.empty()) {
    result.code = kExemptGroup;
    result.group = group;
    // $BOLD first, so a "$BOLD" inside a group name stays as it is.
    result.reason =
        replaceAll(withBold(settings.group_reason), "$GROUP", group);
    return result;
  }

  if (containsText(flags, settings.quota_disable_flag)) {
    result.code = kExemptQuotaFlag;
  } else if (containsText(flags, settings.trial_disable_flag)) {
    result.code = kExemptTrialFlag;
  } else {
    return result;
  }
  result.reason = withBold(settings.user_disable_reason);
  return result;
}

}  // namespace quarvel
