// The quota store Velkrin.dat: the period keys setup_quota_starts,
// setup_quota_ends and setup_quota_started, member lines
// name=uploaded::status::group and size memos.
#pragma once

#include <string>
#include <vector>

#include "stores/store_file.h"

namespace quarvel {

class QuotaStore {
 public:
  explicit QuotaStore(Files& files);

  std::string readQuotaRecord(const std::string& key) { return file_.read(key); }
  void writeQuotaRecord(const std::string& entry) { file_.write(entry); }
  // Member and memo keys; the period keys are left out.
  std::vector<std::string> listQuotaUsers() { return file_.listKeys(); }
  StoreFile& file() { return file_; }

 private:
  StoreFile file_;
};

}  // namespace quarvel
