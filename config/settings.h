// The settings of quarvel.conf that drive what the program decides, each
// with one type and one reading. A key is read at most once per run, at its
// first use: with the file missing, each first use prints its error line,
// so what a run prints follows the settings it actually needed. Report and
// reason templates are not settings; they are looked up through Config.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "config/config.h"

namespace quarvel {

// The admin login (FTP_HOST, FTP_PORT, FTP_USER, FTP_PASS, FTP_TLS,
// FTP_TLS_FINGERPRINT).
struct AdminLoginSettings {
  std::string host;
  long long port = 0;
  std::string user;
  std::string password;
  // FTP_TLS: off when empty or 0; any other value asks for TLS, so that a
  // value the program does not know never sends the password in plain text.
  bool tls = false;
  std::string tls_fingerprint;
};

// The decisions that rest on settings an operator can get wrong; each is
// made only while every setting it rests on is valid.
enum class Decision {
  kTrialPass,    // TRIAL_UPLOAD
  kTrialStart,   // TRIAL_DAYS
  kTrialPunish,  // TRIAL_PUNISHMENT
  kQuotaPass,    // QUOTA_UPLOAD
  kQuotaPunish,  // QUOTA_PUNISHMENT
  kExemption,    // the disable flags, EXEMPT_FLAGS, the lists, the server paths
};

class Settings {
 public:
  explicit Settings(Config& config) : config_(config) {}

  // The settings every run reads right after the instance lock is held, in
  // this order: WINDIR, EXCLUDED_DIRS, TRIAL_UPLOAD, TRIAL_DAYS,
  // TRIAL_PUNISHMENT, QUOTA_PUNISHMENT, TRIAL_DISABLE_FLAG,
  // QUOTA_DISABLE_FLAG, TRIAL_ONPASS, ioFTPD.
  void readStartup();

  // Server files.
  const std::string& windir() { return text("WINDIR"); }
  const std::string& excludedDirs() { return text("EXCLUDED_DIRS"); }
  const std::string& serverFolder() { return text("ioFTPD"); }
  const std::string& userTable() { return text("UserTABLE"); }
  const std::string& userFolder() { return text("UserFOLDER"); }
  const std::string& groupTable() { return text("GroupTABLE"); }

  // The admin login as a whole, and its parts where only they are needed.
  AdminLoginSettings adminLogin();
  const std::string& adminHost() { return text("FTP_HOST"); }
  const std::string& adminPortText() { return text("FTP_PORT"); }  // as written
  long long adminPort() { return wholeNumber("FTP_PORT"); }
  const std::string& adminUser() { return text("FTP_USER"); }
  const std::string& adminPassword() { return text("FTP_PASS"); }

  // Trials. The target is a number of megabytes, fractions kept: every
  // decision compares against it as it is; reports round it for display.
  double trialUploadMB() { return number("TRIAL_UPLOAD"); }
  // As written in the file, for the listing that shows it so.
  const std::string& trialUploadText() { return text("TRIAL_UPLOAD"); }
  long long trialDays() { return wholeNumber("TRIAL_DAYS"); }
  long long trialPunishment() { return wholeNumber("TRIAL_PUNISHMENT"); }
  const std::string& trialDisableFlag() { return text("TRIAL_DISABLE_FLAG"); }
  const std::string& trialOnPass() { return text("TRIAL_ONPASS"); }
  const std::string& trialDeleteReason() { return text("TRIAL_DELETE_REASON"); }

  // The quota. Periods are kept only when QUOTA_TYPE reads as 1.
  bool monthlyQuota() { return number("QUOTA_TYPE") == 1; }
  double quotaUploadMB() { return number("QUOTA_UPLOAD"); }
  long long quotaPunishment() { return wholeNumber("QUOTA_PUNISHMENT"); }
  const std::string& quotaDisableFlag() { return text("QUOTA_DISABLE_FLAG"); }
  const std::string& quotaDeleteReason() { return text("QUOTA_DELETE_REASON"); }
  // QUOTA_ANNOUNCE: absent, empty or 0 keeps the quota punishments silent.
  bool quotaAnnounce();
  bool addLate() { return text("AddLate") == "1"; }
  double toGiveMBPerDay() { return number("ToGive"); }
  const std::string& quotaUsers() { return text("Quota_Users"); }
  const std::string& quotaGroups() { return text("Quota_Groups"); }
  // EXEMPT_FLAGS: flag letters that exempt; empty when the key is absent.
  const std::string& exemptFlags();

  // Whether `what` may be decided: every setting it rests on is set (where
  // it must be) and reads as what it is meant to be, a number wholly, a
  // flag or a name or a path without a remark after it. Each setting is
  // weighed once per run; one that is not valid is told once, naming its
  // key and line, on standard error and to `also_tell`.
  bool mayDecide(Decision what);
  void alsoTellInvalid(std::function<void(const std::string&)> tell) {
    tell_invalid_ = std::move(tell);
  }

  // FTP_STATS_PREFIX, nothing when the key is absent (set empty, it is an
  // empty prefix).
  const std::optional<std::string>& statsPrefix();

  // TRIAL_WARN_DAYS and QUOTA_WARN_DAYS: warn a user still short of the
  // target this many days before the end; 0 (or the key absent) warns
  // nobody.
  long long trialWarnDays() { return optionalWholeNumber("TRIAL_WARN_DAYS"); }
  long long quotaWarnDays() { return optionalWholeNumber("QUOTA_WARN_DAYS"); }
  // PASSED_OTHERS_FLAGS: the flag letters that let a user ask for another
  // user's standing; staff ("1M") when the key is absent.
  const std::string& othersStandingFlags();

 private:
  const std::string& text(const char* key);
  // As text, but nothing when no line has the key: for the keys whose
  // absence must leave the program exactly as it was without them.
  const std::optional<std::string>& entry(const char* key);
  double number(const char* key);
  long long optionalWholeNumber(const char* key);  // 0 when no line has the key
  long long wholeNumber(const char* key);

  // Why the key cannot be decided on; empty when it can.
  std::string whyInvalid(const char* key);
  bool validKey(const char* key);

  Config& config_;
  std::function<void(const std::string&)> tell_invalid_;
  std::map<std::string, bool> valid_;                          // by key, once weighed
  std::map<std::string, std::string> read_;                    // by key, as read
  std::map<std::string, std::optional<std::string>> entries_;  // by key, as read
};

}  // namespace quarvel
