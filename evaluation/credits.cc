#include "evaluation/credits.h"

#include <optional>

#include "config/numbers.h"
#include "config/text.h"

namespace quarvel {
namespace {

template <class Store>
bool creditRecord(Store& store, const std::string& name, const std::string& group,
                  double amount_mb) {
  auto record = store.member(name);
  if (!record) return false;
  auto credited = record->credited(amount_mb);
  credited.group = group;
  store.putMember(name, credited);
  return true;
}

template <class Store>
void adjustUploaded(Store& store, const std::string& name, double change_mb) {
  auto record = store.member(name);
  if (!record) return;
  record->uploaded =
      StoredNumber::plain(roundOneDecimal(saturatingSum(record->uploaded.value(), change_mb)));
  store.putMember(name, *record);
}

// Consumes the memo; takes its size off the user's total when the file is
// gone. True when the total was lowered.
template <class Store>
bool settleByMemo(Store& store, const Deletion& deletion, Files& files) {
  auto record = store.member(deletion.user);
  if (!record) return false;
  std::optional<double> memo = store.memos().find(deletion.user, deletion.file_name);
  if (!memo) return false;
  bool gone = !files.fileExists(deletion.local_path);
  if (gone) {
    auto lowered = record->credited(-*memo);
    lowered.group = deletion.group;
    store.putMember(deletion.user, lowered);
  }
  store.memos().drop(deletion.user, deletion.file_name);
  return gone;
}

// Takes a credit back from the user it went to; the group is refreshed only
// when that user is the one deleting. The name the record is kept under,
// empty when the user has no record.
template <class Store>
std::string takeBack(Store& store, const FileCredit& credit, const Deletion& deletion) {
  auto record = store.member(credit.user);
  if (!record) return std::string();
  bool own_file = toLower(credit.user) == toLower(deletion.user);
  auto lowered = record->credited(-credit.mb);
  if (own_file) lowered.group = deletion.group;
  std::string name = own_file ? deletion.user : credit.user;
  store.putMember(name, lowered);
  return name;
}

template <class Store>
void dropMemo(Store& store, const Deletion& deletion) {
  if (store.member(deletion.user) && store.memos().find(deletion.user, deletion.file_name)) {
    store.memos().drop(deletion.user, deletion.file_name);
  }
}

}  // namespace

double uploadCredit(double size_mb, const std::string& name, std::vector<FileCredit>* credits) {
  double credited = 0;
  for (const FileCredit& credit : *credits) credited += credit.mb;
  if (credits->empty() || size_mb < roundOneDecimal(credited)) {
    *credits = {FileCredit{name, size_mb}};
    return size_mb;
  }
  double growth = roundOneDecimal(size_mb - credited);
  for (FileCredit& credit : *credits) {
    if (toLower(credit.user) == toLower(name)) {
      credit.mb = roundOneDecimal(credit.mb + growth);
      return growth;
    }
  }
  credits->push_back(FileCredit{name, growth});
  return growth;
}

bool creditMember(TrialStore& store, const std::string& name, const std::string& group,
                  double amount_mb) {
  return creditRecord(store, name, group, amount_mb);
}

bool creditMember(QuotaStore& store, const std::string& name, const std::string& group,
                  double amount_mb) {
  return creditRecord(store, name, group, amount_mb);
}

void applyNukeChange(TrialStore& trial, QuotaStore& quota, const std::string& name,
                     double change_mb) {
  adjustUploaded(trial, name, change_mb);
  adjustUploaded(quota, name, change_mb);
}

void noteSizeBeforeDeletion(TrialStore& trial, QuotaStore& quota, Files& files,
                            const Deletion& deletion) {
  bool on_trial = trial.isOnTrial(deletion.user);
  bool in_quota = quota.member(deletion.user).has_value();
  if (!on_trial && !in_quota) return;
  double size_mb = files.fileSizeMB(deletion.local_path);
  if (on_trial) trial.memos().put(deletion.user, deletion.file_name, size_mb);
  if (in_quota) quota.memos().put(deletion.user, deletion.file_name, size_mb);
}

std::vector<std::string> settleDeletion(TrialStore& trial, QuotaStore& quota, CreditStore& credits,
                                        Files& files, const Deletion& deletion) {
  std::vector<FileCredit> file_credits = credits.creditsOf(deletion.local_path);
  std::vector<std::string> lowered_quota;
  if (file_credits.empty()) {
    settleByMemo(trial, deletion, files);
    if (settleByMemo(quota, deletion, files)) lowered_quota.push_back(deletion.user);
    return lowered_quota;
  }
  bool gone = !files.fileExists(deletion.local_path);
  if (gone) {
    for (const FileCredit& credit : file_credits) takeBack(trial, credit, deletion);
  }
  dropMemo(trial, deletion);
  if (gone) {
    for (const FileCredit& credit : file_credits) {
      std::string name = takeBack(quota, credit, deletion);
      if (!name.empty()) lowered_quota.push_back(name);
    }
    credits.setCredits(deletion.local_path, {});
  }
  dropMemo(quota, deletion);
  return lowered_quota;
}

}  // namespace quarvel
