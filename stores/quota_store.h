// The quota store Velkrin.dat: the period keys setup_quota_starts,
// setup_quota_ends and setup_quota_started, member lines
// name=uploaded::status::group and size memos.
#pragma once

#include <string>
#include <vector>

#include "stores/store_file.h"

namespace quarvel {

// Members of an ended period whose punishment is still to be done
// (name::name); present only while there are any.
inline constexpr char kQuotaPendingKey[] = "setup_quota_pending";

class QuotaStore {
 public:
  explicit QuotaStore(Files& files);

  std::string readQuotaRecord(const std::string& key) { return file_.read(key); }
  void writeQuotaRecord(const std::string& entry) { file_.write(entry); }
  // Member and memo keys; the period keys are left out.
  std::vector<std::string> listQuotaUsers() { return file_.listKeys(); }

  std::vector<std::string> pendingUsers();
  void setPendingUsers(const std::vector<std::string>& names);

  StoreFile& file() { return file_; }

 private:
  StoreFile file_;
};

}  // namespace quarvel
