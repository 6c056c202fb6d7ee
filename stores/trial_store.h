// The trial store Quarvel.dat: name=uploaded::days left::group, size memos
// name_PREDEL_SIZE_file=megabytes, and two keys that no listing, report or
// enrolment shows: the users whose trial ran out but whose punishment is
// still to be done (setup_trial_due=name::name; present only while there are
// any; their records stay, at 0 days left), and the date newday last counted
// the trial days down (setup_trial_counted=MM-DD-YYYY). The date changes in
// the same commit as the days it counted, so a run stopped at any moment
// never loses a day's count nor counts one twice.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "stores/size_memo.h"
#include "stores/store_file.h"
#include "stores/store_record.h"

namespace quarvel {

inline constexpr char kTrialDueKey[] = "setup_trial_due";
inline constexpr char kTrialCountedKey[] = "setup_trial_counted";

// Whether a trial store key is one of the store's own (no user).
bool isTrialStoreKey(const std::string& key);

// Names joined by "::" (which no user name can hold), and back.
std::vector<std::string> splitNames(const std::string& value);
std::string joinNames(const std::vector<std::string>& names, const std::string& separator = "::");

// A member line of the trial store: its key, trimmed, and its record.
struct TrialMember {
  std::string name;
  TrialRecord record;
};

class TrialStore {
 public:
  explicit TrialStore(Files& files);

  // The raw value under a key and a raw key=value entry, as the store file
  // holds them; the program reads and writes members as records (below).
  std::string readTrialRecord(const std::string& key) { return file_.read(key); }
  void writeTrialRecord(const std::string& entry) { file_.write(entry); }
  std::vector<std::string> readAllTrialLines() { return file_.readAllLines(); }
  // Member and memo keys, in file order; the store's own keys are left out.
  std::vector<std::string> listTrialUsers() { return file_.listKeys(); }

  bool isOnTrial(const std::string& name) { return !file_.read(name).empty(); }
  // The record under `name` (a member, or a memo read as one); none when
  // the key has no value.
  std::optional<TrialRecord> member(const std::string& name);
  void putMember(const std::string& name, const TrialRecord& record) {
    file_.write(name + "=" + record.encode());
  }
  void removeMember(const std::string& name) { file_.write(name + "="); }
  // Whether the listed name is a trial record (see StoreFile::isRecordKey).
  bool holdsRecord(const std::string& name) { return file_.isRecordKey(name); }
  // Every line with a key, in file order, each line read on its own (a key
  // written twice comes twice), the store's own keys left out; double
  // quotes in a value are ignored.
  std::vector<TrialMember> membersInFileOrder();
  // Lines that count as trial users in the site summary: every non-blank
  // line but the store's own keys, size memos included.
  long long countedLines();

  SizeMemos memos() { return SizeMemos(file_); }

  // Users whose punishment is still to be done, in the order they expired.
  std::vector<std::string> dueUsers() { return splitNames(file_.read(kTrialDueKey)); }
  bool isDue(const std::string& name);
  void setDueUsers(const std::vector<std::string>& names);

  // The date last counted; empty when none is kept or it is no date (a
  // store from before the date was kept: the next newday counts one day).
  std::string countedDay();
  void setCountedDay(const std::string& date) {
    file_.write(std::string(kTrialCountedKey) + "=" + date);
  }

  StoreFile& file() { return file_; }

 private:
  StoreFile file_;
};

}  // namespace quarvel
