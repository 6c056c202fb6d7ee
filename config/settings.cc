#include "config/settings.h"

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
