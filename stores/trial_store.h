// The trial store Quarvel.dat: name=uploaded::days left::group, and size
// memos name_PREDEL_SIZE_file=megabytes.
#pragma once

#include <string>
#include <vector>

#include "stores/store_file.h"
#include "stores/store_record.h"

namespace quarvel {

class TrialStore {
 public:
  explicit TrialStore(Files& files);

  std::string readTrialRecord(const std::string& name) { return file_.read(name); }
  void writeTrialRecord(const std::string& entry) { file_.write(entry); }
  std::vector<std::string> readAllTrialLines() { return file_.readAllLines(); }
  std::vector<std::string> listTrialUsers() { return file_.listKeys(); }

  bool isOnTrial(const std::string& name) { return !file_.read(name).empty(); }
  StoreRecord member(const std::string& name) { return StoreRecord::parse(file_.read(name)); }
  void putMember(const std::string& name, const StoreRecord& record) {
    file_.write(record.entry(name));
  }
  void removeMember(const std::string& name) { file_.write(name + "="); }

  StoreFile& file() { return file_; }

 private:
  StoreFile file_;
};

}  // namespace quarvel
