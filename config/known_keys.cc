#include "config/known_keys.h"

#include <algorithm>

#include "config/text.h"

namespace quarvel {

const std::vector<KnownKey>& knownKeys() {
  static const std::vector<KnownKey> keys = {
      {"WINDIR", KeyKind::kText},
      {"EXCLUDED_DIRS", KeyKind::kText},
      {"ioFTPD", KeyKind::kFolder},
      {"UserTABLE", KeyKind::kFile},
      {"UserFOLDER", KeyKind::kFolder},
      {"GroupTABLE", KeyKind::kFile},
      {"FTP_HOST", KeyKind::kText},
      {"FTP_PORT", KeyKind::kWholeNumber},
      {"FTP_USER", KeyKind::kText},
      {"FTP_PASS", KeyKind::kText},
      {"FTP_TLS", KeyKind::kWholeNumber},
      {"FTP_TLS_FINGERPRINT", KeyKind::kText},
      {"TRIAL_UPLOAD", KeyKind::kNumber},
      {"TRIAL_DAYS", KeyKind::kWholeNumber},
      {"TRIAL_PUNISHMENT", KeyKind::kWholeNumber},
      {"TRIAL_DISABLE_FLAG", KeyKind::kText},
      {"TRIAL_DELETE_REASON", KeyKind::kText},
      {"TRIAL_ONPASS", KeyKind::kText},
      {"QUOTA_TYPE", KeyKind::kNumber},
      {"QUOTA_UPLOAD", KeyKind::kNumber},
      {"QUOTA_PUNISHMENT", KeyKind::kWholeNumber},
      {"QUOTA_DISABLE_FLAG", KeyKind::kText},
      {"QUOTA_DELETE_REASON", KeyKind::kText},
      {"QUOTA_ANNOUNCE", KeyKind::kWholeNumber},
      {"AddLate", KeyKind::kText},
      {"ToGive", KeyKind::kNumber},
      {"Quota_Users", KeyKind::kText},
      {"Quota_Groups", KeyKind::kText},
      {"EXEMPT_FLAGS", KeyKind::kText},
      {"FTP_STATS", KeyKind::kTemplate},
      {"FTP_STATS_PREFIX", KeyKind::kText},
      {"TRIAL_WARN_DAYS", KeyKind::kWholeNumber},
      {"QUOTA_WARN_DAYS", KeyKind::kWholeNumber},
      {"FTP_STATS_WARN", KeyKind::kTemplate},
      {"PASSED_OTHERS_FLAGS", KeyKind::kText},
      {"Passed_Warn", KeyKind::kTemplate},
      {"Irc_Account_Closed", KeyKind::kTemplate},
      {"Listing_Account_Closed", KeyKind::kTemplate},
      {"Irc_SiteName", KeyKind::kTemplate},
      {"Irc_Info", KeyKind::kTemplate},
      {"Irc_No_User", KeyKind::kTemplate},
      {"Irc_Trial_Uinfo", KeyKind::kTemplate},
      {"Irc_Quota_Uinfo", KeyKind::kTemplate},
      {"Irc_Quota_EXEMPTED_Uinfo", KeyKind::kTemplate},
      {"Irc_Quota_Next", KeyKind::kTemplate},
      {"Irc_Quota_Not_Started", KeyKind::kTemplate},
      {"Irc_Quota_Yet", KeyKind::kTemplate},
      {"Trials_Header", KeyKind::kTemplate},
      {"Trials_Body", KeyKind::kTemplate},
      {"Trials_Total", KeyKind::kTemplate},
      {"QUOTAs_Total", KeyKind::kTemplate},
      {"QUOTAs_EXEMPTED_HEADER", KeyKind::kTemplate},
      {"QUOTAs_EXEMPTED", KeyKind::kTemplate},
      {"EXEMPT_IN_TRIAL", KeyKind::kTemplate},
      {"QUOTAs_PASSED_HEADER", KeyKind::kTemplate},
      {"QUOTAs_PASSED", KeyKind::kTemplate},
      {"EXEMPT_USER_EXEMPT", KeyKind::kTemplate},
      {"EXEMPT_IN_GROUP", KeyKind::kTemplate},
      {"EXEMPT_USER_DISABLE", KeyKind::kTemplate},
  };
  return keys;
}

const KnownKey* findKnownKey(const std::string& name) {
  for (const KnownKey& key : knownKeys()) {
    if (equalsIgnoringCase(key.name, name)) return &key;
  }
  return nullptr;
}

std::size_t editDistance(const std::string& a, const std::string& b) {
  // Optimal string alignment: two rows back are needed for the swap.
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

const KnownKey* nearestKnownKey(const std::string& name) {
  std::string wanted = toLower(name);
  const KnownKey* best = nullptr;
  std::size_t best_distance = 0;
  for (const KnownKey& key : knownKeys()) {
    std::size_t distance = editDistance(wanted, toLower(key.name));
    if (best == nullptr || distance < best_distance) {
      best = &key;
      best_distance = distance;
    }
  }
  if (best == nullptr || best_distance > 2 || best_distance * 3 > wanted.size()) return nullptr;
  return best;
}

}  // namespace quarvel
