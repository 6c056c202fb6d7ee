#include "evaluation/credits.h"

#include <optional>

#include "config/numbers.h"
#include "config/text.h"
#include "dates/dates.h"

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

std::string trialGoingTo(TrialStore& trial, const std::string& name, const std::string& today) {
  if (!trial.isOnTrial(name)) return kNoPeriod;
  auto record = trial.member(name);
  double days = record ? record->days_left.value() : 0;
  // The trial's last day names it: a later trial of the same user ends later.
  int whole = days > 100000 ? 100000 : days < 0 ? 0 : static_cast<int>(days);
  return dateAfterDays(today, whole);
}

std::string quotaGoingTo(QuotaStore& quota, const std::string& name) {
  if (!quota.member(name)) return kNoPeriod;
  std::string starts = quota.periodStarts();
  return starts.empty() ? "0" : starts;
}

// Whether a credit noted for `noted` is to be taken back from `now`. A
// trial's last day moves by a day around the daily count-down.
bool sameTrial(const std::string& noted, const std::string& now) {
  if (noted == kUnknownPeriod) return true;
  if (noted == kNoPeriod || now == kNoPeriod) return false;
  int apart = daysBetween(noted, now);
  return apart >= -1 && apart <= 1;
}

bool samePeriod(const std::string& noted, const std::string& now) {
  if (noted == kUnknownPeriod) return true;
  return noted != kNoPeriod && noted == now;
}

bool creditedHere(TrialStore& trial, const FileCredit& credit, const std::string& today) {
  return sameTrial(credit.trial, trialGoingTo(trial, credit.user, today));
}

bool creditedHere(QuotaStore& quota, const FileCredit& credit, const std::string&) {
  return samePeriod(credit.quota, quotaGoingTo(quota, credit.user));
}

// Takes a credit back from the user it went to, when it went to the trial
// or period the store holds now; the group is refreshed only when that
// user is the one deleting. The name the record is kept under, empty when
// nothing was taken.
template <class Store>
std::string takeBack(Store& store, const FileCredit& credit, const Deletion& deletion,
                     const std::string& today) {
  auto record = store.member(credit.user);
  if (!record || !creditedHere(store, credit, today)) return std::string();
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

FileCredit creditGoingTo(TrialStore& trial, QuotaStore& quota, const std::string& name,
                         const std::string& today) {
  return FileCredit{name, 0, trialGoingTo(trial, name, today), quotaGoingTo(quota, name)};
}

double uploadCredit(double size_mb, const FileCredit& uploader, std::vector<FileCredit>* credits) {
  double credited = 0;
  for (const FileCredit& credit : *credits) credited += credit.mb;
  FileCredit fresh = uploader;
  if (credits->empty() || size_mb < roundOneDecimal(credited)) {
    fresh.mb = size_mb;
    *credits = {fresh};
    return size_mb;
  }
  double growth = roundOneDecimal(size_mb - credited);
  for (FileCredit& credit : *credits) {
    if (toLower(credit.user) == toLower(uploader.user) && credit.trial == uploader.trial &&
        credit.quota == uploader.quota) {
      credit.mb = roundOneDecimal(credit.mb + growth);
      return growth;
    }
  }
  fresh.mb = growth;
  credits->push_back(fresh);
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
                                        Files& files, const Deletion& deletion,
                                        const std::string& today) {
  LedgerEntry entry = credits.entryOf(deletion.local_path);
  // A nuked release's file keeps its entry until it goes, and then gives
  // nothing back.
  std::vector<FileCredit> file_credits = entry.nuked ? std::vector<FileCredit>() : entry.credits;
  std::vector<std::string> lowered_quota;
  if (entry.credits.empty()) {
    settleByMemo(trial, deletion, files);
    if (settleByMemo(quota, deletion, files)) lowered_quota.push_back(deletion.user);
    return lowered_quota;
  }
  bool gone = !files.fileExists(deletion.local_path);
  if (gone) {
    for (const FileCredit& credit : file_credits) takeBack(trial, credit, deletion, today);
  }
  dropMemo(trial, deletion);
  if (gone) {
    for (const FileCredit& credit : file_credits) {
      std::string name = takeBack(quota, credit, deletion, today);
      if (!name.empty()) lowered_quota.push_back(name);
    }
    credits.setCredits(deletion.local_path, {});
  }
  dropMemo(quota, deletion);
  return lowered_quota;
}

std::vector<std::string> settleRename(TrialStore& trial, QuotaStore& quota, CreditStore& credits,
                                      const Deletion& mover, const std::string& from,
                                      const std::string& to, bool to_excluded,
                                      const std::string& today) {
  std::vector<std::string> lowered_quota;
  for (const std::string& path : credits.pathsMovedWith(from)) {
    LedgerEntry entry = credits.entryOf(path);
    credits.setEntry(path, LedgerEntry());
    if (!to_excluded) {
      credits.setEntry(to + path.substr(from.size()), entry);
      continue;
    }
    if (entry.nuked) continue;
    for (const FileCredit& credit : entry.credits) {
      takeBack(trial, credit, mover, today);
      std::string name = takeBack(quota, credit, mover, today);
      if (!name.empty()) lowered_quota.push_back(name);
    }
  }
  return lowered_quota;
}

}  // namespace quarvel
