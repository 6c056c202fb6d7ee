// The quota store Velkrin.dat: the period keys setup_quota_starts,
// setup_quota_ends and setup_quota_started, member lines
// name=uploaded::status::group and size memos.
#pragma once

#include <string>
#include <vector>

#include "stores/store_file.h"
#include "stores/store_record.h"

namespace quarvel {

// The period keys: the period's first day, the day it ends (always a 1st)
// and whether its enrolment ran ("1").
inline constexpr char kPeriodStartsKey[] = "setup_quota_starts";
inline constexpr char kPeriodEndsKey[] = "setup_quota_ends";
inline constexpr char kPeriodStartedKey[] = "setup_quota_started";

// Whether `name`, trimmed and without regard to case, is a period key.
bool isPeriodKey(const std::string& name);

class QuotaStore {
 public:
  explicit QuotaStore(Files& files);

  std::string readQuotaRecord(const std::string& key) { return file_.read(key); }
  void writeQuotaRecord(const std::string& entry) { file_.write(entry); }
  // Member and memo keys; the period keys are left out.
  std::vector<std::string> listQuotaUsers() { return file_.listKeys(); }

  StoreRecord member(const std::string& name) { return StoreRecord::parse(file_.read(name)); }
  void putMember(const std::string& name, const StoreRecord& record) {
    file_.write(record.entry(name));
  }
  void removeMember(const std::string& name) { file_.write(name + "="); }
  // The record kept, its status replaced.
  void setStatus(const std::string& name, const StoreRecord& record, const char* status);

  std::string periodStarts() { return file_.read(kPeriodStartsKey); }
  std::string periodEnds() { return file_.read(kPeriodEndsKey); }
  bool periodStarted() { return file_.read(kPeriodStartedKey) == "1"; }
  void setPeriodStarts(const std::string& date) { file_.write(std::string(kPeriodStartsKey) + "=" + date); }
  void setPeriodEnds(const std::string& date) { file_.write(std::string(kPeriodEndsKey) + "=" + date); }
  void markPeriodStarted() { file_.write(std::string(kPeriodStartedKey) + "=1"); }

  StoreFile& file() { return file_; }

 private:
  StoreFile file_;
};

}  // namespace quarvel
