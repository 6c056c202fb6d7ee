// The trial store Quarvel.dat: name=uploaded::days left::group, and size
// memos name_PREDEL_SIZE_file=megabytes.
#pragma once

#include <string>
#include <vector>

#include "stores/store_file.h"

namespace quarvel {

class TrialStore {
 public:
  explicit TrialStore(Files& files);

  std::string readTrialRecord(const std::string& name) { return file_.read(name); }
  void writeTrialRecord(const std::string& entry) { file_.write(entry); }
  std::vector<std::string> readAllTrialLines() { return file_.readAllLines(); }
  std::vector<std::string> listTrialUsers() { return file_.listKeys(); }
  StoreFile& file() { return file_; }

 private:
  StoreFile file_;
};

}  // namespace quarvel
