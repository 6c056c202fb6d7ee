// The quota store Velkrin.dat: the period keys setup_quota_starts,
// setup_quota_ends and setup_quota_started, member lines
// name=uploaded::status::group and size memos.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "stores/size_memo.h"
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

// Members of an ended period whose punishment is still to be done
// (name::name); present only while there are any.
inline constexpr char kQuotaPendingKey[] = "setup_quota_pending";

// Non-blank quota store lines that hold no period key (anywhere, in any
// letter case) and whose status, the value as written up to its second
// "=", is not exactly "0". A line without a status (a size memo) counts.
long long countSummaryQuotaLines(const std::vector<std::string>& lines);

class QuotaStore {
 public:
  explicit QuotaStore(Files& files);

  // The raw value under a key and a raw key=value entry (see TrialStore).
  std::string readQuotaRecord(const std::string& key) { return file_.read(key); }
  void writeQuotaRecord(const std::string& entry) { file_.write(entry); }
  // Member and memo keys; the period keys are left out.
  std::vector<std::string> listQuotaUsers() { return file_.listKeys(); }

  // Empties the store for the next period: every line it reads goes, the
  // lines it does not understand stay as they are (a store without any is
  // removed whole, as before).
  void clearForNewPeriod();

  // The record under `name` (any key, a period key or a memo read as a
  // record too); none when the key has no value.
  std::optional<QuotaRecord> member(const std::string& name);
  void putMember(const std::string& name, const QuotaRecord& record) {
    file_.write(name + "=" + record.encode());
  }
  void removeMember(const std::string& name) { file_.write(name + "="); }
  // Whether the listed name is a member record (see StoreFile::isRecordKey).
  bool holdsRecord(const std::string& name) { return file_.isRecordKey(name); }
  // The status of the record under `name`; empty when there is none.
  QuotaStatus statusOf(const std::string& name);
  // The record kept, its status replaced.
  void setStatus(const std::string& name, const QuotaRecord& record, const char* status) {
    putMember(name, record.withStatus(status));
  }
  // Lines that count as quota users in the site summary (see
  // countSummaryQuotaLines).
  long long countedLines();

  SizeMemos memos() { return SizeMemos(file_); }

  std::string periodStarts() { return file_.read(kPeriodStartsKey); }
  std::string periodEnds() { return file_.read(kPeriodEndsKey); }
  bool periodStarted() { return file_.read(kPeriodStartedKey) == "1"; }
  void setPeriodStarts(const std::string& date) {
    file_.write(std::string(kPeriodStartsKey) + "=" + date);
  }
  void setPeriodEnds(const std::string& date) {
    file_.write(std::string(kPeriodEndsKey) + "=" + date);
  }
  void markPeriodStarted() { file_.write(std::string(kPeriodStartedKey) + "=1"); }

  std::vector<std::string> pendingUsers();
  void setPendingUsers(const std::vector<std::string>& names);

  StoreFile& file() { return file_; }

 private:
  StoreFile file_;
};

}  // namespace quarvel
