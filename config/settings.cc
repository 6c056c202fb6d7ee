#include "config/settings.h"

#include <vector>

#include "config/config_check.h"
#include "config/config_lines.h"
#include "config/numbers.h"

namespace quarvel {

void Settings::readStartup() {
  windir();
  excludedDirs();
  trialUploadMB();
  trialDays();
  trialPunishment();
  quotaPunishment();
  trialDisableFlag();
  quotaDisableFlag();
  trialOnPass();
  serverFolder();
}

AdminLoginSettings Settings::adminLogin() {
  AdminLoginSettings login;
  login.port = adminPort();
  login.host = adminHost();
  login.user = adminUser();
  login.password = adminPassword();
  // Without a host there is no login to make, and the TLS keys are not read
  // (with the file missing, each would print another error line).
  if (!login.host.empty()) {
    const std::string& tls = text("FTP_TLS");
    login.tls = !tls.empty() && tls != "0";
    if (login.tls) login.tls_fingerprint = text("FTP_TLS_FINGERPRINT");
  }
  return login;
}

const std::optional<std::string>& Settings::statsPrefix() { return entry("FTP_STATS_PREFIX"); }

bool Settings::quotaAnnounce() {
  const std::optional<std::string>& value = entry("QUOTA_ANNOUNCE");
  return value && readWholeNumber(*value) != 0;
}

const std::string& Settings::exemptFlags() {
  static const std::string kNone;
  const std::optional<std::string>& value = entry("EXEMPT_FLAGS");
  return value ? *value : kNone;
}

const std::string& Settings::othersStandingFlags() {
  static const std::string kStaff = "1M";
  const std::optional<std::string>& value = entry("PASSED_OTHERS_FLAGS");
  return value ? *value : kStaff;
}

long long Settings::optionalWholeNumber(const char* key) {
  const std::optional<std::string>& value = entry(key);
  return value ? readWholeNumber(*value) : 0;
}

namespace {

// The settings each decision rests on.
std::vector<const char*> keysOf(Decision what) {
  switch (what) {
    case Decision::kTrialPass:
      return {"TRIAL_UPLOAD"};
    case Decision::kTrialStart:
      return {"TRIAL_DAYS"};
    case Decision::kQuotaPass:
      return {"QUOTA_UPLOAD"};
    case Decision::kTrialPunish:
      return {"TRIAL_PUNISHMENT"};
    case Decision::kQuotaPunish:
      return {"QUOTA_PUNISHMENT"};
    case Decision::kExemption:
      break;
  }
  return {"QUOTA_DISABLE_FLAG", "TRIAL_DISABLE_FLAG", "EXEMPT_FLAGS",
          "Quota_Users",        "Quota_Groups",       "ioFTPD",
          "UserTABLE",          "UserFOLDER",         "GroupTABLE"};
}

bool isRequiredNumber(const std::string& key) {
  return key == "TRIAL_UPLOAD" || key == "TRIAL_DAYS" || key == "TRIAL_PUNISHMENT" ||
         key == "QUOTA_UPLOAD" || key == "QUOTA_PUNISHMENT";
}

// An empty disable flag is found in every account's flags: everyone would
// count as disabled.
bool isRequiredFlag(const std::string& key) {
  return key == "TRIAL_DISABLE_FLAG" || key == "QUOTA_DISABLE_FLAG";
}

}  // namespace

bool Settings::mayDecide(Decision what) {
  bool valid = true;
  for (const char* key : keysOf(what)) {
    if (!validKey(key)) valid = false;
  }
  return valid;
}

bool Settings::validKey(const char* key) {
  auto known = valid_.find(key);
  if (known != valid_.end()) return known->second;
  const std::string why = whyInvalid(key);
  valid_.emplace(key, why.empty());
  if (why.empty()) return true;
  std::string line;
  if (!entry(key)) {
    line = "Quarvel: " + std::string(key) + " is not set in quarvel.conf";
  } else {
    std::vector<ConfigLine> lines;
    config_.readLines(&lines);
    const std::string& value = *entry(key);
    line = "Quarvel: " + std::string(key) + (value.empty() ? "" : "=" + value) + " on line " +
           std::to_string(lineOfKey(lines, key)) + " of quarvel.conf " + why;
  }
  line += "; nothing that rests on it was decided.";
  if (tell_invalid_) tell_invalid_(line);
  return false;
}

std::string Settings::whyInvalid(const char* key) {
  const std::optional<std::string>& value = entry(key);
  if (!value) return isRequiredNumber(key) || isRequiredFlag(key) ? "is not set" : "";
  // A punishment set empty is set to none, as it always read.
  bool may_be_empty =
      std::string(key) == "TRIAL_PUNISHMENT" || std::string(key) == "QUOTA_PUNISHMENT";
  if (value->empty()) {
    return !may_be_empty && (isRequiredNumber(key) || isRequiredFlag(key)) ? "is empty" : "";
  }
  if (isRequiredNumber(key)) {
    std::size_t length = leadingNumberLength(*value);
    bool rest_blank = value->find_first_not_of(" \t", length) == std::string::npos;
    return length > 0 && rest_blank ? "" : "is not a number";
  }
  if (takesNoRemark(key) && remarkStart(*value) != std::string::npos) {
    return "has a remark after its value";
  }
  return "";
}

const std::optional<std::string>& Settings::entry(const char* key) {
  auto known = entries_.find(key);
  if (known != entries_.end()) return known->second;
  return entries_.emplace(key, config_.configEntry(key)).first->second;
}

const std::string& Settings::text(const char* key) {
  auto known = read_.find(key);
  if (known != read_.end()) return known->second;
  return read_.emplace(key, config_.configValue(key)).first->second;
}

double Settings::number(const char* key) { return readNumber(text(key)); }

long long Settings::wholeNumber(const char* key) { return readWholeNumber(text(key)); }

}  // namespace quarvel
